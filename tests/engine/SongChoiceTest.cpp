// Which song of a module plays and how it is timed: the sub-songs of an order list, speed 0 by
// format, and MODs whose every Fxx sets the speed.
#include <gtest/gtest.h>

#include "AllocationCounter.h"
#include "engine/Duration.h"
#include "engine/Effects.h"
#include "support/ModuleBuilder.h"

namespace tarvex::test {
namespace {

// One pattern at speed 6, tempo 125: 384 ticks of 20 ms.
constexpr uint32_t kPatternMs = 7680;

struct Jump {
    uint32_t pattern;
    uint32_t row;
    uint8_t effect;
    uint8_t param;
};

struct SubsongCase {
    const char* what;
    std::vector<Jump> jumps;            // pattern p is played at order position p
    uint32_t positions;                 // order list 0, 1, ..., positions - 1
    std::vector<uint32_t> starts;       // the sub-songs found
    std::vector<uint32_t> durationsMs;  // and how long each plays
};

TEST(Subsongs, EachUnplayedStretchStartsASongThatEndsByTheUsualRules) {
    const SubsongCase cases[] = {
        {"no jumps: one song", {}, 3, {0}, {3 * kPatternMs + 20}},
        // 0 jumps over 1 to 2; the song from 1 plays 1, 2, 3.
        {"a jump over a position",
         {{0, 63, kPositionJump, 2}},
         4,
         {0, 1},
         {3 * kPatternMs + 20, 3 * kPatternMs + 20}},
        // Speed 0 stops the song on row 0 of position 1 (its one tick counted); 2 starts the next.
        {"a stop", {{1, 0, kSetSpeed, 0}}, 3, {0, 2}, {kPatternMs + 20, kPatternMs + 20}},
        // With loops off a jump back is not taken: 2 and 3 are played by the first song.
        {"a way back", {{1, 63, kPositionJump, 0}}, 4, {0}, {4 * kPatternMs + 20}},
        // 0 jumps to 3, which stops: 1 and 2 form a second song, which 2 ends by the stop in 3.
        {"a jump ahead into a stop",
         {{0, 63, kPositionJump, 3}, {3, 0, kSetSpeed, 0}},
         4,
         {0, 1},
         {kPatternMs + 20, 2 * kPatternMs + 20}},
        // Each stretch after a stop: three songs.
        {"two stops", {{0, 0, kSetSpeed, 0}, {1, 0, kSetSpeed, 0}}, 3, {0, 1, 2}, {20, 20, kPatternMs + 20}},
    };
    for (const SubsongCase& c : cases) {
        ModuleBuilder song;
        std::vector<uint32_t> orders;
        for (uint32_t p = 0; p < c.positions; ++p) orders.push_back(p);
        song.sample().orders(orders).patternCount(c.positions);
        for (const Jump& j : c.jumps) song.cell(j.pattern, j.row, 0, {.effect = j.effect, .param = j.param});
        std::unique_ptr<Module> module = song.build();
        const std::vector<Subsong> songs = findSubsongs(*module);
        std::string found;
        for (const Subsong& each : songs) {
            found += ' ';
            found += std::to_string(each.start);
            found += ':';
            found += std::to_string(each.duration.milliseconds);
        }
        ASSERT_EQ(songs.size(), c.starts.size()) << c.what << found;
        for (size_t i = 0; i < songs.size(); ++i) {
            EXPECT_EQ(songs[i].start, c.starts[i]) << c.what << ", song " << i + 1;
            EXPECT_TRUE(songs[i].duration.ended) << c.what << ", song " << i + 1;
            EXPECT_EQ(songs[i].duration.milliseconds, c.durationsMs[i]) << c.what << ", song " << i + 1;
        }
        EXPECT_EQ(module->songLength, c.positions) << c.what;  // handed back
    }
}

TEST(Subsongs, APlayerStartsAndRepeatsTheSongItWasGiven) {
    // Position 0 jumps to 2, so position 1 starts the second song; played twice (one repeat) it
    // starts again at 1, not at 0.
    ModuleBuilder song;
    song.sample().orders({0, 1, 2}).patternCount(3).cell(0, 63, 0, {.effect = kPositionJump, .param = 2});
    TestSong played(song, 44100, false);
    played.engine.songStart = 1;
    played.engine.repeatCount = 1;
    startSong(played.engine);
    std::vector<uint32_t> entered;
    while (!played.ended() && entered.size() < 10) {
        played.tick();
        if (played.state().row.load() == 0 && !played.ended() &&
            (entered.empty() || entered.back() != played.order())) {
            entered.push_back(played.order());
        }
    }
    EXPECT_EQ(entered, (std::vector<uint32_t>{1, 2, 1, 2}));
}

TEST(Subsongs, FindingThemAllocatesPerSongNotPerRow) {
    // Two songs: position 0 stops at once, then pattern 1 plays at every later position, once or
    // 31 times. The same allocations either way, however many rows the second song plays.
    const auto allocationsFor = [](uint32_t positions) {
        ModuleBuilder song;
        std::vector<uint32_t> orders(positions, 1);
        orders[0] = 0;
        song.sample().orders(orders).patternCount(2).cell(0, 0, 0, {.effect = kSetSpeed, .param = 0});
        song.cell(1, 5, 1, {.period = 428, .sample = 1});
        std::unique_ptr<Module> module = song.build();
        const uint64_t before = allocationCount();
        const std::vector<Subsong> songs = findSubsongs(*module);
        const uint64_t count = allocationCount() - before;
        EXPECT_EQ(songs.size(), 2u);
        EXPECT_EQ(songs.back().duration.milliseconds, (positions - 1) * kPatternMs + 20);
        return count;
    };
    EXPECT_EQ(allocationsFor(2), allocationsFor(32));
}

TEST(SpeedZero, EndsAModSongAndIsIgnoredByTheScreamTrackers) {
    struct Row {
        uint8_t format;
        uint32_t durationMs;
    };
    for (const Row& row :
         {Row{kFormatMod, 20}, Row{kFormatS3m, kPatternMs + 20}, Row{kFormatStm, kPatternMs + 20}}) {
        ModuleBuilder song;
        song.format(row.format).sample().cell(0, 0, 0, {.effect = kSetSpeed, .param = 0});
        std::unique_ptr<Module> module = song.build();
        const SongDuration duration = measureDuration(*module);
        EXPECT_TRUE(duration.ended) << int{row.format};
        EXPECT_EQ(duration.milliseconds, row.durationMs) << int{row.format};
    }
}

struct TimingCase {
    const char* what;
    uint8_t format;
    uint32_t patterns;
    std::vector<Jump> speeds;  // Fxx commands on channel 1
    ModTiming asked;
    bool vblank;
};

TEST(Timing, LongSongsThatALargeFxxWouldSlowDownAreTimedByTheVerticalBlank) {
    const Jump pause{1, 0, kSetSpeed, 0x20};  // a 32-tick row as speed, tempo 32 as tempo
    const Jump resume{1, 8, kSetSpeed, 6};
    const TimingCase cases[] = {
        // 40 patterns: over 19 minutes at tempo 32, 5 with 8 rows of speed 32.
        {"long, paused and resumed", kFormatMod, 40, {pause, resume}, ModTiming::automatic, true},
        {"short, paused and resumed", kFormatMod, 2, {pause, resume}, ModTiming::automatic, false},
        // Speed 32 to the end would be longer still than tempo 32: a real slow tempo.
        {"long, slowed for good", kFormatMod, 40, {pause}, ModTiming::automatic, false},
        {"long, a normal tempo",
         kFormatMod,
         80,
         {{1, 0, kSetSpeed, 125}, resume},
         ModTiming::automatic,
         false},
        {"forced on", kFormatMod, 2, {}, ModTiming::vblank, true},
        {"forced off", kFormatMod, 40, {pause, resume}, ModTiming::tempo, false},
        {"S3M never", kFormatS3m, 2, {}, ModTiming::vblank, false},
    };
    for (const TimingCase& c : cases) {
        ModuleBuilder song;
        std::vector<uint32_t> orders;
        for (uint32_t p = 0; p < c.patterns; ++p) orders.push_back(p);
        song.format(c.format).sample().orders(orders).patternCount(c.patterns);
        for (const Jump& j : c.speeds) song.cell(j.pattern, j.row, 1, {.effect = j.effect, .param = j.param});
        std::unique_ptr<Module> module = song.build();
        chooseTiming(*module, c.asked);
        EXPECT_EQ(module->vblankTiming, c.vblank) << c.what;
    }
    // Timed by the vertical blank the pause is 8 rows of 32 ticks, and the tempo stays 125.
    ModuleBuilder song;
    song.sample().orders({0, 1}).patternCount(2).cell(1, 0, 1, {.effect = kSetSpeed, .param = 0x20});
    song.cell(1, 8, 1, {.effect = kSetSpeed, .param = 6});
    std::unique_ptr<Module> module = song.build();
    chooseTiming(*module, ModTiming::vblank);
    EXPECT_EQ(measureDuration(*module).milliseconds, 2 * kPatternMs + 8 * 26 * 20 + 20);
}

}  // namespace
}  // namespace tarvex::test
