// Tick timing, the order list walk, jumps, breaks, loops, delays, song end and rewinding.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "engine/Effects.h"
#include "support/ModuleBuilder.h"

namespace tarvex::test {
namespace {

using Position = std::pair<uint32_t, uint32_t>;  // (order index, row)

// Ticks until count rows have been read (or the song ends) and lists where each row tick landed.
std::vector<Position> rowTicks(TestSong& song, size_t count) {
    std::vector<Position> visited;
    while (visited.size() < count && song.tick()) {
        if (song.state().tickCounter == song.state().speed && !song.ended()) {
            visited.emplace_back(song.order(), song.row());
        }
    }
    return visited;
}

// A speed-1 song: every tick is a row tick.
ModuleBuilder fastSong(std::vector<uint32_t> orders) {
    ModuleBuilder song(4);
    song.speed(1).sample().orders(std::move(orders));
    return song;
}

TEST(SequencerTiming, FirstRowAfterOneTickOfFramesThenEveryTick) {
    ModuleBuilder song;
    song.sample().cell(0, 0, 0, {.period = 428, .sample = 1});
    TestSong played(song);
    EXPECT_EQ(played.engine.module->stepBase, 1329792u);
    EXPECT_EQ(played.state().samplesPerTick, 882u);
    EXPECT_EQ(played.row(), 64u);  // no row read yet: the first tick moves to order 0, row 0

    EXPECT_EQ(played.stepper.framesToNextTick(), 882u);
    EXPECT_EQ(played.row(), 0u);
    EXPECT_EQ(played.channel(0).step, 194u);  // period 6848 at 44100 Hz
    EXPECT_EQ(played.state().playTime, 20000u);
    EXPECT_EQ(played.stepper.framesToNextTick(), 882u);
    EXPECT_EQ(played.state().playTime, 40000u);
}

TEST(SequencerTiming, FastForwardCountsSixteenPerFrame) {
    ModuleBuilder song;
    TestSong played(song);
    setFastForward(played.engine, true);
    EXPECT_EQ(played.stepper.framesToNextTick(), 56u);  // 896 >= 882, 14 carried
    EXPECT_EQ(played.state().tickFrameCounter, 14u);
    EXPECT_EQ(played.stepper.framesToNextTick(), 55u);  // 14 + 880 = 894, 12 carried
    uint32_t frames = 0;
    for (int i = 0; i < 8; ++i) frames += played.stepper.framesToNextTick();
    EXPECT_EQ(frames, 441u);  // 55.125 frames per tick on average
}

TEST(SequencerTiming, TempoSetsTickLengthAndPlayTimeStep) {
    ModuleBuilder song;
    song.tempo(255);
    TestSong played(song);
    EXPECT_EQ(played.state().samplesPerTick, 432u);
    played.tick();
    EXPECT_EQ(played.state().playTime, 9803u);  // 2500000 / 255
}

TEST(SequencerTiming, HeaderTempoZeroStartsAt125) {
    ModuleBuilder song;
    song.tempo(0);
    TestSong played(song);
    EXPECT_EQ(played.state().tempo, 125u);
    EXPECT_EQ(played.state().samplesPerTick, 882u);
    played.tick();
    EXPECT_EQ(played.state().playTime, 20000u);
}

TEST(SequencerTiming, SpeedSixIsOneRowTickAndFiveEffectTicks) {
    ModuleBuilder song;
    TestSong played(song);
    const uint32_t expectedRows[] = {0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 2};
    for (uint32_t expected : expectedRows) {
        played.tick();
        EXPECT_EQ(played.row(), expected);
    }
}

TEST(SequencerTiming, InitialSpeedZeroHoldsRowZeroFor65536Ticks) {
    ModuleBuilder song;
    song.speed(0);
    TestSong played(song);
    EXPECT_EQ(played.run(65536), 65536u);
    EXPECT_EQ(played.row(), 0u);
    played.tick();
    EXPECT_EQ(played.row(), 1u);
}

TEST(SequencerOrders, WalksTheOrderListAndEndsAfterIt) {
    ModuleBuilder song = fastSong({1, 0});
    song.patternCount(2);
    TestSong played(song);
    EXPECT_EQ(played.run(64), 64u);
    EXPECT_EQ(played.state().currentPattern, 1u);
    EXPECT_EQ(played.state().nextOrder, 1u);
    played.tick();
    EXPECT_EQ(played.state().currentPattern, 0u);
    EXPECT_EQ(played.state().nextOrder, 2u);
    EXPECT_EQ(played.row(), 0u);
    EXPECT_EQ(played.run(100), 64u);  // 63 more rows, then the tick that finds no order left
    EXPECT_TRUE(played.ended());
    EXPECT_EQ(played.state().playTime, 129u * 20000u);
}

TEST(SequencerOrders, JumpBreakAndBothTogether) {
    struct Case {
        const char* name;
        std::vector<CellFields> commands;  // on row 2 of order 0, one channel each
        Position after;
    };
    const Case cases[] = {
        {"jump alone starts row 0", {{.effect = kPositionJump, .param = 2}}, {2, 0}},
        {"break alone goes to the next order", {{.effect = kPatternBreak, .param = 0x12}}, {1, 12}},
        {"jump and break",
         {{.effect = kPositionJump, .param = 2}, {.effect = kPatternBreak, .param = 0x05}},
         {2, 5}},
        {"break past the last row", {{.effect = kPatternBreak, .param = 0x70}}, {1, 0}},
        {"highest channel wins",
         {{.effect = kPatternBreak, .param = 0x10}, {.effect = kPatternBreak, .param = 0x20}},
         {1, 20}},
    };
    for (const Case& c : cases) {
        ModuleBuilder song = fastSong({0, 1, 2});
        song.patternCount(3);
        for (uint32_t channel = 0; channel < c.commands.size(); ++channel)
            song.cell(0, 2, channel, c.commands[channel]);
        TestSong played(song);
        const std::vector<Position> expected = {{0, 0}, {0, 1}, {0, 2}, c.after};
        EXPECT_EQ(rowTicks(played, 4), expected) << c.name;
    }
}

TEST(SequencerOrders, BreakUsesTheRowIndexOfTheTarget) {
    ModuleBuilder song = fastSong({0, 1});
    song.cell(0, 0, 0, {.effect = kPatternBreak, .param = 0x10});
    song.cell(1, 5, 1, {.sample = 1, .volume = 5});
    song.cell(1, 10, 2, {.sample = 1, .volume = 10});
    song.cell(1, 12, 3, {.sample = 1, .volume = 12});
    TestSong played(song);
    played.run(2);  // order 1 row 10: the cell of row 5 is skipped, the one of row 10 read
    EXPECT_EQ(played.row(), 10u);
    EXPECT_EQ(played.channel(1).volume, 0);
    EXPECT_EQ(played.channel(2).volume, 10);
    played.run(2);
    EXPECT_EQ(played.channel(3).volume, 12);
}

TEST(SequencerOrders, JumpToSongLengthEndsWithoutTouchingChannels) {
    ModuleBuilder song = fastSong({0, 1});
    song.patternCount(2);
    song.cell(0, 0, 0, {.effect = kPositionJump, .param = 2});
    song.cell(0, 0, 1, {.effect = kVolumeSlide, .param = 0x01});
    TestSong played(song);
    played.tick();
    played.tick();
    EXPECT_TRUE(played.ended());
    EXPECT_EQ(played.channel(1).effect, kVolumeSlide);  // row 0's effect still in place
    EXPECT_EQ(played.state().nextOrder, 1u);
}

TEST(SequencerOrders, SongLengthZeroEndsOnTheFirstTick) {
    ModuleBuilder song;
    song.songLength(0);
    TestSong played(song);
    EXPECT_TRUE(played.tick());
    EXPECT_TRUE(played.ended());
    EXPECT_FALSE(played.tick());
}

TEST(SequencerOrders, SpeedZeroEndsAndKeepsFastForward) {
    ModuleBuilder song;
    song.cell(0, 1, 2, {.effect = kSetSpeed, .param = 0});
    TestSong played(song);
    setFastForward(played.engine, true);
    played.run(6);
    EXPECT_FALSE(played.ended());
    played.tick();
    EXPECT_TRUE(played.ended());
    EXPECT_TRUE(played.state().fastForward);
}

TEST(SequencerOrders, EndByOrderListClearsFastForward) {
    ModuleBuilder song = fastSong({0});
    TestSong played(song);
    setFastForward(played.engine, true);
    played.run(100);
    EXPECT_TRUE(played.ended());
    EXPECT_FALSE(played.state().fastForward);
}

TEST(SequencerOrders, OrderEntryNamingNoPatternPlaysAs64EmptyRows) {
    ModuleBuilder song = fastSong({0, 9, 0});
    song.cell(0, 0, 0, {.period = 428, .sample = 1, .volume = 30});
    TestSong played(song);
    played.run(64);
    played.mutableChannel(0).volume = 7;
    played.tick();
    EXPECT_EQ(played.order(), 1u);
    EXPECT_EQ(played.state().currentPattern, 9u);
    played.run(63);
    EXPECT_EQ(played.row(), 63u);
    EXPECT_EQ(played.channel(0).volume, 7);  // no cell read in order 1
    played.tick();
    EXPECT_EQ(played.order(), 2u);
    EXPECT_EQ(played.channel(0).volume, 30);
}

TEST(SequencerOrders, BreakAndRewindIntoAMissingPattern) {
    ModuleBuilder song = fastSong({0, 9});
    song.cell(0, 0, 0, {.effect = kPatternBreak, .param = 0x20});
    TestSong played(song);
    played.run(2);
    EXPECT_EQ(played.order(), 1u);
    EXPECT_EQ(played.row(), 20u);
    setRewinding(played.engine, true);
    played.run(25);
    EXPECT_EQ(played.order(), 0u);
    EXPECT_EQ(played.row(), 59u);
}

TEST(SequencerLoops, LoopOfThreePlaysFourTimes) {
    ModuleBuilder song = fastSong({0});
    song.cell(0, 1, 0, {.effect = kExtended, .param = 0x60});
    song.cell(0, 3, 0, {.effect = kExtended, .param = 0x63});
    TestSong played(song);
    const std::vector<Position> expected = {{0, 0}, {0, 1}, {0, 2}, {0, 3}, {0, 1}, {0, 2}, {0, 3},
                                            {0, 1}, {0, 2}, {0, 3}, {0, 1}, {0, 2}, {0, 3}, {0, 4}};
    EXPECT_EQ(rowTicks(played, expected.size()), expected);
}

TEST(SequencerLoops, WithoutMarkLoopsFromRowZero) {
    ModuleBuilder song = fastSong({0});
    song.cell(0, 2, 1, {.effect = kExtended, .param = 0x61});
    TestSong played(song);
    const std::vector<Position> expected = {{0, 0}, {0, 1}, {0, 2}, {0, 0}, {0, 1}, {0, 2}, {0, 3}};
    EXPECT_EQ(rowTicks(played, expected.size()), expected);
}

TEST(SequencerLoops, FinishedLoopClearsItsMarkAndLaterLoopsStartAtRowZero) {
    ModuleBuilder song = fastSong({0, 1});
    song.cell(0, 8, 0, {.effect = kExtended, .param = 0x60});
    song.cell(0, 9, 0, {.effect = kExtended, .param = 0x62});
    song.cell(1, 2, 0, {.effect = kExtended, .param = 0x61});
    TestSong played(song);
    played.run(8);
    const std::vector<Position> expected = {{0, 8}, {0, 9}, {0, 8}, {0, 9}, {0, 8}, {0, 9}, {0, 10}};
    EXPECT_EQ(rowTicks(played, expected.size()), expected);
    EXPECT_FALSE(played.state().loopStartSet);
    played.run(53);
    const std::vector<Position> second = {{1, 0}, {1, 1}, {1, 2}, {1, 0}, {1, 1}, {1, 2}, {1, 3}};
    EXPECT_EQ(rowTicks(played, second.size()), second);
}

TEST(SequencerLoops, LoopsIgnoreLoopsAllowed) {
    ModuleBuilder song = fastSong({0});
    song.cell(0, 1, 0, {.effect = kExtended, .param = 0x61});
    TestSong played(song, 44100, false);
    const std::vector<Position> expected = {{0, 0}, {0, 1}, {0, 0}, {0, 1}, {0, 2}};
    EXPECT_EQ(rowTicks(played, expected.size()), expected);
}

std::vector<uint32_t> repeated(std::vector<uint32_t> rows, size_t times, std::vector<uint32_t> then = {}) {
    std::vector<uint32_t> all;
    for (size_t i = 0; i < times; ++i) all.insert(all.end(), rows.begin(), rows.end());
    all.insert(all.end(), then.begin(), then.end());
    return all;
}

TEST(SequencerLoops, ModLoopsPerChannelS3mLoopsSharedAndLoopsOffEndsACycle) {
    // "two": E62 on channels 0 and 1 of row 3. "nested": rows 1-2 loop once on channel 0
    // (E60, E61) inside a loop of rows 0-3 on channel 1 (E61 in row 3).
    struct Case {
        const char* name;
        uint8_t formatType;
        bool loopsAllowed, nested;
        std::vector<uint32_t> rows;  // rows of order 0 played, at most 200
        bool ends;
    };
    std::vector<uint32_t> rest;
    for (uint32_t r = 4; r < 64; ++r) rest.push_back(r);
    const std::vector<uint32_t> pass = {0, 1, 2, 3}, nested = {0, 1, 2, 1, 2, 3};
    const Case cases[] = {
        // Each channel counts its own loop: three passes, then the song goes on.
        {"MOD two, loops off", kFormatMod, false, false, repeated(pass, 3, rest), true},
        {"MOD two, loops on", kFormatMod, true, false, repeated(pass, 3, rest), true},
        {"MOD nested, loops off", kFormatMod, false, true, repeated(nested, 2, rest), true},
        // One shared state: each command ends the other's count and starts a new one, for ever.
        // With loops off the song ends where a fourth pass would begin as the first did.
        {"S3M two, loops on", kFormatS3m, true, false, repeated(pass, 50), false},
        {"S3M two, loops off", kFormatS3m, false, false, repeated(pass, 3), true},
        // The finished inner loop leaves no mark, so the outer one loops from row 0 for ever and
        // the inner one never runs again. Row 2 of the second pass would then be played in the
        // state it had in the inner loop's repeat.
        {"S3M nested, loops on", kFormatS3m, true, true, repeated(nested, 1, repeated(pass, 48, {0, 1})),
         false},
        {"S3M nested, loops off", kFormatS3m, false, true, {0, 1, 2, 1, 2, 3, 0, 1}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ModuleBuilder song = fastSong({0});
        song.format(c.formatType);
        if (c.nested) {
            song.cell(0, 1, 0, {.effect = kExtended, .param = 0x60});
            song.cell(0, 2, 0, {.effect = kExtended, .param = 0x61});
            song.cell(0, 3, 1, {.effect = kExtended, .param = 0x61});
        } else {
            song.cell(0, 3, 0, {.effect = kExtended, .param = 0x62});
            song.cell(0, 3, 1, {.effect = kExtended, .param = 0x62});
        }
        TestSong played(song, 44100, c.loopsAllowed);
        std::vector<uint32_t> rows;
        for (const Position& p : rowTicks(played, 200)) {
            EXPECT_EQ(p.first, 0u);
            rows.push_back(p.second);
        }
        EXPECT_EQ(rows, c.rows);
        played.tick();
        EXPECT_EQ(played.ended(), c.ends);
    }
}

TEST(SequencerLoops, RewindStartsTheCycleWatchAfresh) {
    ModuleBuilder song = fastSong({0});
    song.format(kFormatS3m);
    song.cell(0, 3, 0, {.effect = kExtended, .param = 0x62});
    song.cell(0, 3, 1, {.effect = kExtended, .param = 0x62});
    // Left alone the song ends after 12 rows (see above). Rewinding from the second pass goes back
    // to row 0; from there on the song plays what it played before and must not end for that.
    TestSong played(song, 44100, false);
    EXPECT_EQ(rowTicks(played, 6).size(), 6u);  // rows 0-3, 0, 1
    setRewinding(played.engine, true);
    played.run(2);  // back to row 0, where rewinding ends by itself
    EXPECT_FALSE(played.state().rewinding);
    EXPECT_EQ(played.row(), 0u);
    const std::vector<Position> after = rowTicks(played, 200);
    EXPECT_TRUE(played.ended());
    // Rows 1-3 of this pass, two whole passes and row 0 of the next: row 1 would then be played
    // in the state the watch began with.
    EXPECT_EQ(after.size(), 3u + 8u + 1u);
}

TEST(SequencerLoops, SongWithoutLoopsIsNeverCutAndLongCyclesAreFound) {
    // Speed changes on every row make a new key each time; the song still ends only after its
    // order list. Then a loop of 48 rows of speed changes repeating in one state is found.
    ModuleBuilder song = fastSong({0, 0, 0});
    for (uint32_t row = 0; row < 64; ++row) {
        song.cell(0, row, 2, {.effect = kSetSpeed, .param = static_cast<uint8_t>(1 + row % 5)});
    }
    TestSong played(song, 44100, false);
    EXPECT_EQ(rowTicks(played, 1000).size(), 3u * 64u);
    played.tick();
    EXPECT_TRUE(played.ended());

    // Shared loop state: both commands together loop rows 0-50 for ever.
    song.format(kFormatS3m).speed(3).cell(0, 50, 0, {.effect = kExtended, .param = 0x61});
    song.cell(0, 50, 1, {.effect = kExtended, .param = 0x61});
    TestSong looped(song, 44100, false);
    const std::vector<Position> rows = rowTicks(looped, 1000);
    looped.tick();
    EXPECT_TRUE(looped.ended());
    // Rows 0-50, then row 0 again at the speed row 50 set (not the song's first speed). Row 1
    // then comes in the state of the first pass, reached by an ordinary step this time.
    EXPECT_EQ(rows.size(), 51u + 1u);
}

TEST(SequencerDelay, PatternDelayRepeatsTheRowWithoutRereadingIt) {
    ModuleBuilder song(2);
    song.sample({.volume = 10});
    song.cell(0, 0, 0, {.effect = kExtended, .param = 0xE2});
    song.cell(0, 0, 1, {.period = 428, .sample = 1, .effect = kVolumeSlide, .param = 0x10});
    TestSong played(song);
    // Volume of channel 1 after each tick: the slide runs on ticks 2-6; each repeated row tick
    // re-arms it as a one-shot for the tick after it. The row lasts 18 ticks.
    const int32_t volumes[18] = {10, 11, 12, 13, 14, 15, 15, 16, 16, 16, 16, 16, 16, 17, 17, 17, 17, 17};
    for (int32_t volume : volumes) {
        played.tick();
        EXPECT_EQ(played.row(), 0u);
        EXPECT_EQ(played.channel(1).volume, volume);
    }
    played.tick();
    EXPECT_EQ(played.row(), 1u);
}

TEST(SequencerRewind, StepsBackAcrossPatternsAndStopsAtTheStart) {
    ModuleBuilder song = fastSong({0, 1});
    song.cell(0, 63, 0, {.sample = 1, .volume = 40});
    song.cell(0, 62, 0, {.sample = 1, .volume = 20});
    TestSong played(song);
    played.run(66);  // order 1, row 1
    played.mutableChannel(0).volume = 0;
    setRewinding(played.engine, true);
    const uint32_t timeBefore = played.state().playTime;
    const std::vector<Position> expected = {{1, 0}, {0, 63}, {0, 62}};
    EXPECT_EQ(rowTicks(played, 3), expected);
    EXPECT_EQ(played.state().playTime, timeBefore - 3 * 20000);
    EXPECT_EQ(played.channel(0).volume, 20);  // rows stepped backwards are processed
    played.run(62);
    EXPECT_EQ(played.order(), 0u);
    EXPECT_EQ(played.row(), 0u);
    EXPECT_TRUE(played.state().rewinding);
    played.tick();  // row 0 of order 0 again; rewinding ends by itself
    EXPECT_EQ(played.row(), 0u);
    EXPECT_FALSE(played.state().rewinding);
    EXPECT_EQ(played.state().playTime, 0u);  // 66 ticks forward, 66 back
    played.tick();
    EXPECT_EQ(played.row(), 1u);
}

TEST(SequencerRewind, BeforeTheFirstRowNothingHappensAndTheFlagStays) {
    ModuleBuilder song = fastSong({0});
    song.cell(0, 0, 0, {.period = 428, .sample = 1});
    TestSong played(song);
    setRewinding(played.engine, true);
    played.run(3);
    EXPECT_EQ(played.state().nextOrder, 0u);
    EXPECT_TRUE(played.state().rewinding);
    EXPECT_EQ(played.state().playTime, 0u);
    EXPECT_EQ(played.channel(0).sample, nullptr);
    setRewinding(played.engine, false);
    played.tick();
    EXPECT_EQ(played.order(), 0u);
    EXPECT_EQ(played.row(), 0u);
    EXPECT_NE(played.channel(0).sample, nullptr);
}

TEST(SequencerRewind, PendingJumpWaitsForTheNextForwardStep) {
    ModuleBuilder song = fastSong({0, 1, 2});
    song.patternCount(3);
    song.cell(0, 5, 0, {.effect = kPositionJump, .param = 2});
    TestSong played(song);
    played.run(6);  // row 5 requests the jump
    setRewinding(played.engine, true);
    played.run(2);
    EXPECT_EQ(played.row(), 3u);
    EXPECT_TRUE(played.state().jumpPending);
    setRewinding(played.engine, false);
    played.tick();
    EXPECT_EQ(played.order(), 2u);
    EXPECT_EQ(played.row(), 0u);
}

TEST(SequencerSong, StartSongResetsEverything) {
    ModuleBuilder song;
    song.sample().cell(0, 0, 0, {.period = 428, .sample = 1, .effect = kTremolo, .param = 0x44});
    TestSong played(song);
    played.run(10);
    setFastForward(played.engine, true);
    played.engine.outputStopped = true;
    played.stepper.start(22050);
    EXPECT_EQ(played.state().samplesPerTick, 441u);
    EXPECT_EQ(played.state().playTime, 0u);
    EXPECT_EQ(played.row(), 64u);
    EXPECT_EQ(played.state().tickCounter, 1u);
    EXPECT_EQ(played.state().loopCount, -1);
    EXPECT_FALSE(played.state().fastForward);
    EXPECT_FALSE(played.engine.outputStopped);
    EXPECT_FALSE(played.engine.playbackFinished);
    EXPECT_EQ(played.channel(0).sample, nullptr);
    EXPECT_EQ(played.channel(0).delayedPeriod, 255);
    EXPECT_EQ(played.channel(0).tremoloSpeed, 0u);
    EXPECT_EQ(played.channel(0).leftPan, 1024);
    EXPECT_EQ(played.channel(1).rightPan, 1024);
}

TEST(SequencerSong, FinishedSongSetsPlaybackFinishedAtTheNextBoundary) {
    ModuleBuilder song;
    song.songLength(0);
    TestSong played(song);
    EXPECT_EQ(played.stepper.framesToNextTick(), 882u);
    EXPECT_TRUE(played.ended());
    EXPECT_FALSE(played.engine.playbackFinished);
    EXPECT_EQ(played.stepper.framesToNextTick(), 882u);
    EXPECT_TRUE(played.engine.playbackFinished);
}

}  // namespace
}  // namespace tarvex::test
