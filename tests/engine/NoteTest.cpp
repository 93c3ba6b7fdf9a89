// The row tick of a channel: note start, sample switching, note off, volume column, bad numbers.
#include <gtest/gtest.h>

#include "engine/Effects.h"
#include "support/ModuleBuilder.h"

namespace tarvex::test {
namespace {

constexpr uint32_t kC6 = 428;  // plays a sample at its base frequency
constexpr uint32_t kC7 = 214;

ModuleBuilder twoSamples(uint32_t channels = 2) {
    ModuleBuilder song(channels);
    song.speed(1).sample({.volume = 48}).sample({.volume = 32, .baseFrequency = 16726});
    return song;
}

TEST(NoteStart, PeriodStepVolumeAndPosition) {
    ModuleBuilder song = twoSamples();
    song.cell(0, 0, 0, {.period = kC6, .sample = 1});
    song.cell(0, 0, 1, {.period = kC6, .sample = 2});
    TestSong played(song);
    played.tick();
    const ChannelState& left = played.channel(0);
    EXPECT_EQ(left.sample, played.sample(1));
    EXPECT_EQ(left.notePeriod, 6848);
    EXPECT_EQ(left.period, 6848);
    EXPECT_EQ(left.step, 194u);
    EXPECT_EQ(left.noteInOctave, 0);
    EXPECT_EQ(left.octave, 6);
    EXPECT_EQ(left.position, 0);
    EXPECT_TRUE(left.noteStarted);
    EXPECT_EQ(left.volume, 48);
    EXPECT_EQ(left.leftVolume, 48);
    EXPECT_EQ(left.rightVolume, 0);
    const ChannelState& right = played.channel(1);  // twice the base frequency: half the period
    EXPECT_EQ(right.period, 3424);
    EXPECT_EQ(right.step, 388u);
    EXPECT_EQ(right.rightVolume, 32);
}

TEST(NoteStart, SampleNumberAloneSetsVolumeAndTheNextNoteSwitches) {
    ModuleBuilder song = twoSamples();
    song.rows(0, {{.period = kC6, .sample = 1}, {.sample = 2}, {.period = kC6}});
    TestSong played(song);
    played.tick();
    played.mutableChannel(0).position = 700;
    played.tick();
    EXPECT_EQ(played.channel(0).volume, 32);
    EXPECT_EQ(played.channel(0).sample, played.sample(1));
    EXPECT_EQ(played.channel(0).position, 700);
    played.tick();
    EXPECT_EQ(played.channel(0).sample, played.sample(2));
    EXPECT_EQ(played.channel(0).period, 3424);
    EXPECT_EQ(played.channel(0).position, 0);
}

TEST(NoteStart, EmptySlotAndUnknownSampleNumberKeepThePlayingSample) {
    ModuleBuilder song(1);
    song.speed(1).sample({.volume = 48}).sample({.volume = 20, .baseFrequency = 0});
    // Row 1 names an empty slot, row 2 a number beyond the two samples.
    song.rows(0, {{.period = kC6, .sample = 1}, {.sample = 2}, {.period = kC7, .sample = 3}});
    TestSong played(song);
    played.tick();
    played.mutableChannel(0).volume = 21;
    played.tick();
    EXPECT_EQ(played.channel(0).pendingSample, nullptr);
    EXPECT_EQ(played.channel(0).volume, 21);
    played.mutableChannel(0).position = 900;
    played.tick();
    EXPECT_EQ(played.channel(0).pendingSample, nullptr);
    EXPECT_EQ(played.channel(0).volume, 21);
    EXPECT_EQ(played.channel(0).sample, played.sample(1));
    EXPECT_EQ(played.channel(0).period, 3424);
    EXPECT_EQ(played.channel(0).position, 0);
}

TEST(NoteStart, NoteWithoutSampleIsSilent) {
    ModuleBuilder song = twoSamples();
    song.cell(0, 0, 0, {.period = kC6});
    TestSong played(song);
    played.mutableChannel(0).step = 55;
    played.tick();
    EXPECT_EQ(played.channel(0).sample, nullptr);
    EXPECT_EQ(played.channel(0).step, 0u);
    EXPECT_EQ(played.channel(0).notePeriod, 6848);
}

TEST(NoteStart, NoteOffSilencesAndIgnoresEffectAndVolumeColumn) {
    ModuleBuilder song = twoSamples();
    song.rows(0, {{.period = kC6, .sample = 1},
                  {.period = kNoteOff, .sample = 2, .effect = kSetVolume, .param = 0x30, .volume = 40}});
    TestSong played(song);
    played.run(2);
    const ChannelState& channel = played.channel(0);
    EXPECT_EQ(channel.pendingSample, played.sample(2));  // the sample number still counts
    EXPECT_EQ(channel.volume, 0);
    EXPECT_EQ(channel.leftVolume, 0);
    EXPECT_EQ(channel.effect, 0);
    EXPECT_EQ(channel.param, 0);
    EXPECT_EQ(channel.sample, played.sample(1));
}

TEST(NoteStart, VolumeColumnOverridesTheDefaultVolume) {
    ModuleBuilder song = twoSamples();
    song.rows(0, {{.period = kC6, .sample = 1, .volume = 20}, {.volume = 0}, {.volume = 64}});
    TestSong played(song);
    EXPECT_EQ(played.trace(3, [](const ChannelState& c) { return c.volume; }),
              (std::vector<int64_t>{20, 0, 64}));
}

TEST(NoteStart, TonePortamentoNoteNeitherRestartsNorRetunes) {
    ModuleBuilder song = twoSamples();
    song.speed(2).rows(0, {{.period = kC6, .sample = 1},
                           {.period = kC7, .effect = kTonePorta, .param = 0x10},
                           {.period = kC7, .sample = 2, .effect = kTonePorta}});
    TestSong played(song);
    played.run(2);
    played.mutableChannel(0).position = 500;
    played.mutableChannel(0).noteStarted = false;
    played.tick();  // row 1: the note only sets the slide's target
    EXPECT_EQ(played.channel(0).period, 6848);
    EXPECT_EQ(played.channel(0).position, 500);
    EXPECT_FALSE(played.channel(0).noteStarted);
    played.tick();
    EXPECT_EQ(played.channel(0).period, 6592);
    played.tick();  // row 2 names another sample: switched in from frame 0 at the old period
    EXPECT_EQ(played.channel(0).sample, played.sample(2));
    EXPECT_EQ(played.channel(0).position, 0);
    EXPECT_TRUE(played.channel(0).noteStarted);
    EXPECT_EQ(played.channel(0).period, 6592);
}

TEST(NoteStart, SampleOffsetNoteLeavesThePositionToTheEffect) {
    ModuleBuilder song = twoSamples();
    song.rows(0, {{.period = kC6, .sample = 1}, {.period = kC7, .effect = kSampleOffset, .param = 0x20}});
    TestSong played(song);
    played.tick();
    played.mutableChannel(0).position = 1234;
    played.tick();  // 0x20 * 256 = 8192 lies past the 4000 frames: the position stays
    EXPECT_EQ(played.channel(0).period, 3424);
    EXPECT_EQ(played.channel(0).step, 388u);
    EXPECT_EQ(played.channel(0).position, 1234);
}

}  // namespace
}  // namespace tarvex::test
