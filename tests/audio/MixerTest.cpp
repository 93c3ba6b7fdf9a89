// The mixer's arithmetic on channels set up by hand: volumes and divisor, interpolation, loops,
// de-click, output formats, wide stereo and the tick clock.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "MixRig.h"

namespace tarvex::test {
namespace {

constexpr int32_t kScale = 4096;  // working scale of one sample unit

std::vector<int16_t> constantData(int16_t value, size_t frames) {
    return std::vector<int16_t>(frames, value);
}

std::vector<int16_t> rampData(size_t frames, int16_t stepValue) {
    std::vector<int16_t> data(frames);
    for (size_t i = 0; i < frames; ++i) data[i] = static_cast<int16_t>(i * stepValue);
    return data;
}

TEST(MixDivisor, FollowsChannelsGlobalVolumeAndPreamp) {
    struct Row {
        uint32_t channels;
        uint8_t globalVolume;
        uint32_t preamp;
        int32_t divisor;
    };
    const Row rows[] = {
        {4, 64, 512, 256},                     // the worked example
        {8, 64, 512, 256},                     // 8 channels count as 4
        {8, 64, 1024, 512},                    // further down the slider: quieter
        {3, 64, 512, 192},  {5, 64, 256, 64},  // 5 channels count as 2
        {32, 48, 512, 768}, {4, 64, 1, 1},     // 0.5 truncates to 0, floored to 1
        {4, 0, 512, 1},                        // globalVolume 0
        {4, 64, 0, 1},                         // below the slider's range: taken as 1
        {4, 64, 5000, 512},                    // above it: taken as 1024
    };
    for (const Row& row : rows) {
        EXPECT_EQ(mixDivisorForPreamp(row.channels, row.globalVolume, row.preamp), row.divisor)
            << row.channels << " channels, volume " << int(row.globalVolume) << ", preamp " << row.preamp;
    }
    EXPECT_EQ(mixDivisorAtStart(4, 64), 256);
    EXPECT_EQ(mixDivisorAtStart(16, 64), 512);
    EXPECT_EQ(mixDivisorAtStart(4, 0), 1);
}

TEST(MixDivisor, WorkedExampleGivesAQuarterAmplitude) {
    MixRig rig({}, {makeSample(constantData(20000, 8), 0, 8)});
    EXPECT_EQ(rig.player.mix.mixDivisor.load(), 256);
    rig.play(0, 0, 1024, 64, 0);
    std::vector<int32_t> values = rig.renderValues(4);
    EXPECT_EQ(values, (std::vector<int32_t>{5000, 0, 5000, 0, 5000, 0, 5000, 0}));
    EXPECT_EQ(rig.player.mix.levelLeft[3].load(), 5000);

    rig.play(3, 0, 1024, 64, 0);  // channel 3 is a left channel too: half of full scale
    values = rig.renderValues(1);
    EXPECT_EQ(values, (std::vector<int32_t>{10000, 0}));
}

TEST(MixDivisor, InvertedSideAtFullScaleKeepsItsSign) {
    // leftVolume -64 (a set-panning parameter above 128) on -32768: -64 * -32768 * 4096 / 256 adds
    // 33554432 to L, 8192 in 16-bit output, however the mixer's loops compute it.
    for (const bool vector : {true, false}) {
        MixRig rig({}, {makeSample(constantData(-32768, 64), 0, 64)});
        rig.player.mix.vectorKernels = vector;
        rig.play(0, 0, 1024, -64, 0);
        const std::vector<int32_t> values = rig.renderValues(64);
        for (size_t i = 0; i < values.size(); i += 2) ASSERT_EQ(values[i], 8192) << "frame " << i / 2;
    }
}

TEST(MixDivisor, GlobalVolumeZeroRendersSilenceWithDivisorOne) {
    MixRig rig({.globalVolume = 0}, {makeSample(constantData(20000, 8), 0, 8)});
    EXPECT_EQ(rig.player.mix.mixDivisor.load(), 1);
    rig.play(0, 0, 1024, 64, 64);
    for (int32_t v : rig.renderValues(100)) ASSERT_EQ(v, 0);
}

// Renders one frame at a time and reads the channel's value from lastMixValue (Click on, no ramp
// pending, so the value is stored unchanged).
struct FrameTrace {
    int32_t value;  // in sample units: lastMixValue / 4096
    int32_t position;
    uint32_t fraction;
};

std::vector<FrameTrace> traceChannel(MixRig& rig, uint32_t frames) {
    std::vector<FrameTrace> trace;
    const ChannelState& ch = rig.player.channels[0];
    for (uint32_t i = 0; i < frames; ++i) {
        rig.render(1);
        trace.push_back({ch.lastMixValue / kScale, ch.position, ch.positionFraction});
    }
    return trace;
}

void expectTrace(const std::vector<FrameTrace>& got, const std::vector<FrameTrace>& want) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(got[i].value, want[i].value) << "frame " << i;
        EXPECT_EQ(got[i].position, want[i].position) << "frame " << i;
        EXPECT_EQ(got[i].fraction, want[i].fraction) << "frame " << i;
    }
}

