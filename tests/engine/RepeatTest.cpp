// A repeat count with loops off: the song's jumps back are taken that many times, and a song
// without one plays that many more times in a row.
#include <gtest/gtest.h>

#include "engine/Effects.h"
#include "support/ModuleBuilder.h"

namespace tarvex::test {
namespace {

constexpr uint32_t kRows = 64;

// Speed 1: every tick is a row tick.
ModuleBuilder oneTickRows(std::vector<uint32_t> orders) {
    ModuleBuilder song(4);
    song.sample().speed(1).orders(orders).patternCount(static_cast<uint32_t>(orders.size()));
    return song;
}

// Ticks until the song ends (the tick that ends it included), with loops off.
uint32_t ticksToEnd(const ModuleBuilder& song, uint32_t repeats) {
    TestSong played(song, 44100, false);
    played.engine.repeatCount = repeats;
    played.stepper.start(44100);
    const uint32_t ticks = played.run(100000);
    EXPECT_TRUE(played.ended());
    return ticks;
}

TEST(Repeat, JumpsBackAreTakenThatManyTimesAndASongWithoutOnePlaysAgain) {
    ModuleBuilder jumpBack = oneTickRows({0, 1});
    jumpBack.cell(1, 63, 0, {.effect = kPositionJump, .param = 0});
    ModuleBuilder toItself = oneTickRows({0, 1, 2});
    toItself.cell(1, 63, 2, {.effect = kPositionJump, .param = 1});
    // A jump ahead (0 to 2) is no repeat; the jump back from 2 is.
    ModuleBuilder aheadAndBack = oneTickRows({0, 1, 2});
    aheadAndBack.cell(0, 63, 0, {.effect = kPositionJump, .param = 2});
    aheadAndBack.cell(2, 63, 1, {.effect = kPositionJump, .param = 0});
    // Rows 1-3 loop once each pass; the pattern loop's jump is not counted.
    ModuleBuilder patternLoop = oneTickRows({0, 1});
    patternLoop.cell(0, 1, 0, {.effect = kExtended, .param = 0x60});
    patternLoop.cell(0, 3, 0, {.effect = kExtended, .param = 0x61});
    patternLoop.cell(1, 63, 1, {.effect = kPositionJump, .param = 0});
    // No way back: position 1 doubles the speed's ticks, which the next pass starts without.
    ModuleBuilder noWayBack = oneTickRows({0, 1});
    noWayBack.cell(1, 0, 3, {.effect = kSetSpeed, .param = 2});

    struct Row {
        const char* name;
        const ModuleBuilder& song;
        uint32_t repeats;
        uint32_t rowTicks;  // all passes together
    };
    const Row rows[] = {
        {"jump back, 0", jumpBack, 0, 2 * kRows},
        {"jump back, 1", jumpBack, 1, 4 * kRows},
        {"jump back, 3", jumpBack, 3, 8 * kRows},
        {"to itself, 2", toItself, 2, 5 * kRows},
        {"ahead and back, 0", aheadAndBack, 0, 2 * kRows},
        {"ahead and back, 2", aheadAndBack, 2, 6 * kRows},
        {"pattern loop, 0", patternLoop, 0, 2 * kRows + 3},
        {"pattern loop, 1", patternLoop, 1, 2 * (2 * kRows + 3)},
        {"no way back, 0", noWayBack, 0, kRows + 2 * kRows},
        {"no way back, 2", noWayBack, 2, 3 * (kRows + 2 * kRows)},
    };
    for (const Row& row : rows) {
        // The last row's ticks, then the tick that finds no position to go to.
        EXPECT_EQ(ticksToEnd(row.song, row.repeats), row.rowTicks + 1) << row.name;
    }
}

TEST(Repeat, ASongPlayedAgainStartsAsAtItsStart) {
    ModuleBuilder song = oneTickRows({0, 1});
    song.tempo(100);
    song.cell(1, 0, 0, {.effect = kSetSpeed, .param = 150});
    song.cell(1, 0, 1, {.effect = kSetSpeed, .param = 3});
    TestSong played(song, 44100, false);
    played.engine.repeatCount = 1;
    played.stepper.start(44100);
    played.run(kRows + 3 * kRows);  // the first pass: then the tick entering the second
    EXPECT_EQ(played.state().tempo, 150u);
    played.tick();
    EXPECT_EQ(played.order(), 0u);
    EXPECT_EQ(played.row(), 0u);
    EXPECT_EQ(played.state().tempo, 100u);
    EXPECT_EQ(played.state().speed, 1u);
    EXPECT_EQ(played.state().repeatsLeft, 0u);
    EXPECT_FALSE(played.ended());
}

}  // namespace
}  // namespace tarvex::test
