// Playing through the capture device on real threads: what it recorded is exactly what an offline
// render writes, for both kinds, also across pause and resume; and start, stop, pause and preview
// in quick succession leave no thread behind (these tests also run under ThreadSanitizer).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

#include "audio/SamplePreview.h"
#include "audio/StreamRig.h"
#include "audio/devices/NullDevice.h"
#include "support/Corpus.h"

namespace tarvex::test {
namespace {

using namespace std::chrono_literals;

bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = 15s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

struct CaptureRig {
    CaptureRig(const ModuleBuilder& song, const StreamOptions& options, const std::string& name)
        : path(writeTempFile(name, {})) {
        player.device.backend = std::make_unique<CaptureDevice>(path.string());
        player.module = song.build();
        applyOptions(player, options);
    }
    std::filesystem::path path;
    Player player;
};

// Plays the short song to its end (the queued kind: and on for a while, since it keeps sounding);
// a pause of 150 ms in the middle when asked.
std::vector<uint8_t> playToEnd(CaptureRig& rig, bool pauseInTheMiddle) {
    EXPECT_TRUE(startPlayback(rig.player).empty());
    if (pauseInTheMiddle) {
        std::this_thread::sleep_for(400ms);
        rig.player.device.pauseDevice();
        std::this_thread::sleep_for(20ms);
        const uint32_t segment = rig.player.device.lastSegment.load();
        std::this_thread::sleep_for(150ms);
        EXPECT_EQ(rig.player.device.lastSegment.load(), segment) << "a segment was filled while paused";
        rig.player.device.resumeDevice();
    }
    if (rig.player.settings.UseWaveOut) {
        EXPECT_TRUE(waitFor([&] { return rig.player.playbackFinished.load(); }));
        std::this_thread::sleep_for(150ms);
        EXPECT_FALSE(rig.player.outputStopped.load()) << "the queued kind stopped by itself";
    } else {
        EXPECT_TRUE(waitFor([&] { return rig.player.outputStopped.load(); }));
    }
    stopPlayback(rig.player);
    return wavData(rig.path);
}

TEST(CaptureStream, RingKindRecordsTheWholeRenderAndStopsItself) {
    // 25 ms segments, and 250 ms ones, where the whole song fits into the first 7 segments.
    for (uint32_t bufferLength : {200u, 2000u}) {
        for (bool pause : {false, true}) {
            SCOPED_TRACE(std::to_string(bufferLength / 8) +
                         (pause ? " ms, with a pause" : " ms, straight through"));
            const StreamOptions options{.bufferLength = bufferLength};
            CaptureRig rig(shortSong(), options, "ring.wav");
            const auto captured = playToEnd(rig, pause);
            const auto reference = referenceRender(shortSong(), options);
            EXPECT_EQ(captured.size(), reference.size());
            EXPECT_TRUE(captured == reference) << "capture differs from the render";
        }
    }
}

TEST(CaptureStream, QueuedKindRecordsTheRenderAndGoesOnSoundingUntilStopped) {
    for (uint32_t bufferLength : {120u, 2000u}) {
        for (bool pause : {false, true}) {
            SCOPED_TRACE(std::to_string(bufferLength / 8) +
                         (pause ? " ms, with a pause" : " ms, straight through"));
            const StreamOptions options{
                .bits = 24, .channels = 1, .bufferLength = bufferLength, .queued = true};
            CaptureRig rig(shortSong(), options, "queued.wav");
            const auto captured = playToEnd(rig, pause);
            const auto song = referenceRender(shortSong(), options);
            ASSERT_GT(captured.size(), song.size());
            // Past the song's end the channels go on as they stood; the stop drained every buffer.
            const auto reference = referenceRender(shortSong(), options, captured.size());
            EXPECT_TRUE(captured == slice(reference, 0, captured.size()))
                << "capture differs from the render";
            const uint32_t seg =
                segmentBytesFor({options.rate, options.bits, options.channels}, bufferLength);
            EXPECT_EQ(captured.size() % seg, 0u);
        }
    }
}

TEST(CaptureStream, QuickStartsStopsPausesAndPreviewsLeaveNothingRunning) {
    const ModuleBuilder song = shortSong();
    Player player;
    player.device.backend = std::make_unique<NullDevice>();
    player.module = song.build();
    const Sample& sample = player.module->samples.at(0);
    SamplePreview preview(player);
    for (int i = 0; i < 12; ++i) {
        applyOptions(player, {.bufferLength = 120, .queued = i % 2 == 1});
        ASSERT_TRUE(startPlayback(player).empty());
        std::this_thread::sleep_for(std::chrono::milliseconds(5 * (i % 4)));
        player.device.pauseDevice();
        player.device.resumeDevice();
        if (i % 3 == 0) stopPlayback(player);
        EXPECT_TRUE(preview.startPreview(sample, 428).empty());  // only plays while the main player is idle
        std::this_thread::sleep_for(std::chrono::milliseconds(3 * (i % 5)));
        preview.stopPreview();
        stopPlayback(player);
        EXPECT_FALSE(player.device.isOpen());
        EXPECT_FALSE(player.device.timerRunning());
        EXPECT_TRUE(player.outputStopped.load());
    }
}

// A null device that counts what it has taken.
class CountingNullDevice final : public NullDevice {
   public:
    std::atomic<uint64_t> taken{0};

