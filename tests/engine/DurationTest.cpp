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

TEST(Duration, LoopsInTwoChannelsOfOneRowEndAsTheFormatCountsThem) {
    // MOD: each channel counts its own loop, rows 0-3 play three times: 72 rows of 6 ticks and the
    // tick that finds the order list done. S3M: one shared count, which the two commands keep
    // restarting; the song ends when a fourth pass would begin as the first did (12 rows).
    const std::pair<uint8_t, const char*> cases[] = {{kFormatMod, "0:08.660"}, {kFormatS3m, "0:01.460"}};
    for (const auto& [format, expected] : cases) {
        ModuleBuilder song;
        song.format(format);
        song.cell(0, 3, 0, {.effect = kExtended, .param = 0x62});
        song.cell(0, 3, 1, {.effect = kExtended, .param = 0x62});
        const SongDuration duration = durationOf(song);
        EXPECT_TRUE(duration.ended) << expected;
        EXPECT_EQ(formatDuration(duration), expected);
    }
}

TEST(Duration, TempoTooHighToAdvanceTheClockStillReturns) {
    ModuleBuilder song;
    song.tempo(5000000).speed(0);  // 65536 ticks a row, and the playing time stands still
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
