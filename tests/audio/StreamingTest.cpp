// The segment ring protocol on a device and a timer driven by hand: sizing, the first fills, the
// first notification or timer event of each kind, pause, the end of a song, and failures.
#include <gtest/gtest.h>

#include "StreamRig.h"
#include "audio/Mixer.h"
#include "audio/OutputDevice.h"

namespace tarvex::test {
namespace {

TEST(SegmentSize, FollowsBytesPerSecondAndRoundsUpToEightAndFrame) {
    struct Case {
        uint32_t rate, bits, channels, bufferLength, bytes;
    };
    const Case cases[] = {
        {8000, 8, 1, 120, 120},         // 8000 x 120 / 8 / 1000: already whole
        {44100, 16, 2, 250, 5512},      // 31.25 ms before the first play: 1378 frames
        {44100, 16, 2, 200, 4416},      // 4410 -> 4416
        {44100, 24, 2, 200, 6618},      // 6615 -> 6616 -> a multiple of 6
        {22050, 24, 1, 120, 993},       // 992.25 -> 992 -> a multiple of 3
        {11025, 8, 1, 120, 168},        // 165 -> 168
        {192000, 24, 2, 2000, 288000},  // the largest: 250 ms at 192 kHz, 24-bit stereo
    };
    for (const Case& c : cases) {
        const PcmFormat format{c.rate, c.bits, c.channels};
        EXPECT_EQ(segmentBytesFor(format, c.bufferLength), c.bytes) << c.rate << " Hz " << c.bits << " bits";
        // The mixer sizes its level arrays from the same cut.
        EXPECT_EQ(segmentFramesFor(c.rate, c.bits, c.channels, c.bufferLength) * format.blockAlign(),
                  c.bytes);
    }
}

TEST(QueuedStart, QueuesSevenSegmentsThenRefillsTheIdleOneOnEachNotification) {
    const StreamOptions options{.queued = true};
    ManualPlayer rig(shortSong(), options);
    ASSERT_TRUE(startPlayback(rig.player).empty());
    const uint32_t seg = rig.player.device.segmentBytes;
    const auto reference = referenceRender(shortSong(), options);

    EXPECT_EQ(rig.player.device.lastSegment.load(), 7u);
    EXPECT_FALSE(rig.player.outputStopped.load());
    EXPECT_TRUE(rig.device->running());
    EXPECT_FALSE(rig.timer->running);  // the queued kind has no timer
    for (uint32_t k = 0; k < 8; ++k) EXPECT_EQ(rig.device->isQueued(k), k < 7) << "header " << k;

    // The first notification (header 0 played) moves lastSegment from 7 to 0 and queues header 7.
    rig.device->play(seg);
    EXPECT_EQ(rig.player.device.lastSegment.load(), 0u);
    EXPECT_FALSE(rig.device->isQueued(0));
    EXPECT_TRUE(rig.device->isQueued(7));
    // The next one refills header 0, which had finished a notification earlier.
    rig.device->play(seg);
    EXPECT_EQ(rig.player.device.lastSegment.load(), 1u);
    EXPECT_TRUE(rig.device->isQueued(0));
    EXPECT_FALSE(rig.device->isQueued(1));

    // What the device played is the song from its first frame, segment after segment.
    rig.device->play(10 * seg);
    ASSERT_EQ(rig.device->played.size(), 12u * seg);
    EXPECT_EQ(rig.device->played, slice(reference, 0, 12u * seg));
}

TEST(RingStart, RendersSegmentsZeroToSixAndTheFirstTimerEventFillsSegmentSeven) {
    ManualPlayer rig(shortSong());
    ASSERT_TRUE(startPlayback(rig.player).empty());
    const uint32_t seg = rig.player.device.segmentBytes;
    const auto reference = referenceRender(shortSong(), {});

    EXPECT_EQ(rig.player.device.lastSegment.load(), 7u);
    EXPECT_TRUE(rig.timer->running);
    for (uint32_t k = 0; k < 7; ++k) EXPECT_EQ(rig.ringSegment(k), slice(reference, k * seg, seg)) << k;
    EXPECT_EQ(rig.ringSegment(7), std::vector<uint8_t>(seg, 0));

    // Cursor in segment 0 while lastSegment is 7: segment 7 is rendered at once.
    rig.timer->fire();
    EXPECT_EQ(rig.player.device.lastSegment.load(), 0u);
    EXPECT_EQ(rig.ringSegment(7), slice(reference, 7 * seg, seg));
    // While the cursor stays in segment 0 the timer finds nothing to do.
    rig.device->play(seg - 4);
    rig.timer->fire();
    EXPECT_EQ(rig.player.device.lastSegment.load(), 0u);
    // Entering segment 1 refills segment 0, the one the cursor has just left.
    rig.device->play(4);
    rig.timer->fire();
    EXPECT_EQ(rig.player.device.lastSegment.load(), 1u);
    EXPECT_EQ(rig.ringSegment(0), slice(reference, 8 * seg, seg));
}

TEST(RingEnd, PlaysTheSongGaplesslyToItsLastFrameAndStopsItself) {
    struct Case {
        const char* name;
        uint32_t rows;          // of the short song, 2 ticks each
        uint32_t bufferLength;  // eighths of a millisecond
        bool playsPastTheEnd;   // the device cannot stop exactly at the end
    };
    const Case cases[] = {
        {"ends a revolution after the start", 25, 200, false},
        {"ends within the first 7 segments", 3, 200, false},
        {"ends on a segment boundary (one tick a segment)", 25, 160, false},
        {"a device that plays on past the end", 25, 200, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const StreamOptions options{.bufferLength = c.bufferLength};
        ManualPlayer rig(shortSong(c.rows), options);
        rig.device->playsPastTheEnd = c.playsPastTheEnd;
        ASSERT_TRUE(startPlayback(rig.player).empty());
        const uint32_t seg = rig.player.device.segmentBytes;
        const auto reference = referenceRender(shortSong(c.rows), options);
        ASSERT_EQ(reference.size() % seg != 0, c.bufferLength != 160);

        // Quarter segments, one timer event after each, until the timer's stop.
        int events = 0;
        while (!rig.player.outputStopped.load() && events < 100000) {
            rig.device->play(seg / 4);
            rig.timer->fire();
            ++events;
        }
        ASSERT_TRUE(rig.player.outputStopped.load());
        EXPECT_TRUE(rig.player.playbackFinished.load());
        EXPECT_FALSE(rig.timer->running);
        EXPECT_EQ(rig.device->closes, 1);
        // Everything played is the song, and all of it. A device that stops at the end has played
        // exactly that; one that plays on has taken what came after it until the timer's event.
        const auto& played = rig.device->played;
        if (c.playsPastTheEnd) {
            ASSERT_GT(played.size(), reference.size());
            EXPECT_LE(played.size(), reference.size() + seg / 4);
            EXPECT_TRUE(slice(played, 0, reference.size()) == reference);
        } else {
            EXPECT_TRUE(played == reference) << played.size() << " bytes played of " << reference.size();
        }
        // The stop on the timer's thread leaves the mixer's buffers to the owner's next stop.
        EXPECT_NE(rig.player.mix.levelLeft, nullptr);
        stopPlayback(rig.player);
        EXPECT_EQ(rig.player.mix.levelLeft, nullptr);
        EXPECT_EQ(rig.device->closes, 1);
    }
}

TEST(RingStart, ALateTimerEventRefillsEverySegmentTheCursorCrossed) {
    ManualPlayer rig(shortSong());
    ASSERT_TRUE(startPlayback(rig.player).empty());
    const uint32_t seg = rig.player.device.segmentBytes;
    const auto reference = referenceRender(shortSong(), {});
    rig.timer->fire();
    rig.device->play(3 * seg + seg / 2);  // three segments pass without a timer event
    rig.timer->fire();
    EXPECT_EQ(rig.player.device.lastSegment.load(), 3u);
    for (uint32_t k = 0; k < 3; ++k) EXPECT_EQ(rig.ringSegment(k), slice(reference, (8 + k) * seg, seg)) << k;
    for (int i = 0; i < 30; ++i) {
        rig.device->play(seg / 4);
        rig.timer->fire();
    }
    EXPECT_EQ(rig.device->played, slice(reference, 0, rig.device->played.size()));
}

TEST(RingPause, FillsNothingWhilePausedAndGoesOnWhereTheCursorStood) {
    ManualPlayer rig(shortSong());
    ASSERT_TRUE(startPlayback(rig.player).empty());
    const uint32_t seg = rig.player.device.segmentBytes;
    const auto reference = referenceRender(shortSong(), {});
    rig.timer->fire();
    rig.device->play(seg + seg / 2);
    rig.timer->fire();
    ASSERT_EQ(rig.player.device.lastSegment.load(), 1u);

    rig.player.device.pauseDevice();
    const auto before = rig.ringSegment(1);
    for (int i = 0; i < 50; ++i) {
        rig.device->play(seg);  // time passes, the cursor stands
        rig.timer->fire();
    }
    EXPECT_EQ(rig.player.device.playingSegment(), 1u);
    EXPECT_EQ(rig.player.device.lastSegment.load(), 1u);
    EXPECT_EQ(rig.ringSegment(1), before);

    rig.player.device.resumeDevice();
    for (int i = 0; i < 40; ++i) {
        rig.device->play(seg / 4);
        rig.timer->fire();
    }
    EXPECT_EQ(rig.device->played, slice(reference, 0, rig.device->played.size()));
    EXPECT_EQ(rig.device->played.size(), 11u * seg + seg / 2);
}

TEST(QueuedEnd, KeepsSoundingAfterTheSongUntilStoppedAndThenDrains) {
    const StreamOptions options{.queued = true};
    ManualPlayer rig(shortSong(), options);
    ASSERT_TRUE(startPlayback(rig.player).empty());
    const uint32_t seg = rig.player.device.segmentBytes;
    while (!rig.player.playbackFinished.load()) rig.device->play(seg);
    for (int i = 0; i < 20; ++i) rig.device->play(seg);
    EXPECT_FALSE(rig.player.outputStopped.load());
    const size_t beforeStop = rig.device->played.size();

    stopPlayback(rig.player);
    // The 7 queued segments played out before the device closed.
    EXPECT_EQ(rig.device->played.size(), beforeStop + 7u * seg);
    EXPECT_TRUE(rig.player.outputStopped.load());
    EXPECT_EQ(rig.device->closes, 1);
    // All of it is the song and then its channels as they stood, with no further ticks.
    const auto reference = referenceRender(shortSong(), options, rig.device->played.size());
    EXPECT_EQ(rig.device->played, slice(reference, 0, rig.device->played.size()));
}

TEST(StopAndRestart, StopWhileIdleIsHarmlessAndStartWhilePlayingBeginsAgain) {
    for (bool queued : {false, true}) {
        SCOPED_TRACE(queued ? "queued" : "ring");
        const StreamOptions options{.queued = queued};
        ManualPlayer rig(shortSong(), options);
        stopPlayback(rig.player);
        stopPlayback(rig.player);
        EXPECT_EQ(rig.device->opens, 0);
        EXPECT_TRUE(rig.player.outputStopped.load());
        EXPECT_TRUE(rig.player.playbackFinished.load());

        ASSERT_TRUE(startPlayback(rig.player).empty());
        const uint32_t seg = rig.player.device.segmentBytes;
        for (int i = 0; i < 12; ++i) {
            rig.device->play(seg / 2);
            rig.timer->fire();
        }
        ASSERT_TRUE(startPlayback(rig.player).empty());
        EXPECT_EQ(rig.device->opens, 2);
        EXPECT_EQ(rig.device->closes, 1);
        EXPECT_EQ(rig.timer->running, !queued);
        // After the restart the device plays the song from frame 0 again.
        rig.device->played.clear();
        for (int i = 0; i < 6; ++i) {
            rig.device->play(seg / 2);
            rig.timer->fire();
        }
        const auto reference = referenceRender(shortSong(), options);
        EXPECT_EQ(rig.device->played, slice(reference, 0, 3u * seg));
    }
}

TEST(StartFailure, ReportsOneMessageAndLeavesNothingRunning) {
    for (const StartFailureCase& c : kStartFailureCases) {
        SCOPED_TRACE(c.message);
        const StreamOptions options{.queued = c.queued};
        ManualPlayer rig(shortSong(), options);
        rig.device->failOpen = c.failOpen;
        rig.device->failBuffers = !c.failOpen;
        EXPECT_EQ(startPlayback(rig.player), c.message);
        EXPECT_FALSE(rig.player.device.isOpen());
        EXPECT_FALSE(rig.timer->running);
        EXPECT_TRUE(rig.player.outputStopped.load());
        EXPECT_TRUE(rig.player.playbackFinished.load());
        EXPECT_EQ(rig.device->closes, c.failOpen ? 0 : 1);
    }
}

TEST(StartPlayback, WithoutAModuleStartsNothing) {
    ManualPlayer rig(shortSong());
    rig.player.freeModule();
    EXPECT_TRUE(startPlayback(rig.player).empty());
    EXPECT_EQ(rig.device->opens, 0);
    EXPECT_TRUE(rig.player.outputStopped.load());
}

}  // namespace
}  // namespace tarvex::test