TEST(MixInterpolation, LastFrameWithoutLoopFadesTowardZero) {
    MixRig rig({.isp = true, .click = true}, {makeSample({1000, 2000, 3000})});
    rig.play(0, 0, 512, 64, 0);
    expectTrace(traceChannel(rig, 7), {
                                          {1000, 0, 512},
                                          {1500, 1, 0},  // fetched halfway between frames 0 and 1
                                          {2000, 1, 512},
                                          {2500, 2, 0},
                                          {3000, 2, 512},
                                          {1500, -1, 0},  // frame 2.5 leans on 0 past the end, then stops
                                          {1500, -1, 0},  // stopped: no value, nothing changes
                                      });
}

TEST(MixInterpolation, FrameBeforeLoopEndLeansOnLoopStart) {
    MixRig rig({.isp = true, .click = true}, {makeSample({1000, 2000, 3000, 4000}, 1, 4)});
    ChannelState& ch = rig.play(0, 0, 512, 64, 0);
    ch.position = 3;
    expectTrace(traceChannel(rig, 4), {
                                          {4000, 3, 512},
                                          {3000, 1, 0},  // between frame 3 and loopStart 1
                                          {2000, 1, 512},
                                          {2500, 2, 0},
                                      });
}

TEST(MixAdvance, StepLargerThanTheLoopWrapsSeveralTimesPerFrame) {
    MixRig rig({.click = true}, {makeSample(rampData(8, 100), 4, 6)});
    rig.play(0, 0, 3 * 1024, 64, 0);
    expectTrace(traceChannel(rig, 6), {
                                          {0, 3, 0},    // 1, 2, 3
                                          {300, 4, 0},  // 4, 5, 6 -> 4
                                          {400, 5, 0},  // 5, 6 -> 4, 5
                                          {500, 4, 0},  // 6 -> 4, 5, 6 -> 4
                                          {400, 5, 0},
                                          {500, 4, 0},
                                      });
}

TEST(MixAdvance, NoLoopCheckWithoutAWholeFrame) {
    // A position past the loop end (as a sample offset can leave it) stays there until the advance
    // completes a frame; then the wrap brings it back into the loop in one go.
    MixRig rig({.click = true}, {makeSample(rampData(16, 100), 2, 4)});
    ChannelState& ch = rig.play(0, 0, 512, 64, 0);
    ch.position = 10;
    expectTrace(traceChannel(rig, 3), {
                                          {1000, 10, 512},
                                          {1000, 3, 0},  // 11 -> 9 -> 7 -> 5 -> 3
                                          {300, 3, 512},
                                      });
}

TEST(MixAdvance, UnconsumedFractionCarriesIntoTheNextNote) {
    MixRig rig({.isp = true, .click = true}, {makeSample(rampData(16, 100))});
    ChannelState& ch = rig.play(0, 0, 3000, 64, 0);
    ch.position = 15;
    // 3000 = 1024 (to frame 16, the end) + 1976 not consumed.
    expectTrace(traceChannel(rig, 3), {{1500, -1, 1976}, {1500, -1, 1976}, {1500, -1, 1976}});
    ch.position = 0;  // a note start leaves the fraction alone
    rig.render(1);
    // 0 + (100 - 0) * 1976 / 1024 = 192.97 sample units, exactly 790400 at working scale.
    EXPECT_EQ(ch.lastMixValue, 790400);
    EXPECT_EQ(ch.position, 4);  // 1976 + 3000 = 4 frames and 880
    EXPECT_EQ(ch.positionFraction, 880u);
}

