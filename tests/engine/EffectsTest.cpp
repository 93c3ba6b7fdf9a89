// Every effect code as a tick table: channel 0 plays C-6 (period 6848, step 194 at 44100 Hz) of a
// sample at 8363 Hz; each row below lists the value after ticks 1 (row tick) to 6 at speed 6.
#include <gtest/gtest.h>

#include <vector>

#include "core/PitchTables.h"
#include "engine/Channel.h"
#include "engine/Effects.h"
#include "support/ModuleBuilder.h"

namespace tarvex::test {
namespace {

using Trace = std::vector<int64_t>;
constexpr uint32_t kC6 = 428;
constexpr uint32_t kC7 = 214;
constexpr uint32_t kStepBase = 1329792;  // 44100 Hz

int64_t periodOf(const ChannelState& c) {
    return c.period;
}
int64_t stepOf(const ChannelState& c) {
    return c.step;
}
int64_t volumeOf(const ChannelState& c) {
    return c.volume;
}
int64_t outputOf(const ChannelState& c) {
    return c.leftVolume;
}
int64_t positionOf(const ChannelState& c) {
    return c.position;
}

TestSong play(const std::vector<CellFields>& rows, uint8_t format = kFormatMod,
              const SampleFields& sample = {}) {
    ModuleBuilder song(4);
    song.format(format).sample(sample).rows(0, rows);
    return TestSong(song);
}

// A note with one effect on row 0.
TestSong playNote(uint8_t effect, uint8_t param, uint8_t format = kFormatMod,
                  const SampleFields& sample = {}) {
    return play({{.period = kC6, .sample = 1, .effect = effect, .param = param}}, format, sample);
}

TEST(Arpeggio, CyclesNotePlusXNotePlusYNote) {
    TestSong song = playNote(kArpeggio, 0x47);
    // C-6, E-6 (339 x 16 = 5424), G-6 (285 x 16 = 4560); the next row restores the note.
    const Trace steps = {194, kStepBase / 5424, kStepBase / 4560, 194, kStepBase / 5424, kStepBase / 4560,
                         194};
    EXPECT_EQ(song.trace(7, stepOf), steps);
}

TEST(Arpeggio, OffsetsPastTheLastNoteUseTheLastNote) {
    TestSong song = play({{.period = 14, .sample = 1, .effect = kArpeggio, .param = 0x12}});
    song.tick();
    const int32_t highest = 14 * 133808 / 8363;
    EXPECT_EQ(song.channel().arpeggioPeriods, (std::array<int32_t, 3>{highest, highest, highest}));
}

TEST(Arpeggio, NoKnownNoteLeavesTheStep) {
    TestSong song = play({{.period = 10, .sample = 1, .effect = kArpeggio, .param = 0x47}});
    const int64_t step = kStepBase / 160;
    EXPECT_EQ(song.trace(3, stepOf), (Trace{step, step, step}));
    EXPECT_EQ(song.channel().arpeggioPeriods, (std::array<int32_t, 3>{0, 0, 0}));
}

TEST(Portamento, UpByFourMoves320InARowAndFineUpMovesOnce) {
    EXPECT_EQ(playNote(kPortaUp, 4).trace(6, periodOf), (Trace{6848, 6784, 6720, 6656, 6592, 6528}));
    EXPECT_EQ(playNote(kPortaDown, 4).trace(6, periodOf), (Trace{6848, 6912, 6976, 7040, 7104, 7168}));
    EXPECT_EQ(playNote(kExtended, 0x14).trace(6, periodOf), (Trace{6848, 6784, 6784, 6784, 6784, 6784}));
    EXPECT_EQ(playNote(kExtended, 0x24).trace(6, periodOf), (Trace{6848, 6912, 6912, 6912, 6912, 6912}));
    EXPECT_EQ(playNote(kPortaUp, 4).trace(6, stepOf).back(), kStepBase / 6528);
}

TEST(Portamento, SignedMemoryOvershootsTheOtherDirection) {
    TestSong down =
        play({{.period = kC6, .sample = 1, .effect = kPortaUp, .param = 3}, {.effect = kPortaDown}});
    down.run(6);
    EXPECT_EQ(down.channel().portaDelta, -48);
    EXPECT_EQ(down.trace(2, periodOf), (Trace{6848 - 5 * 48, 2147483647}));
    EXPECT_EQ(down.channel().step, 0u);

    TestSong up =
        play({{.period = kC6, .sample = 1, .effect = kPortaDown, .param = 3}, {.effect = kPortaUp}});
    up.run(6);
    const uint32_t step = up.channel().step;
    EXPECT_EQ(up.trace(2, periodOf), (Trace{6848 + 5 * 48, 0}));
    EXPECT_EQ(up.channel().step, step);
}

TEST(Portamento, SlideUpStopsAtPeriodZeroKeepingTheStep) {
    TestSong song = play({{.period = 14, .sample = 1, .effect = kPortaUp, .param = 0x08}});
    EXPECT_EQ(song.trace(3, periodOf), (Trace{224, 96, 0}));
    EXPECT_EQ(song.channel().step, kStepBase / 96);
}

TEST(Portamento, SpeedOneAppliesNoSlide) {
    ModuleBuilder song(1);
    song.speed(1).sample().rows(0, {{.period = kC6, .sample = 1, .effect = kExtended, .param = 0x14},
                                    {.effect = kPortaUp, .param = 4},
                                    {.effect = kVolumeSlide, .param = 0x40}});
    TestSong played(song);
    EXPECT_EQ(played.trace(3, periodOf), (Trace{6848, 6848, 6848}));
    EXPECT_EQ(played.channel().volume, 64);
}

TEST(TonePortamento, SlidesToTheNoteAndStops) {
    TestSong song = play({{.period = kC6, .sample = 1},
                          {.period = kC7, .effect = kTonePorta, .param = 0x40},
                          {.effect = kTonePorta}});
    song.run(6);
    // 1024 per tick toward 3424; the slide then stays put, and row 2 has no target left.
    EXPECT_EQ(song.trace(8, periodOf), (Trace{6848, 5824, 4800, 3776, 3424, 3424, 3424, 3424}));
    EXPECT_EQ(song.channel().portaTarget, 0);
    EXPECT_FALSE(song.channel().portaActive);
}

TEST(TonePortamento, TargetEqualToThePeriodStopsOnTheFirstEffectTick) {
    TestSong song =
        play({{.period = kC6, .sample = 1}, {.period = kC6, .effect = kTonePorta, .param = 0x08}});
    song.run(7);
    EXPECT_TRUE(song.channel().portaActive);
    song.tick();
    EXPECT_FALSE(song.channel().portaActive);
    EXPECT_EQ(song.channel().period, 6848);
}

TEST(TonePortamento, TargetLeftByPortaDownSlidesDownTheWholeRow) {
    TestSong song = play(
        {{.period = kC6, .sample = 1, .effect = kPortaDown, .param = 1}, {.effect = kTonePorta, .param = 2}});
    song.run(6);
    EXPECT_EQ(song.trace(6, periodOf), (Trace{6928, 6960, 6992, 7024, 7056, 7088}));
}

TEST(TonePortamento, WithVolumeSlideUsesTheMemory) {
    TestSong song = play({{.period = kC6, .sample = 1, .volume = 40},
                          {.period = kC7, .effect = kTonePorta, .param = 0x10},
                          {.period = kC7, .effect = kTonePortaVolumeSlide, .param = 0x20}});
    song.run(12);
    EXPECT_EQ(song.channel().period, 6848 - 5 * 256);
    song.run(6);
    EXPECT_EQ(song.channel().period, 6848 - 10 * 256);
    EXPECT_EQ(song.channel().volume, 50);
}

TEST(Glissando, SoundsWholeNotesWhileTheSlideMovesSmoothly) {
    TestSong song = play({{.period = kC6, .sample = 1, .effect = kExtended, .param = 0x31},
                          {.effect = kPortaDown, .param = 8}});
    song.run(6);
    // Running value 6976, 7104, 7232, 7360, 7488: nearest notes C-6 (428), H-5 (453) and A#5 (480).
    EXPECT_EQ(song.trace(6, periodOf), (Trace{6848, 6848, 7248, 7248, 7248, 7680}));
    EXPECT_EQ(song.channel().portaPeriod, 7488);
}

TEST(Glissando, AboveTheHighestNoteTheSlideValueSounds) {
    // Plain periods 13 and 12 have no note to round to; a negative one rounds to the lowest note.
    TestSong song = play({{.period = 14, .sample = 1, .effect = kExtended, .param = 0x31},
                          {.effect = kPortaUp, .param = 1},
                          {.effect = kPortaUp, .param = 0x10}});
    song.run(6);
    EXPECT_EQ(song.trace(3, periodOf), (Trace{224, 208, 192}));
    song.run(3);
    EXPECT_EQ(song.trace(2, periodOf), (Trace{144, 27392 * 16}));  // 144 - 256 = -112: plain -7
    EXPECT_EQ(song.channel().step, kStepBase / (27392 * 16));
}

TEST(Vibrato, SquareWaveMovesByAtMost478) {
    TestSong song = play({{.period = kC6, .sample = 1, .effect = kExtended, .param = 0x42},
                          {.effect = kVibrato, .param = 0x8F},
                          {.effect = kVibratoVolumeSlide, .param = 0x01},
                          {}});
    song.run(6);
    const int64_t up = kStepBase / (6848 + 4080 * 15 / 128);  // 478
    const int64_t down = kStepBase / (6848 - 479);            // -4080 x 15 >> 7 floors to -479
    // Position 0, 8, 16, 24 positive; at 32 the sign flips. Row 2 carries the vibrato on (its row
    // tick keeps the step) and flips back after four more ticks.
    EXPECT_EQ(song.trace(12, stepOf), (Trace{194, up, up, up, up, down, down, down, down, down, up, up}));
    EXPECT_EQ(song.channel().volume, 64 - 5);
    EXPECT_EQ(song.channel().period, 6848);
    song.tick();  // a row without vibrato restores the step
    EXPECT_EQ(song.channel().step, 194u);
    EXPECT_EQ(song.channel().vibratoPos, 0u);
}

TEST(Vibrato, SineAndRampValues) {
    TestSong sine = playNote(kVibrato, 0x4F);
    // Positions 0, 4, 8: sine 0, 97, 180, times 16 x 15 >> 7.
    EXPECT_EQ(sine.trace(4, stepOf), (Trace{194, 194, kStepBase / (6848 + 97 * 16 * 15 / 128),
                                            kStepBase / (6848 + 180 * 16 * 15 / 128)}));
    TestSong ramp = playNote(kVibrato, 0x0F);
    ChannelState& channel = ramp.mutableChannel();
    channel.vibratoWave = 1;
    channel.vibratoPos = 31;
    channel.vibratoNegative = true;
    ramp.run(2);
    EXPECT_EQ(ramp.channel().step, kStepBase / (6848 + 930));  // 7936 x 15 >> 7
}

TEST(Tremolo, MovesTheOutputOnlyAndEndsWithTheRow) {
    TestSong song = play({{.period = kC6, .sample = 1, .effect = kExtended, .param = 0x72, .volume = 32},
                          {.effect = kTremolo, .param = 0x8F},
                          {}});
    song.run(6);
    // Square wave, depth 15: 255 x 15 >> 7 = +29 and -255 x 15 >> 7 = -30 (the shift floors).
    EXPECT_EQ(song.trace(7, outputOf), (Trace{32, 61, 61, 61, 61, 2, 32}));
    EXPECT_EQ(song.channel().volume, 32);
    EXPECT_EQ(song.channel().tremoloPos, 0u);
}

TEST(Tremolo, RampReaches58) {
    TestSong song = play({{.period = kC6, .sample = 1, .effect = kTremolo, .param = 0x0F, .volume = 0}});
    song.tick();
    song.engine.channels[0].tremoloWave = 1;
    song.engine.channels[0].tremoloPos = 31;
    song.engine.channels[0].tremoloNegative = true;
    song.tick();
    EXPECT_EQ(song.channel().leftVolume, 58);  // 496 x 15 >> 7
}

TEST(Panning, EightBitAndSixteenStepPositions) {
    struct Case {
        uint8_t effect, param;
        int32_t right, left;
    };
    const Case cases[] = {{kSetPanning, 0x00, 0, 1024}, {kSetPanning, 0x40, 512, 512},
                          {kSetPanning, 0x80, 1024, 0}, {kSetPanning, 0xFF, 2040, -1016},
                          {kExtended, 0x80, 0, 1024},   {kExtended, 0x87, 477, 546},
                          {kExtended, 0x8F, 1024, 0}};
    for (const Case& c : cases) {
        TestSong song = playNote(c.effect, c.param);
        song.tick();
        EXPECT_EQ(song.channel().rightPan, c.right) << int(c.param);
        EXPECT_EQ(song.channel().leftPan, c.left) << int(c.param);
        EXPECT_EQ(song.channel().rightVolume, 64 * c.right >> 10) << int(c.param);
    }
    ModuleBuilder mono(1);
    mono.sample().cell(0, 0, 0, {.period = kC6, .sample = 1, .effect = kSetPanning, .param = 0x40});
    TestSong single(mono);
    single.tick();
    EXPECT_EQ(single.channel().leftPan, 1024);  // one channel: panning commands are ignored
}

TEST(SampleOffset, StartsAtParamTimes256WithinTheSample) {
    EXPECT_EQ(playNote(kSampleOffset, 0x02).trace(2, positionOf), (Trace{512, 512}));
    EXPECT_EQ(playNote(kSampleOffset, 0x00).trace(1, positionOf), (Trace{0}));
}

TEST(VolumeSlide, ModStoresBeyond64AndIsHeardBelowIt) {
    TestSong song = play({{.period = kC6, .sample = 1, .effect = kVolumeSlide, .param = 0x40},
                          {.effect = kVolumeSlide, .param = 0x04},
                          {.effect = kVolumeSlide, .param = 0x04}});
    EXPECT_EQ(song.trace(6, volumeOf), (Trace{64, 68, 72, 76, 80, 84}));
    EXPECT_EQ(song.channel().leftVolume, 64);
    EXPECT_EQ(song.trace(6, volumeOf), (Trace{84, 80, 76, 72, 68, 64}));
    EXPECT_EQ(song.channel().leftVolume, 64);
    EXPECT_EQ(song.trace(2, outputOf), (Trace{64, 60}));
}

TEST(VolumeSlide, S3mAndModRules) {
    struct Case {
        uint8_t format, param;
        Trace volumes;
    };
    const Case cases[] = {
        {kFormatS3m, 0xF3, {32, 29, 29, 29, 29, 29}},  // fine down, once
        {kFormatS3m, 0x3F, {32, 35, 35, 35, 35, 35}},  // fine up, once
        {kFormatS3m, 0x32, {32, 30, 28, 26, 24, 22}},  // y wins
        {kFormatS3m, 0xFF, {32, 17, 17, 17, 17, 17}},  // fine down by 15
        {kFormatMod, 0x32, {32, 35, 38, 41, 44, 47}},  // x wins
        {kFormatStm, 0x32, {32, 35, 38, 41, 44, 47}},  // STM follows MOD rules
        {kFormatMod, 0xF3, {32, 47, 62, 77, 92, 107}},
    };
    for (const Case& c : cases) {
        TestSong song = play(
            {{.period = kC6, .sample = 1, .effect = kVolumeSlide, .param = c.param, .volume = 32}}, c.format);
        EXPECT_EQ(song.trace(6, volumeOf), c.volumes) << int(c.format) << " " << int(c.param);
    }
}

TEST(VolumeSlide, ParameterZeroRepeatsUnderS3mOnly) {
    const std::vector<CellFields> rows = {
        {.period = kC6, .sample = 1, .effect = kVolumeSlide, .param = 0x02, .volume = 32},
        {.effect = kVolumeSlide},
        {.effect = kVibratoVolumeSlide}};
    TestSong s3m = play(rows, kFormatS3m);
    s3m.run(18);
    EXPECT_EQ(s3m.channel().volume, 32 - 30);
    TestSong mod = play(rows, kFormatMod);
    mod.run(18);
    EXPECT_EQ(mod.channel().volume, 32 - 10);
}

TEST(FineVolumeSlide, AppliesOnceOnTheFirstEffectTick) {
    const auto rows = [](uint8_t param) {
        return std::vector<CellFields>{
            {.period = kC6, .sample = 1, .effect = kExtended, .param = param, .volume = 32}};
    };
    EXPECT_EQ(play(rows(0xA5)).trace(3, volumeOf), (Trace{32, 37, 37}));
    EXPECT_EQ(play(rows(0xB5)).trace(3, volumeOf), (Trace{32, 27, 27}));
}

TEST(SetVolume, StoresTheParameterAndPlaysAtMost64) {
    TestSong song = playNote(kSetVolume, 0x50);
    song.tick();
    EXPECT_EQ(song.channel().volume, 80);
    EXPECT_EQ(song.channel().leftVolume, 64);
}

TEST(PositionJump, BackwardJumpsNeedLoopsAllowed) {
    for (bool loops : {false, true}) {
        ModuleBuilder song(1);
        song.speed(1).orders({0, 1, 2, 3, 4, 5, 6}).patternCount(6);
        song.cell(5, 0, 0, {.effect = kPositionJump, .param = 0});
        TestSong played(song, 44100, loops);
        played.run(5 * 64 + 2);
        EXPECT_EQ(played.order(), loops ? 0u : 5u) << loops;
        EXPECT_EQ(played.row(), loops ? 0u : 1u) << loops;
    }
    ModuleBuilder song(1);  // two positions ahead counts even without loops
    song.speed(1).orders({0, 1, 2, 3}).patternCount(4).cell(0, 0, 0, {.effect = kPositionJump, .param = 2});
    TestSong played(song, 44100, false);
    played.run(2);
    EXPECT_EQ(played.order(), 2u);
}

TEST(SetFinetune, RetunesTheLastNote) {
    const SampleFields tuned{.baseFrequency = FinetuneTable[3], .finetune = 3};
    TestSong own = playNote(kExtended, 0x53, kFormatMod, tuned);
    own.tick();
    EXPECT_EQ(own.channel().period, 6848 * 8363 / 8529);
    TestSong lower = playNote(kExtended, 0x58, kFormatMod, tuned);
    lower.tick();
    EXPECT_EQ(lower.channel().period, 6848 * 8363 / 7895);
    EXPECT_EQ(lower.channel().step, kStepBase / (6848 * 8363 / 7895));
}

TEST(Retrigger, IntervalFromLowNibbleUnderModAndWholeByteOtherwise) {
    const auto restarts = [](uint8_t effect, uint8_t param, uint8_t format) {
        TestSong song = playNote(effect, param, format);
        Trace started;
        for (int tick = 1; tick <= 6; ++tick) {
            song.engine.channels[0].noteStarted = false;
            song.tick();
            started.push_back(song.channel().noteStarted ? 1 : 0);
        }
        return started;
    };
    EXPECT_EQ(restarts(kRetrigger, 0x12, kFormatMod), (Trace{1, 0, 1, 0, 1, 0}));
    EXPECT_EQ(restarts(kRetrigger, 0x02, kFormatS3m), (Trace{1, 0, 1, 0, 1, 0}));
    EXPECT_EQ(restarts(kRetrigger, 0x12, kFormatS3m), (Trace{1, 0, 0, 0, 0, 0}));  // every 18 ticks
    EXPECT_EQ(restarts(kRetrigger, 0x10, kFormatMod), (Trace{1, 0, 0, 0, 0, 0}));  // interval 0
    EXPECT_EQ(restarts(kExtended, 0x93, kFormatMod), (Trace{1, 0, 0, 1, 0, 0}));
    EXPECT_EQ(restarts(kExtended, 0x93, kFormatStm), (Trace{1, 0, 0, 0, 0, 0}));  // 0x93 ticks
}

TEST(NoteCut, CutsAfterYTicksAndNeverWithZero) {
    EXPECT_EQ(playNote(kExtended, 0xC2).trace(4, volumeOf), (Trace{64, 64, 0, 0}));
    EXPECT_EQ(playNote(kExtended, 0xC0).trace(6, volumeOf), (Trace{64, 64, 64, 64, 64, 64}));
}

TEST(NoteDelay, StartsTheNoteAfterYTicks) {
    TestSong song = play({{.period = kC6, .sample = 1}, {.period = kC7, .effect = kExtended, .param = 0xD2}});
    song.run(6);
    EXPECT_EQ(song.trace(4, periodOf), (Trace{6848, 6848, 3424, 3424}));
    EXPECT_EQ(song.channel().delayedPeriod, 255);

    TestSong lost = play({{.period = kC6, .sample = 1}, {.period = kC7, .effect = kExtended, .param = 0xD0}});
    lost.run(12);
    EXPECT_EQ(lost.channel().period, 6848);
    EXPECT_EQ(lost.channel().delayedPeriod, 3424);
}

TEST(NoteDelay, SwitchesToTheNamedSample) {
    ModuleBuilder song(1);
    song.sample().sample({.baseFrequency = 16726});
    song.rows(
        0, {{.period = kC6, .sample = 1}, {.period = kC6, .sample = 2, .effect = kExtended, .param = 0xD1}});
    TestSong played(song);
    played.run(6);
    EXPECT_EQ(played.trace(2, periodOf), (Trace{6848, 3424}));
    EXPECT_EQ(played.channel().sample, played.sample(2));
    EXPECT_EQ(played.channel().position, 0);
}

TEST(SpeedAndTempo, ModAndS3mRules) {
    TestSong modTempo = playNote(kSetSpeed, 0x20);
    modTempo.tick();
    EXPECT_EQ(modTempo.state().tempo, 32u);
    EXPECT_EQ(modTempo.state().samplesPerTick, 44100u * 25 / 320);
    EXPECT_EQ(modTempo.state().speed, 6u);

    TestSong s3mSpeed = playNote(kSetSpeed, 0x20, kFormatS3m);
    s3mSpeed.tick();
    EXPECT_EQ(s3mSpeed.state().speed, 32u);
    EXPECT_EQ(s3mSpeed.state().tempo, 125u);
    EXPECT_EQ(s3mSpeed.run(31), 31u);
    EXPECT_EQ(s3mSpeed.row(), 0u);  // the row lasts the new 32 ticks
    s3mSpeed.tick();
    EXPECT_EQ(s3mSpeed.row(), 1u);

    TestSong tempo = playNote(kSetTempo, 80);
    tempo.tick();
    EXPECT_EQ(tempo.state().samplesPerTick, 1378u);
    tempo.tick();
    EXPECT_EQ(tempo.state().playTime, 20000u + 31250u);

    TestSong zero = playNote(kSetTempo, 0, kFormatS3m);
    zero.run(2);
    EXPECT_EQ(zero.state().tempo, 125u);
    EXPECT_EQ(zero.state().samplesPerTick, 882u);
}

TEST(UnusedCodes, DoNothing) {
    for (uint8_t code = 18; code <= 25; ++code) {
        TestSong song = playNote(code, 0xFF);
        song.run(6);
        EXPECT_EQ(song.channel().period, 6848);
        EXPECT_EQ(song.channel().volume, 64);
        EXPECT_EQ(song.channel().effect, code);
    }
}

}  // namespace
}  // namespace tarvex::test
