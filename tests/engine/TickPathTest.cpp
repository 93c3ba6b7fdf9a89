// The tick path allocates nothing, and startSong hands over to the mixer's reset after its own steps.
#include <gtest/gtest.h>

#include "AllocationCounter.h"
#include "engine/Effects.h"
#include "support/ModuleBuilder.h"

namespace tarvex::test {
namespace {

TEST(TickPath, PlayingEveryEffectAllocatesNothing) {
    ModuleBuilder song(8);
    song.sample().sample({.baseFrequency = 16726}).orders({0, 1, 0, 1}).patternCount(2);
    // Every effect code and sub-command on some row and channel, notes on every other row.
    for (uint32_t row = 0; row < 64; ++row) {
        for (uint32_t channel = 0; channel < 8; ++channel) {
            const uint32_t n = row * 8 + channel;
            const uint8_t effect = static_cast<uint8_t>(n % 18);
            const uint8_t param = effect == kExtended ? static_cast<uint8_t>((n / 18 % 16) << 4 | 2)
                                  : effect == kPositionJump || effect == kPatternBreak || effect == kSetSpeed
                                      ? 0x03
                                      : static_cast<uint8_t>(n * 37);
            const uint32_t period = row % 2 == 0 ? 428 + 4 * channel : 0;
            song.cell(row % 2, row, channel,
                      {.period = period, .sample = 1 + channel % 2, .effect = effect, .param = param});
        }
    }
    // With loops off every row start also goes through the watch for a repeating state; that song
    // ends soon, so it starts again (a start may allocate, the ticks may not).
    for (bool loopsAllowed : {true, false}) {
        SCOPED_TRACE(loopsAllowed ? "loops on" : "loops off");
        TestSong played(song, 44100, loopsAllowed);
        uint64_t allocations = 0;
        uint32_t ticks = 0;
        uint32_t starts = 1;
        while (ticks < 20000) {
            const uint64_t before = allocationCount();
            const bool ticked = played.tick();
            if (ticked) {
                ++ticks;
                if (ticks % 500 == 0) setRewinding(played.engine, ticks % 1000 == 0);
                countFrame(played.engine);
            }
            allocations += allocationCount() - before;
            if (!ticked) {
                played.stepper.start(44100);
                ++starts;
            }
        }
        EXPECT_EQ(allocations, 0u);
        EXPECT_EQ(starts > 1, !loopsAllowed);
    }
}

class ResetWatchingEngine : public Engine {
   public:
    int resets = 0;
    size_t channelsAtReset = 0;
    bool rowIndexBuiltAtReset = false;

   protected:
    void resetMixState() override {
        ++resets;
        channelsAtReset = channels.size();
        rowIndexBuiltAtReset = state.rowIndexOfOrder.size() == 2;
    }
};

TEST(TickPath, StartSongResetsTheMixerAfterItsOwnSteps) {
    ModuleBuilder song(6);
    song.orders({0, 0});
    ResetWatchingEngine engine;
    engine.module = song.build();
    startSong(engine);
    EXPECT_EQ(engine.resets, 1);
    EXPECT_EQ(engine.channelsAtReset, 6u);
    EXPECT_TRUE(engine.rowIndexBuiltAtReset);
}

}  // namespace
}  // namespace tarvex::test