TEST(MixAdvance, DegenerateLoopPlaysAsNoLoop) {
    const struct {
        uint32_t loopStart;
        uint32_t loopEnd;
    } loops[] = {{6, 4}, {5, 5}, {8, 8}, {20, 8}};
    for (const auto& loop : loops) {
        MixRig rig({.click = true}, {makeSample(rampData(8, 100), loop.loopStart, loop.loopEnd)});
        ChannelState& ch = rig.play(0, 0, 1024, 64, 0);
        const std::vector<FrameTrace> trace = traceChannel(rig, 10);
        EXPECT_EQ(trace[6].position, 7) << loop.loopStart << ".." << loop.loopEnd;
        EXPECT_EQ(trace[7].value, 700);
        EXPECT_EQ(trace[7].position, -1);
        EXPECT_EQ(ch.position, -1);
    }
}

TEST(MixDeclick, NoteStartRampsByAtMost1000UnitsAndThenClears) {
    MixRig rig({.click = true}, {makeSample(constantData(32767, 8), 0, 8)});
    ChannelState& ch = rig.play(0, 0, 1024, 64, 0);
    ch.noteStarted = true;
    ch.lastMixValue = 0;
    const int32_t target = 32767 * kScale;

    std::vector<int32_t> values;
    while (ch.noteStarted && values.size() < 200) {
        rig.render(1);
        values.push_back(ch.lastMixValue);
    }
    ASSERT_FALSE(ch.noteStarted);
    // The halving from 0 toward the sample: 1/64 of it, then again until within 1000 units.
    ASSERT_GE(values.size(), 3u);
    EXPECT_EQ(values[0], 2097088);
    EXPECT_EQ(values[1], 4161409);
    EXPECT_EQ(values.back(), target);  // the clearing frame takes the waveform as it is
    int32_t last = 0;
    for (size_t i = 0; i + 1 < values.size(); ++i) {
        const int32_t move = values[i] - last;
        EXPECT_LE(move, 4096000) << "frame " << i;
        EXPECT_GE(move, 2048000) << "frame " << i;
        last = values[i];
    }
    EXPECT_LE(target - values[values.size() - 2], 4096000);
    EXPECT_GT(target - values[values.size() - 3], 4096000);
}

TEST(MixDeclick, ClickOffTouchesNeitherFlagNorLastValue) {
    MixRig rig({.click = false}, {makeSample(constantData(32767, 8), 0, 8)});
    ChannelState& ch = rig.play(0, 0, 1024, 64, 0);
    ch.noteStarted = true;
    ch.lastMixValue = 77;
    const std::vector<int32_t> values = rig.renderValues(2);
    EXPECT_TRUE(ch.noteStarted);
    EXPECT_EQ(ch.lastMixValue, 77);
    EXPECT_EQ(values[0], 32767 * 64 / 256);  // no ramp: the sample at once
}

// Two left channels at full volume with divisor 64 sum to twice full scale.
std::vector<uint8_t> overdrivenBytes(uint32_t bits, bool clipping, int16_t sampleValue, int16_t* level) {
    MixRig rig({.bits = bits, .clipping = clipping}, {makeSample(constantData(sampleValue, 8), 0, 8)});
    rig.player.mix.mixDivisor = 64;
    rig.play(0, 0, 1024, 64, 0);
    rig.play(3, 0, 1024, 64, 0);
    std::vector<uint8_t> bytes = rig.render(1);
    *level = rig.player.mix.levelLeft[0];
    bytes.resize(bits / 8);  // the left value
    return bytes;
}

