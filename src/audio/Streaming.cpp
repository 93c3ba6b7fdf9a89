#include "audio/Streaming.h"

#include <vector>

#include "audio/SongRender.h"

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

std::string_view startStream(SegmentSource& source, const PlayerSettings& settings, uint32_t channels) {
    OutputDevice& device = source.streamDevice();
    const DeviceKind kind = settings.UseWaveOut ? DeviceKind::queued : DeviceKind::ring;
    if (device.openDevice(kind, settings.Frequency, settings.Resolution, channels, settings.BufferLength,
                          onBufferDone, &source) != 0) {
        const std::string_view named = device.backend ? device.backend->openErrorText() : std::string_view();
        if (!named.empty()) return named;
        return kind == DeviceKind::queued ? kQueuedOpenError : kRingOpenError;
    }
    if (device.createStreamBuffers() != 0) {
        return kind == DeviceKind::queued ? kQueuedBufferError : kRingBufferError;
    }
    // Buffers queued next must not start playing yet.
    if (kind == DeviceKind::queued) device.pauseDevice();

    source.beginStream();
    for (uint32_t i = 1; i <= kSegmentsAhead; ++i) {
        device.lastSegment.store(i, std::memory_order_relaxed);
        source.renderSegment(i);
    }
    // Without its timer the ring would loop the same 8 segments for ever.
    if (kind == DeviceKind::ring && !device.startTimer(onPollTimer, &source, onCursorMoved))
        return kRingOpenError;
    device.resumeDevice();
    return {};
}

void onBufferDone(void* context) {
    SegmentSource& source = *static_cast<SegmentSource*>(context);
    if (source.streamHalted()) return;
    OutputDevice& device = source.streamDevice();
    const uint32_t a = (device.lastSegment.load(std::memory_order_relaxed) + 1) % kSegmentCount;
    device.lastSegment.store(a, std::memory_order_relaxed);
    source.renderSegment(a);
}

void onPollTimer(void* context) {
    SegmentSource& source = *static_cast<SegmentSource*>(context);
    if (source.endStreamOnTimer()) return;
    onCursorMoved(context);
}

void onCursorMoved(void* context) {
    SegmentSource& source = *static_cast<SegmentSource*>(context);
    // Normally the cursor has entered the next segment and this refills the one it left. An event
    // that comes late, after the cursor has crossed more than one segment, refills every segment
    // it crossed, in order: otherwise those would play again what they held a revolution ago. Each
    // request is made in turn, so an end due at one of them is never skipped.
    OutputDevice& device = source.streamDevice();
    const uint32_t k = device.playingSegment();
    uint32_t last = device.lastSegment.load(std::memory_order_relaxed);
    while (last != k && !source.streamHalted()) {
        last = (last + 1) % kSegmentCount;
        device.lastSegment.store(last, std::memory_order_relaxed);
        source.renderSegment(last);
    }
}

Player::~Player() {
    stopPlayback(*this);
}

void Player::beginStream() {
    startSong(*this);
    mix.mixDivisor.store(
        mixDivisorForPreamp(mixChannelsOf(*module), module->globalVolume, preamp, module->rules.gainBits),
        std::memory_order_relaxed);
    skipFrames(*this, startFrame);
}

void Player::renderSegment(uint32_t a) {
    const bool wasFinished = playbackFinished.load(std::memory_order_relaxed);
    fillSegment(*this, a);
    if (!playbackFinished.load(std::memory_order_relaxed)) return;
    // Once the song has finished, the end-of-song check can change before the cursor enters
    // another segment.
    device.pollAgain();
    if (!wasFinished && onStreamChange) onStreamChange(streamChangeContext);
}

bool Player::streamHalted() const {
    return outputStopped.load(std::memory_order_acquire);
}

bool Player::endStreamOnTimer() {
    if (outputStopped.load(std::memory_order_acquire)) return true;
    if (device.ringEndPassed()) {
        // The song's last frame has been played. This is the timer's thread: see the header for
        // why the buffers stay.
        haltOutput(*this);
        if (onStreamChange) onStreamChange(streamChangeContext);
        return true;
    }
    return false;
}

std::string_view startPlayback(Player& player) {
    if (!player.module) return {};
    stopPlayback(player);
    const std::string_view error = startStream(player, player.settings, player.settings.Channels);
    if (!error.empty()) stopPlayback(player);
    return error;
}

void stopPlayback(Player& player) {
    haltOutput(player);
    // No render runs now and none can start: the sequencer's and mixer's buffers can go.
    std::vector<uint32_t>().swap(player.state.rowIndex);
    releaseMixState(player);
}

bool fillSegment(Player& player, uint32_t a) {
    const uint32_t s = (a + kSegmentsAhead) % kSegmentCount;
    uint8_t* data = player.device.beginSegment(s);
    if (data == nullptr) return true;
    const uint32_t bytesPerFrame = player.mix.bytesPerFrame;
    if (bytesPerFrame != 0) renderFrames(player, data, player.device.segmentBytes / bytesPerFrame);
    player.device.commitSegment(s, data);
    // The song's last frame is in this segment: the ring kind stops once it has been played.
    const uint32_t lastFrames = bytesPerFrame != 0 ? player.mix.finishedAfterFrames : 0;
    if (lastFrames != 0) player.device.markRingEnd(s, lastFrames * bytesPerFrame);
    return true;
}

}  // namespace tarvex
