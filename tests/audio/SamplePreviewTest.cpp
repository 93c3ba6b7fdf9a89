// The one-sample preview on a device and a timer driven by hand.
#include <gtest/gtest.h>

#include "StreamRig.h"
#include "audio/SamplePreview.h"
#include "core/PitchTables.h"

namespace tarvex::test {
namespace {

Sample rampSample(uint32_t length, uint32_t loopStart = 0, uint32_t loopEnd = 0) {
    Sample s;
    s.length = length;
    s.volume = 64;
    s.baseFrequency = 8363;
    s.loopStart = loopStart;
    s.loopEnd = loopEnd;
    for (uint32_t i = 0; i < length; ++i) s.data.push_back(static_cast<int16_t>(1000 + 100 * (i % 200)));
    return s;
}

// 16-bit mono values as played.
std::vector<int32_t> values(const std::vector<uint8_t>& bytes) {
    std::vector<int32_t> v;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        v.push_back(static_cast<int16_t>(bytes[i] | (bytes[i + 1] << 8)));
    return v;
}

struct PreviewRig : ManualPlayer {
    explicit PreviewRig(bool queued = false, uint32_t rate = 44100)
        : ManualPlayer(shortSong(), StreamOptions{.rate = rate, .queued = queued}) {}
    SamplePreview preview{player};
    uint32_t seg() const { return player.device.segmentBytes; }
    // One segment of time: the device plays it and the timer looks.
    void pass(uint32_t segments = 1) {
        for (uint32_t i = 0; i < segments * 4; ++i) {
            device->play(seg() / 4);
            timer->fire();
        }
    }
};

TEST(PreviewStep, C6PlaysTheBaseFrequencyAndEachOctaveDoublesIt) {
    struct Case {
        uint32_t baseFrequency, rate;
        const char* note;
        uint32_t step;
    };
    const Case cases[] = {
        {8363, 44100, "C-6", 194},    // 8363 / 44100 of a frame per frame
        {8363, 44100, "C-7", 388},    // one octave up
        {8363, 44100, "C-5", 97},     // one octave down
        {44100, 44100, "C-6", 1024},  // a sample at the output rate: one frame per frame
        {8363, 8000, "A-6", 1803},    // 8363 * 428 / 8000 * 1024 / 254 = 1803.8
        {0, 44100, "C-6", 0},
    };
    for (const Case& c : cases) {
        uint32_t period = 0;
        for (const PeriodEntry& e : PeriodTable) {
            if (std::string_view(e.name) == c.note) period = e.period;
        }
        EXPECT_EQ(previewStep(c.baseFrequency, c.rate, period), c.step) << c.note << " at " << c.rate;
    }
    EXPECT_EQ(previewStep(8363, 44100, 0), 0u);
    EXPECT_EQ(previewStep(4000000000u, 8000, 14), 0xFFFFFFFFu);  // 1.6e10 saturates
}

TEST(PreviewRender, AdvancesFirstThenPlaysAtHalfScaleForVolume64) {
    PreviewRig rig;
    Sample s = rampSample(4000);
    s.baseFrequency = 44100;  // step 1024 at C-6: one sample frame per output frame
    rig.player.settings.ISP = false;
    ASSERT_TRUE(rig.preview.startPreview(s, 428).empty());
    const auto v = values(rig.ringSegment(0));
    // frame: sample frame played after advancing: value (s << 12) * 64 / 128 >> 4 >> 8 = s / 2
    EXPECT_EQ(v[0], s.data[1] / 2);
    EXPECT_EQ(v[1], s.data[2] / 2);
    EXPECT_EQ(v[9], s.data[10] / 2);

    // With ISP, interpolation by the fraction and the one-pole smoothing: step 512.
    PreviewRig smooth;
    s.baseFrequency = 22050;
    ASSERT_TRUE(smooth.preview.startPreview(s, 428).empty());
    const auto w = values(smooth.ringSegment(0));
    const int64_t d0 = int64_t{s.data[0]} << 12, d1 = int64_t{s.data[1]} << 12;
    const int64_t f0 = (d0 + ((d1 - d0) * 512) / 1024) >> 1;  // frame 0: position 0, fraction 512
    const int64_t f1 = (d1 + f0) >> 1;                        // frame 1: position 1, fraction 0
    EXPECT_EQ(w[0], static_cast<int16_t>(((f0 * 64 / 128) >> 4) >> 8));
    EXPECT_EQ(w[1], static_cast<int16_t>(((f1 * 64 / 128) >> 4) >> 8));
}

TEST(PreviewEnd, AShortSampleIsHeardToItsLastFrameAndThenStops) {
    // 100 frames at step 194: frames 0-526 sound, in frame 527 the sample runs out. The ring kind
    // stops as soon as its cursor has passed that frame; the queued kind at the fill request one
    // revolution after the one in which the sample ran out.
    struct Case {
        bool queued;
        uint32_t segmentsToStop;  // of time passed
        uint32_t framesHeard;     // 0: the segments passed
    };
    const Case cases[] = {{false, 1, 528}, {true, 2, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.queued ? "queued" : "ring");
        PreviewRig rig(c.queued);
        const Sample s = rampSample(100);  // 528 frames at step 194, half a segment
        ASSERT_TRUE(rig.preview.startPreview(s, 428).empty());
        // It ran out during the first fill request, index 1; requests 2 to 7 rendered silence.
        EXPECT_EQ(rig.preview.endSegment(), 1u);
        EXPECT_EQ(rig.preview.lastSegment(), 7u);
        EXPECT_FALSE(rig.preview.stopped());

        // Queued: the first notification asks for 0 after buffer 0 has played, and 1, which
        // stops, after buffer 1.
        for (uint32_t i = 0; i < c.segmentsToStop; ++i) {
            EXPECT_FALSE(rig.preview.stopped()) << "segment " << i;
            rig.pass(1);
        }
        EXPECT_TRUE(rig.preview.stopped());
        EXPECT_EQ(rig.preview.endSegment(), kNoEndSegment);
        EXPECT_FALSE(rig.device->running());
        // The ring kind's next timer event closes the device; the queued one stays open, paused.
        rig.timer->fire();
        EXPECT_EQ(rig.player.device.isOpen(), c.queued);
        EXPECT_FALSE(rig.timer->running);

        // Heard once: every frame of the sound, then silence to the end of what was played.
        const auto v = values(rig.device->played);
        ASSERT_EQ(v.size(), c.framesHeard != 0 ? c.framesHeard : c.segmentsToStop * rig.seg() / 2);
        for (size_t i = 0; i < 527; ++i) ASSERT_NE(v[i], 0) << "frame " << i;
        for (size_t i = 527; i < v.size(); ++i) ASSERT_EQ(v[i], 0) << "frame " << i;
        rig.preview.stopPreview();
        EXPECT_FALSE(rig.player.device.isOpen());
    }
}

TEST(PreviewEnd, ALoopedSamplePlaysUntilStopped) {
    for (bool queued : {false, true}) {
        SCOPED_TRACE(queued ? "queued" : "ring");
        PreviewRig rig(queued);
        const Sample s = rampSample(400, 100, 400);
        ASSERT_TRUE(rig.preview.startPreview(s, 214).empty());
        rig.pass(40);  // five ring revolutions
        EXPECT_FALSE(rig.preview.stopped());
        EXPECT_EQ(rig.preview.endSegment(), kNoEndSegment);
        const auto v = values(rig.device->played);
        ASSERT_EQ(v.size(), 40u * rig.seg() / 2);
        for (size_t i = 0; i < v.size(); i += 97) ASSERT_NE(v[i], 0) << "frame " << i;

        EXPECT_TRUE(rig.preview.stopPreview().empty());
        EXPECT_TRUE(rig.preview.stopped());
        EXPECT_FALSE(rig.player.device.isOpen());
        EXPECT_FALSE(rig.timer->running);
    }
}

TEST(PreviewStart, PlayOnceAgainRestartsFromFrameZero) {
    PreviewRig rig;
    const Sample s = rampSample(20000);
    ASSERT_TRUE(rig.preview.startPreview(s, 428).empty());
    rig.pass(3);
    const auto first = rig.device->played;
    ASSERT_TRUE(rig.preview.startPreview(s, 428).empty());
    EXPECT_EQ(rig.device->opens, 2);
    EXPECT_EQ(rig.device->closes, 1);
    rig.device->played.clear();
    rig.pass(3);
    EXPECT_EQ(rig.device->played, first);
}

TEST(PreviewStart, DoesNothingWhileTheMainPlayerOwnsTheDeviceOrWithoutData) {
    PreviewRig rig;
    ASSERT_TRUE(startPlayback(rig.player).empty());
    const Sample s = rampSample(1000);
    EXPECT_TRUE(rig.preview.startPreview(s, 428).empty());
    EXPECT_EQ(rig.device->opens, 1);
    EXPECT_TRUE(rig.preview.stopped());
    // Its stop leaves the main player's device alone.
    rig.preview.stopPreview();
    EXPECT_TRUE(rig.player.device.isOpen());
    stopPlayback(rig.player);

    const Sample empty;
    EXPECT_TRUE(rig.preview.startPreview(empty, 428).empty());
    EXPECT_EQ(rig.device->opens, 1);
}

TEST(PreviewStart, FailuresReportTheDeviceKindsMessages) {
    for (const StartFailureCase& c : kStartFailureCases) {
        PreviewRig rig(c.queued);
        rig.device->failOpen = c.failOpen;
        rig.device->failBuffers = !c.failOpen;
        const Sample s = rampSample(1000);
        EXPECT_EQ(rig.preview.startPreview(s, 428), c.message);
        EXPECT_TRUE(rig.preview.stopped());
        EXPECT_FALSE(rig.player.device.isOpen());
        EXPECT_FALSE(rig.timer->running);
    }
}

// Bytes the preview played, over a spread of samples, notes and options, as FNV-1a hashes of what
// the device took in 24 segments (three ring revolutions) and the end mark left behind. Recorded
// from the preview's own render loop before it was moved onto the mixer's kernels: any change of
// a single byte shows here. Where a sample without loop ends on the ring kind, the device stops
// once the frame in which it ran out has been played; the bytes recorded then were these and the
// silence up to the end of that segment.
uint64_t fnv1a(const std::vector<uint8_t>& bytes) {
    uint64_t h = 0xcbf29ce484222325ull;
    for (const uint8_t b : bytes) h = (h ^ b) * 0x100000001b3ull;
    return h;
}

Sample noiseSample(uint32_t length, uint32_t loopStart, uint32_t loopEnd, uint32_t volume,
                   uint32_t baseFrequency) {
    Sample s;
    s.length = length;
    s.volume = volume;
    s.baseFrequency = baseFrequency;
    s.loopStart = loopStart;
    s.loopEnd = loopEnd;
    uint32_t x = 12345;
    for (uint32_t i = 0; i < length; ++i) {
        x = x * 1103515245u + 12345u;
        s.data.push_back(static_cast<int16_t>(x >> 16));  // the full signed range
    }
    return s;
}

TEST(PreviewBytes, MatchTheRecordedOutput) {
    struct Case {
        const char* what;
        uint32_t length, loopStart, loopEnd, volume, baseFrequency, dataLength;
        uint32_t period, rate, bits;
        bool isp, queued;
        uint64_t hash;
        uint32_t endSegment;
        bool stopped;
    };
    const Case cases[] = {
        {"plain", 3000, 0, 0, 64, 8363, 3000, 428, 44100, 16, true, false, 0xe96767a517394922ull,
         kNoEndSegment, true},
        {"plain, ISP off", 3000, 0, 0, 64, 8363, 3000, 428, 44100, 16, false, false, 0xedde8204de78a9a4ull,
         kNoEndSegment, true},
        {"quiet, 8-bit", 3000, 0, 0, 37, 8363, 3000, 214, 22050, 8, true, false, 0x1472aea5fa3697aaull,
         kNoEndSegment, true},
        {"24-bit queued", 3000, 0, 0, 50, 8363, 3000, 856, 48000, 24, true, true, 0xa3d66e7407c28016ull, 5,
         false},
        {"looped", 2000, 500, 2000, 64, 8363, 2000, 428, 44100, 16, true, false, 0xea3b998263baec12ull,
         kNoEndSegment, false},
        {"looped, 8-bit queued", 2000, 500, 2000, 63, 8363, 2000, 107, 8000, 8, false, true,
         0xa39a1abde49531d9ull, kNoEndSegment, false},
        {"tight loop, high note", 64, 10, 12, 64, 8363, 64, 14, 8000, 16, true, false, 0x63adf3bdeee54300ull,
         kNoEndSegment, false},
        {"loop end past the data", 1000, 100, 1200, 64, 8363, 1000, 428, 44100, 16, true, false,
         0xefcb59d21c21552cull, kNoEndSegment, true},
        {"loop start at its end", 1000, 700, 700, 64, 8363, 1000, 428, 44100, 24, true, false,
         0x49cbbed5266e6f66ull, kNoEndSegment, true},
        {"length past the data", 5000, 0, 0, 64, 8363, 700, 428, 44100, 16, true, true, 0xfce225ea4853f649ull,
         kNoEndSegment, true},
        {"one frame", 1, 0, 0, 64, 8363, 1, 428, 44100, 16, true, false, 0x8efcbc2b3dc7b6deull, kNoEndSegment,
         true},
        {"step 0", 300, 0, 0, 64, 8363, 300, 27392, 192000, 16, true, false, 0x590367baefe6cac4ull,
         kNoEndSegment, false},
        {"low note", 100, 0, 0, 64, 8363, 100, 13696, 8000, 16, true, false, 0x5f773d2224941d6full,
         kNoEndSegment, true},
        {"fast sample", 20000, 0, 0, 64, 44100, 20000, 428, 11025, 16, true, false, 0x78a6e435ab9d4bf3ull,
         kNoEndSegment, true},
        {"saturated step, looped", 900, 0, 900, 64, 4000000000u, 900, 14, 8000, 16, true, false,
         0xbcf16531b8f0a36full, kNoEndSegment, false},
        {"saturated step", 900, 0, 0, 64, 4000000000u, 900, 14, 8000, 8, true, true, 0x0c147f077c8b1e65ull,
         kNoEndSegment, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ManualPlayer rig(shortSong(), StreamOptions{.rate = c.rate, .bits = c.bits, .queued = c.queued});
        rig.player.settings.ISP = c.isp;
        SamplePreview preview(rig.player);
        Sample s = noiseSample(c.dataLength, c.loopStart, c.loopEnd, c.volume, c.baseFrequency);
        s.length = c.length;
        ASSERT_TRUE(preview.startPreview(s, c.period).empty());
        const uint32_t quarter = rig.player.device.segmentBytes / 4;
        for (uint32_t i = 0; i < 24 * 4; ++i) {
            rig.device->play(quarter);
            rig.timer->fire();
        }
        EXPECT_EQ(fnv1a(rig.device->played), c.hash) << std::hex << "0x" << fnv1a(rig.device->played);
        EXPECT_EQ(preview.endSegment(), c.endSegment);
        EXPECT_EQ(preview.stopped(), c.stopped);
    }
}

}  // namespace
}  // namespace tarvex::test