TEST(MixOutput, ClippingSaturatesAndWithoutItTheValueWraps) {
    struct Row {
        uint32_t bits;
        bool clipping;
        int16_t sample;
        std::vector<uint8_t> bytes;
        int16_t level;
    };
    // +2x full scale is 16776704 = 0xFFFE00 after the shift; -2x is -16777216 = 0xFF000000.
    const Row rows[] = {
        {16, true, 32767, {0xFF, 0x7F}, 32767},
        {8, true, 32767, {0xFF}, 32767},
        {24, true, 32767, {0xFF, 0xFF, 0x7F}, 32767},
        {16, false, 32767, {0xFE, 0xFF}, -2},
        {8, false, 32767, {0x7F}, -2},
        {24, false, 32767, {0x00, 0xFE, 0xFF}, -2},
        {16, true, -32768, {0x00, 0x80}, -32768},
        {8, true, -32768, {0x00}, -32768},
        {24, true, -32768, {0x00, 0x00, 0x80}, -32768},
        {16, false, -32768, {0x00, 0x00}, 0},
        {8, false, -32768, {0x80}, 0},
        {24, false, -32768, {0x00, 0x00, 0x00}, 0},
    };
    for (const Row& row : rows) {
        int16_t level = 0;
        EXPECT_EQ(overdrivenBytes(row.bits, row.clipping, row.sample, &level), row.bytes)
            << row.bits << " bits, clipping " << row.clipping << ", sample " << row.sample;
        EXPECT_EQ(level, row.level) << row.bits << " bits, clipping " << row.clipping;
    }
}

TEST(MixOutput, MonoIsTheSumOfLeftAndRightAndIgnoresWideStereo) {
    const auto renderWith = [](uint32_t outputChannels, bool wide) {
        MixRig rig({.bits = 24, .outputChannels = outputChannels, .wide = wide},
                   {makeSample(constantData(1000, 8), 0, 8), makeSample(constantData(3000, 8), 0, 8)});
        rig.play(0, 0, 1024, 64, 0);
        rig.play(1, 1, 1024, 0, 64);
        return rig.renderValues(1000);
    };
    const std::vector<int32_t> stereo = renderWith(2, false);
    EXPECT_EQ(stereo[0], 64000);
    EXPECT_EQ(stereo[1], 192000);
    const std::vector<int32_t> mono = renderWith(1, false);
    ASSERT_EQ(mono.size(), 1000u);
    for (size_t i = 0; i < mono.size(); ++i) ASSERT_EQ(mono[i], stereo[2 * i] + stereo[2 * i + 1]) << i;
    EXPECT_EQ(renderWith(1, true), mono);
}

TEST(MixOutput, SeparationMovesBothSidesTowardOrAwayFromTheirMiddle) {
    struct Row {
        uint32_t separation;
        uint32_t bits;
        bool wide;
        int32_t left;  // first frame, in the output's width
        int32_t right;
    };
    // Left alone 64000, right alone 192000 (24-bit scale); middle 128000.
    const Row rows[] = {
        {100, 24, false, 64000, 192000},  // as mixed
        {0, 24, false, 128000, 128000},   // mono: both the middle
        {50, 24, false, 96000, 160000},   // half way to the middle
        {200, 24, false, 0, 256000},      // (3L - R) / 2 and (3R - L) / 2
        {0, 16, false, 500, 500},         // 16 bits: the plain loops stand in for the vector ones
        {150, 16, false, 125, 875},      {0, 8, true, 1, 1},
        {0, 24, true, 128000, 128000},  // cross-feed from frame 881 on keeps L = R
    };
    for (const Row& row : rows) {
        MixRig rig({.bits = row.bits, .wide = row.wide},
                   {makeSample(constantData(1000, 8), 0, 8), makeSample(constantData(3000, 8), 0, 8)});
        rig.player.settings.Separation.store(row.separation);
        rig.play(0, 0, 1024, 64, 0);
        rig.play(1, 1, 1024, 0, 64);
        const std::vector<int32_t> values = rig.renderValues(1000);
        EXPECT_EQ(values[0], row.left) << row.separation << " at " << row.bits << " bits";
        EXPECT_EQ(values[1], row.right) << row.separation << " at " << row.bits << " bits";
        if (row.separation == 0) {
            for (size_t i = 0; i < 1000; ++i) ASSERT_EQ(values[2 * i], values[2 * i + 1]) << i;
        }
        const MixState& mix = rig.player.mix;
        EXPECT_EQ(mix.levelLeft[999].load() == mix.levelRight[999].load(), row.separation == 0);
    }
    // Mono output is the sum of both sides whatever the separation.
    const auto mono = [](uint32_t separation) {
        MixRig rig({.bits = 24, .outputChannels = 1},
                   {makeSample(constantData(1000, 8), 0, 8), makeSample(constantData(3000, 8), 0, 8)});
        rig.player.settings.Separation.store(separation);
        rig.play(0, 0, 1024, 64, 0);
        rig.play(1, 1, 1024, 0, 64);
        return rig.renderValues(100);
    };
    EXPECT_EQ(mono(0), mono(100));
}

