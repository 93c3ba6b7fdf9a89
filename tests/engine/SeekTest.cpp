// Jumps the user asks for: where each order position starts (time, tempo, speed), and a request
// taken by the next tick, which then plays the target's first row.
#include <gtest/gtest.h>

#include "engine/Duration.h"
#include "engine/Effects.h"
#include "support/ModuleBuilder.h"

namespace tarvex::test {
namespace {

// Four positions of patterns 0-3. Position 1 sets speed 3 on row 0 and tempo 150 on row 1, and
// jumps to position 3 from its last row, so position 2 is never reached. Pattern 3 starts a note.
ModuleBuilder fourPositions() {
    ModuleBuilder song(4);
    song.sample().orders({0, 1, 2, 3}).patternCount(4);
    song.cell(1, 0, 0, {.effect = kSetSpeed, .param = 3});
    song.cell(1, 1, 0, {.effect = kSetSpeed, .param = 150});
    song.cell(1, 63, 0, {.effect = kPositionJump, .param = 3});
    song.cell(3, 0, 1, {.period = 428, .sample = 1});
    return song;
}

TEST(PositionStarts, TimeTempoAndSpeedOfTheFirstArrival) {
    std::unique_ptr<Module> module = fourPositions().build();
    const std::vector<SeekTarget> starts = positionStarts(*module);
    struct Row {
        uint32_t playTime;
        uint32_t tempo;
        uint16_t speed;
    };
    const Row expected[] = {
        {0, 125, 6},         // before the first tick
        {7680000, 125, 6},   // 384 ticks of 20 ms
        {7680000, 0, 0},     // never reached: the time before it, tempo and speed kept
        {10893208, 150, 3},  // + 4 ticks of 20 ms (rows 0 and 1 start at 125) + 188 of 16666 us
    };
    ASSERT_EQ(starts.size(), 4u);
    for (uint32_t o = 0; o < 4; ++o) {
        EXPECT_EQ(starts[o].order, o);
        EXPECT_EQ(starts[o].playTime, expected[o].playTime) << o;
        EXPECT_EQ(starts[o].tempo, expected[o].tempo) << o;
        EXPECT_EQ(starts[o].speed, expected[o].speed) << o;
    }
    EXPECT_EQ(module->songLength, 4u);  // handed back
}

TEST(Seek, TheNextTickPlaysTheTargetsFirstRow) {
    std::unique_ptr<Module> module = fourPositions().build();
    const SeekTarget target = positionStarts(*module)[3];
    TestSong played(fourPositions());
    played.run(10);  // row 1 of position 0, an effect tick
    ASSERT_EQ(played.order(), 0u);
    ASSERT_EQ(played.row(), 1u);
    requestSeek(played.engine, target);
    SeekTarget pending;
    ASSERT_TRUE(pendingSeek(played.engine, pending));
    EXPECT_EQ(pending.order, 3u);
    EXPECT_EQ(played.row(), 1u);  // nothing moves between ticks

    played.tick();
    EXPECT_FALSE(pendingSeek(played.engine, pending));
    EXPECT_EQ(played.order(), 3u);
    EXPECT_EQ(played.row(), 0u);
    EXPECT_EQ(played.channel(1).period, 428 * 16);  // the row's note started
    EXPECT_EQ(played.state().tempo, 150u);
    EXPECT_EQ(played.state().speed, 3u);
    EXPECT_EQ(played.state().samplesPerTick, 735u);  // 44100 * 25 / 1500
    EXPECT_EQ(played.state().playTime, target.playTime + 16666);
    EXPECT_EQ(played.state().tickCounter, 3u);
    played.run(3);
    EXPECT_EQ(played.row(), 1u);  // on at the target's speed
}

TEST(Seek, EndsRewindingAndPendingBreaksAndIgnoresPositionsPastTheSong) {
    ModuleBuilder song = fourPositions();
    song.cell(0, 4, 0, {.effect = kPatternBreak, .param = 0x10});
    TestSong played(song);
    played.run(25);  // the row tick of row 4, whose break waits for the next row
    requestSeek(played.engine, SeekTarget{2, 5000000, 0, 0});
    played.tick();
    EXPECT_EQ(played.order(), 2u);
    EXPECT_EQ(played.row(), 0u);          // not the break's row 16
    EXPECT_EQ(played.state().speed, 6u);  // kept
    EXPECT_EQ(played.state().playTime, 5020000u);
    played.run(6 * 64);
    EXPECT_EQ(played.order(), 3u);  // no break left over
    EXPECT_EQ(played.row(), 0u);

    setRewinding(played.engine, true);
    played.run(13);
    requestSeek(played.engine, SeekTarget{1, 100, 0, 0});
    played.tick();
    EXPECT_FALSE(played.state().rewinding);
    EXPECT_EQ(played.order(), 1u);
    EXPECT_EQ(played.row(), 0u);

    requestSeek(played.engine, SeekTarget{9, 0, 0, 0});
    played.run(3);  // speed 3 from row 0: the next row tick comes as ever
    EXPECT_EQ(played.order(), 1u);
    EXPECT_EQ(played.row(), 1u);
}

TEST(Seek, StartAtBeginsTheSongThere) {
    std::unique_ptr<Module> module = fourPositions().build();
    TestSong played(fourPositions());
    played.engine.startAt = positionStarts(*module)[1];
    startSong(played.engine);
    played.tick();
    EXPECT_EQ(played.order(), 1u);
    EXPECT_EQ(played.row(), 0u);
    EXPECT_EQ(played.state().playTime, 7700000u);
    played.engine.startAt.reset();
    startSong(played.engine);
    played.tick();
    EXPECT_EQ(played.order(), 0u);
}

TEST(Seek, AJumpBackPlaysOnWithLoopsOff) {
    // Loops off ends a song back in a state it has been in; a jump the user asked for starts that
    // watch afresh, so the song plays on from the target to its end.
    ModuleBuilder song(4);
    song.sample().speed(1).orders({0, 1}).patternCount(2);
    TestSong played(song, 44100, false);
    played.run(70);  // row 5 of position 1
    ASSERT_EQ(played.order(), 1u);
    requestSeek(played.engine, SeekTarget{0, 0, 0, 0});
    EXPECT_EQ(played.run(1000), 2 * 64u + 1);  // both patterns again, then the ending tick
    EXPECT_TRUE(played.ended());
}

}  // namespace
}  // namespace tarvex::test