   protected:
    void consumed(const uint8_t*, uint32_t bytes) override { taken.fetch_add(bytes); }
};

TEST(CaptureStream, TheRingPollWakesOncePerSegmentAndNotAtAllWhilePaused) {
    Player player;
    auto counting = std::make_unique<CountingNullDevice>();
    CountingNullDevice& device = *counting;
    player.device.backend = std::move(counting);
    player.module = shortSong(200).build();       // 8 seconds
    applyOptions(player, {.bufferLength = 120});  // 15 ms segments
    ASSERT_TRUE(startPlayback(player).empty());
    const uint32_t seg = player.device.segmentBytes;

    // Playing: at most one wake per segment the cursor enters (a 1 ms timer would wake 15 times as
    // often); a late poll may see two entries at once and refill both.
    ASSERT_TRUE(waitFor([&] { return device.taken.load() >= seg; }));
    const uint64_t taken0 = device.taken.load();
    const uint32_t polls0 = player.device.pollCount();
    ASSERT_TRUE(waitFor([&] { return device.taken.load() >= taken0 + 20u * seg; }));
    const uint32_t polls = player.device.pollCount() - polls0;
    const uint64_t entered = (device.taken.load() - taken0) / seg + 1;
    EXPECT_LE(polls, entered + 1) << entered << " segments entered";
    EXPECT_GT(polls, 0u);

    // Paused: nothing is taken and nothing wakes the poll.
    player.device.pauseDevice();
    std::this_thread::sleep_for(50ms);
    const uint64_t pausedAt = device.taken.load();
    const uint32_t pausedPolls = player.device.pollCount();
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(device.taken.load(), pausedAt);
    EXPECT_LE(player.device.pollCount() - pausedPolls, 1u);

    player.device.resumeDevice();
    ASSERT_TRUE(waitFor([&] { return device.taken.load() >= pausedAt + 2u * seg; }));
    stopPlayback(player);
}

TEST(CapturePreview, PlaysTheSampleOnceAndStopsByItself) {
    for (bool queued : {false, true}) {
        SCOPED_TRACE(queued ? "queued" : "ring");
        const StreamOptions options{.queued = queued};
        // What the preview sounds like, from a device driven by hand.
        ManualPlayer manual(shortSong(), options);
        const Sample& sample = manual.player.module->samples.at(0);  // 3000 frames, 0.36 s at C-6
        SamplePreview expected(manual.player);
        ASSERT_TRUE(expected.startPreview(sample, 428).empty());
        for (int i = 0; i < 400 && !expected.stopped(); ++i) {
            manual.device->play(manual.player.device.segmentBytes / 4);
            manual.timer->fire();
        }
        ASSERT_TRUE(expected.stopped());

        CaptureRig rig(shortSong(), options, "preview.wav");
        SamplePreview preview(rig.player);
        ASSERT_TRUE(preview.startPreview(rig.player.module->samples.at(0), 428).empty());
        ASSERT_TRUE(waitFor([&] { return preview.stopped(); }));
        if (!queued) {
            // The timer event after the end closes the device by itself.
            EXPECT_TRUE(waitFor([&] { return !rig.player.device.isOpen(); }));
        }
        preview.stopPreview();
        const auto captured = wavData(rig.path);
        const auto& heard = manual.device->played;
        ASSERT_GE(captured.size(), heard.size());
        EXPECT_TRUE(slice(captured, 0, heard.size()) == heard);
        // Anything after that is the silence the queued kind drained at its close.
        for (size_t i = heard.size(); i < captured.size(); ++i) ASSERT_EQ(captured[i], 0) << i;
    }
}

}  // namespace
}  // namespace tarvex::test