TEST(MixOutput, WideStereoFeedsHalfTheOtherSide881FramesLate) {
    MixRig rig({.bits = 24, .wide = true}, {makeSample(constantData(1000, 8), 0, 8)});
    EXPECT_EQ(rig.player.mix.wideDelayLength, 882u);
    rig.play(0, 0, 1024, 64, 0);
    const std::vector<int32_t> values = rig.renderValues(900);
    for (size_t i = 0; i < 900; ++i) {
        ASSERT_EQ(values[2 * i], 64000) << i;                    // left: dry, nothing to receive
        ASSERT_EQ(values[2 * i + 1], i < 881 ? 0 : 32000) << i;  // right: half the left, delayed
    }
}

TEST(MixOutput, EightBitOutputIsUnsignedAroundMidpoint) {
    MixRig rig({.bits = 8, .outputChannels = 1}, {makeSample(constantData(-16384, 8), 0, 8)});
    rig.play(0, 0, 1024, 64, 0);
    const std::vector<uint8_t> bytes = rig.render(2);
    // -16384 at a quarter: -4096 in 16 bits, -16 in 8 bits, stored as 112.
    EXPECT_EQ(bytes, (std::vector<uint8_t>{112, 112}));
}

TEST(MixLevels, LengthFollowsRateAndBufferAndEveryFrameLeavesItsValue) {
    EXPECT_EQ(levelLengthFor(44100, 250), 1379u);  // 31.25 ms: 1378.125 frames rounded up
    EXPECT_EQ(levelLengthFor(8000, 120), 120u);
    EXPECT_EQ(segmentFramesFor(8000, 8, 1, 120), 120u);
    EXPECT_EQ(segmentFramesFor(44100, 16, 2, 250), 1378u);

    MixRig rig({.outputChannels = 1}, {makeSample(rampData(64, 100), 0, 64)});
    EXPECT_EQ(rig.player.mix.levelLength, 1379u);
    EXPECT_GE(rig.player.mix.levelCapacity, 1379u);
    rig.play(0, 0, 1024, 64, 0);
    rig.render(10);
    rig.render(3);  // a shorter call overwrites entries 0..2 only
    for (uint32_t i = 0; i < 3; ++i) EXPECT_EQ(rig.player.mix.levelLeft[i].load(), (10 + i) * 100 / 4) << i;
    for (uint32_t i = 3; i < 10; ++i) EXPECT_EQ(rig.player.mix.levelLeft[i].load(), i * 100 / 4) << i;
}

TEST(MixCall, ZeroFramesTouchNothingButTheClock) {
    MixRig rig({}, {makeSample(rampData(64, 100), 0, 64)});
    ChannelState& ch = rig.play(0, 0, 700, 64, 0);
    rig.render(5);
    const ChannelState before = ch;
    const int16_t level = rig.player.mix.levelLeft[0];
    rig.player.mix.renderMillis = 12345;
    uint8_t guard[4] = {0xAA, 0xAA, 0xAA, 0xAA};
    renderFrames(rig.player, guard, 0);
    EXPECT_EQ(guard[0], 0xAA);
    EXPECT_EQ(rig.player.mix.levelLeft[0].load(), level);
    EXPECT_EQ(ch.position, before.position);
    EXPECT_EQ(ch.positionFraction, before.positionFraction);
    EXPECT_EQ(rig.player.state.tickFrameCounter, 5u);
    EXPECT_LT(rig.player.mix.renderMillis.load(), 12345u);  // measured anew
}

