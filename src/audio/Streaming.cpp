#include "audio/Streaming.h"

#include <vector>

namespace tarvex {
namespace {

// Steps 1 to 5 of the stop: timer, flag, pause, close, flags.
void haltOutput(Player& player) {
    player.device.killTimer();
    player.outputStopped.store(true, std::memory_order_release);
    player.device.pauseDevice();
    player.device.closeDevice();
    player.playbackFinished.store(true, std::memory_order_relaxed);
    player.state.songEnded.store(true, std::memory_order_relaxed);
}

}  // namespace

Player::~Player() {
    stopPlayback(*this);
}

std::string_view startPlayback(Player& player) {
    if (!player.module) return {};
    stopPlayback(player);

    OutputDevice& device = player.device;
    const PlayerSettings& settings = player.settings;
    const DeviceKind kind = settings.UseWaveOut ? DeviceKind::queued : DeviceKind::ring;
    if (device.openDevice(kind, settings.Frequency, settings.Resolution, settings.Channels,
                          settings.BufferLength, onBufferDone, &player) != 0) {
        return kind == DeviceKind::queued ? kQueuedOpenError : kRingOpenError;
    }
    if (device.createStreamBuffers() != 0) {
        stopPlayback(player);
        return kind == DeviceKind::queued ? kQueuedBufferError : kRingBufferError;
    }
    // Buffers queued next must not start playing yet.
    if (kind == DeviceKind::queued) device.pauseDevice();

    startSong(player);
    player.mix.mixDivisor.store(
        mixDivisorForPreamp(player.module->channelCount, player.module->globalVolume, player.preamp),
        std::memory_order_relaxed);

    for (uint32_t i = 1; i <= kSegmentsAhead; ++i) {
        device.lastSegment.store(i, std::memory_order_relaxed);
        fillSegment(player, i);
    }
    if (kind == DeviceKind::ring && !device.startTimer(onPollTimer, &player)) {
        // Without its timer the ring would loop the same 8 segments for ever.
        stopPlayback(player);
        return kRingOpenError;
    }
    device.resumeDevice();
    return {};
}

void stopPlayback(Player& player) {
    haltOutput(player);
    // No render runs now and none can start: the sequencer's and mixer's buffers can go.
    std::vector<std::array<uint32_t, kRowsPerPattern>>().swap(player.state.rowIndex);
    releaseMixState(player);
}

bool fillSegment(Player& player, uint32_t a) {
    const uint32_t s = (a + kSegmentsAhead) % kSegmentCount;
    uint8_t* data = player.device.beginSegment(s);
    if (data == nullptr) return true;
    const uint32_t bytesPerFrame = player.mix.bytesPerFrame;
    if (bytesPerFrame != 0) renderFrames(player, data, player.device.segmentBytes / bytesPerFrame);
    player.device.commitSegment(s, data);
    return true;
}

void onBufferDone(void* context) {
    Player& player = *static_cast<Player*>(context);
    if (player.outputStopped.load(std::memory_order_acquire)) return;
    const uint32_t a = (player.device.lastSegment.load(std::memory_order_relaxed) + 1) % kSegmentCount;
    player.device.lastSegment.store(a, std::memory_order_relaxed);
    fillSegment(player, a);
}

void onPollTimer(void* context) {
    Player& player = *static_cast<Player*>(context);
    if (player.outputStopped.load(std::memory_order_acquire)) return;
    if (player.state.songEnded.load(std::memory_order_relaxed) &&
        player.playbackFinished.load(std::memory_order_relaxed)) {
        // The end of the song, on the timer's thread: see the header for why the buffers stay.
        haltOutput(player);
        return;
    }
    // Normally the cursor has entered the next segment and this refills the one it left. An event
    // that comes late, after the cursor has crossed more than one segment, refills every segment
    // it crossed, in order: otherwise those would play again what they held a revolution ago.
    const uint32_t k = player.device.playingSegment();
    uint32_t last = player.device.lastSegment.load(std::memory_order_relaxed);
    while (last != k) {
        last = (last + 1) % kSegmentCount;
        player.device.lastSegment.store(last, std::memory_order_relaxed);
        fillSegment(player, last);
    }
    // Once the song has finished, the end-of-song check above can change before the cursor
    // enters another segment.
    if (player.playbackFinished.load(std::memory_order_relaxed)) player.device.pollAgain();
}

}  // namespace tarvex
