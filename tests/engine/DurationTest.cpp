// Song duration: playTime at the end, stepped at 44100 Hz with LoopsAllowed off, up to one hour.
#include <gtest/gtest.h>

#include "engine/Duration.h"
#include "engine/Effects.h"
#include "support/ModuleBuilder.h"

namespace tarvex::test {
namespace {

SongDuration durationOf(const ModuleBuilder& song) {
    std::unique_ptr<Module> module = song.build();
    return measureDuration(*module);
}

TEST(Duration, OnePatternLasts385Ticks) {
    // 64 rows of 6 ticks after the first row tick, plus the tick that finds the order list done.
    const SongDuration duration = durationOf(ModuleBuilder());
    EXPECT_TRUE(duration.ended);
    EXPECT_EQ(duration.milliseconds, 7700u);
    EXPECT_EQ(formatDuration(duration), "0:07.700");
}

TEST(Duration, BackwardJumpIsIgnoredAndTheEngineSettingsComeBack) {
    ModuleBuilder song;
    song.orders({0, 1}).patternCount(2).cell(1, 63, 0, {.effect = kPositionJump, .param = 0});
    Engine engine;
    engine.module = song.build();
    engine.settings.Frequency = 22050;
    const SongDuration duration = measureDuration(engine);
    EXPECT_EQ(formatDuration(duration), "0:15.380");  // 769 ticks
    EXPECT_EQ(engine.settings.Frequency, 22050u);
    EXPECT_TRUE(engine.settings.LoopsAllowed);
}

TEST(Duration, SpeedZeroEndsAtOnce) {
    ModuleBuilder song;
    song.cell(0, 0, 0, {.effect = kSetSpeed, .param = 0});
    EXPECT_EQ(formatDuration(durationOf(song)), "0:00.020");
}

TEST(Duration, LoopsInTwoChannelsOfOneRowNeverEnd) {
    // Both loop commands share one loop state: each ends the other's count and starts a new one.
    ModuleBuilder song;
    song.cell(0, 3, 0, {.effect = kExtended, .param = 0x62});
    song.cell(0, 3, 1, {.effect = kExtended, .param = 0x62});
    const SongDuration duration = durationOf(song);
    EXPECT_FALSE(duration.ended);
    EXPECT_EQ(formatDuration(duration), "over 60:00");
}

TEST(Duration, TempoTooHighToAdvanceTheClockStillReturns) {
    ModuleBuilder song;
    song.tempo(5000000).cell(0, 0, 0, {.effect = kExtended, .param = 0x61});  // loops from row 0 for ever
    song.cell(0, 1, 1, {.effect = kExtended, .param = 0x61});
    EXPECT_EQ(formatDuration(durationOf(song)), "over 60:00");
}

TEST(Duration, Formatting) {
    EXPECT_EQ(formatDuration({true, 205120}), "3:25.120");
    EXPECT_EQ(formatDuration({true, 3599999}), "59:59.999");
    EXPECT_EQ(formatDuration({true, 0}), "0:00.000");
    EXPECT_EQ(formatDuration({false, 0}), "over 60:00");
}

}  // namespace
}  // namespace tarvex::test