TEST(MixCall, DivisorChangedFromAnotherThreadAppliesWithinTheBuffer) {
    MixRig rig({.rate = 8000, .bits = 8, .outputChannels = 1}, {makeSample(constantData(20000, 64), 0, 64)});
    rig.play(0, 0, 1024, 64, 0);
    std::atomic<bool> started{false};
    std::thread window([&] {
        while (!started.load()) std::this_thread::yield();
        // Once the first tick has run, the call is under way: silence everything from here on.
        while (rig.player.state.playTime.load() == 0) std::this_thread::yield();
        rig.player.mix.mixDivisor = INT32_MAX;
    });
    const uint32_t frames = 8000 * 3000;  // 50 minutes in one call
    std::vector<uint8_t> bytes(frames);
    started = true;
    renderFrames(rig.player, bytes.data(), frames);
    window.join();
    EXPECT_EQ(bytes[0], 147);  // 20000 at a quarter: 5000 in 16 bits, 19 in 8 bits, stored as 147
    for (uint32_t i = frames - 10000; i < frames; ++i) ASSERT_NEAR(bytes[i], 128, 1) << i;
}

TEST(MixCall, ReleasedStateStillRendersWithoutCrossFeed) {
    MixRig rig({.wide = true}, {makeSample(constantData(1000, 8), 0, 8)});
    rig.play(0, 0, 1024, 64, 0);
    releaseMixState(rig.player);
    const std::vector<int32_t> values = rig.renderValues(1000);
    EXPECT_EQ(values[0], 250);
    EXPECT_EQ(values[2 * 999 + 1], 0);
}

// Gives the rig's module one empty pattern: 64 rows of 6 ticks, each tick 20 ms of playTime.
void makeSong(MixRig& rig) {
    Module& module = *rig.player.module;
    module.patterns.assign(1, Pattern{});
    module.patternCount = 1;
    module.songLength = 1;
    startSong(rig.player);
}

// Frames rendered (counted from the song start) at which a tick ran.
std::vector<uint32_t> tickFrames(MixRig& rig, uint32_t frames) {
    std::vector<uint32_t> ticks;
    for (uint32_t i = 1; i <= frames; ++i) {
        const uint32_t before = rig.player.state.playTime;
        rig.render(1);
        if (rig.player.state.playTime != before) ticks.push_back(i);
    }
    return ticks;
}

TEST(MixTickClock, TicksEvery882FramesAt44100AndTempo125) {
    MixRig rig({});
    makeSong(rig);
    EXPECT_EQ(tickFrames(rig, 2700), (std::vector<uint32_t>{882, 1764, 2646}));
}

TEST(MixTickClock, FastForwardTicksSixteenTimesAsOften) {
    MixRig rig({});
    makeSong(rig);
    setFastForward(rig.player, true);
    // ceil(882 * t / 16): 56 frames, then 55 (14 carried), ... 55.125 on average.
    EXPECT_EQ(tickFrames(rig, 445), (std::vector<uint32_t>{56, 111, 166, 221, 276, 331, 386, 441}));

    MixRig whole({});  // the same in one call: the clock is exact to the frame
    makeSong(whole);
    setFastForward(whole.player, true);
    whole.render(441);
    EXPECT_EQ(whole.player.state.playTime.load(), 8u * 20000u);
    whole.render(55);  // the counter stood at 0 after frame 441: 56 frames to the next tick
    EXPECT_EQ(whole.player.state.playTime.load(), 8u * 20000u);
    whole.render(1);
    EXPECT_EQ(whole.player.state.playTime.load(), 9u * 20000u);
}

TEST(MixTickClock, PlaybackFinishedAtTheTickBoundaryAfterSongEnd) {
    MixRig rig({});  // no order positions: the first tick ends the song
    struct Row {
        uint32_t frames;  // rendered in this step
        bool songEnded;
        bool finished;
    };
    const Row rows[] = {
        {881, false, false}, {1, true, false},  // frame 882: the first tick finds no order position
        {881, true, false},  {1, true, true},   // frame 1764: the next tick boundary
        {100, true, true},
    };
    for (const Row& row : rows) {
        rig.render(row.frames);
        EXPECT_EQ(rig.player.state.songEnded.load(), row.songEnded) << rig.player.state.tickFrameCounter;
        EXPECT_EQ(rig.player.playbackFinished.load(), row.finished) << rig.player.state.tickFrameCounter;
    }

    MixRig oneCall({});
    oneCall.render(1763);
    EXPECT_FALSE(oneCall.player.playbackFinished.load());
    EXPECT_EQ(framesToNextTick(oneCall.player), 1u);
    oneCall.render(1);
    EXPECT_TRUE(oneCall.player.playbackFinished.load());
}

}  // namespace
}  // namespace tarvex::test
