#include "audio/SamplePreview.h"

#include <algorithm>
#include <cmath>

namespace tarvex {

uint32_t previewStep(uint32_t baseFrequency, uint32_t rate, uint32_t period) {
    if (rate == 0 || period == 0) return 0;
    const double step = static_cast<double>(baseFrequency) * 428.0 / rate * 1024.0 / period;
    if (!(step >= 0.0)) return 0;
    if (step >= 4294967295.0) return 0xFFFFFFFFu;
    return static_cast<uint32_t>(step);
}

namespace {

void writeMono(uint8_t*& out, int64_t x, uint32_t bits) {
    switch (bits) {
        case 8:
            *out++ = static_cast<uint8_t>((x >> 16) + 128);
            break;
        case 16: {
            const uint32_t v = static_cast<uint32_t>(x >> 8);
            *out++ = static_cast<uint8_t>(v);
            *out++ = static_cast<uint8_t>(v >> 8);
            break;
        }
        default: {
            const uint32_t v = static_cast<uint32_t>(x);
            *out++ = static_cast<uint8_t>(v);
            *out++ = static_cast<uint8_t>(v >> 8);
            *out++ = static_cast<uint8_t>(v >> 16);
            break;
        }
    }
}

}  // namespace

SamplePreview::~SamplePreview() {
    stopPreview();
}

std::string_view SamplePreview::startPreview(const Sample& sample, uint32_t period) {
    if (!player_.playbackFinished.load(std::memory_order_acquire)) return {};
    if (sample.data.empty() || sample.length == 0) return {};
    stopPreview();

    const PlayerSettings& settings = player_.settings;
    OutputDevice& device = player_.device;
    const DeviceKind kind = settings.UseWaveOut ? DeviceKind::queued : DeviceKind::ring;
    if (device.openDevice(kind, settings.Frequency, settings.Resolution, 1, settings.BufferLength,
                          onPreviewBufferDone, this) != 0) {
        stopPreview();
        return kind == DeviceKind::queued ? kQueuedOpenError : kRingOpenError;
    }
    if (device.createStreamBuffers() != 0) {
        stopPreview();
        return kind == DeviceKind::queued ? kQueuedBufferError : kRingBufferError;
    }

    sample_ = &sample;
    period_ = period;
    endSegment_.store(kNoEndSegment, std::memory_order_relaxed);
    filterMemory_ = 0;
    fraction_ = 0;
    position_ = 0;
    stopped_.store(false, std::memory_order_release);

    if (kind == DeviceKind::queued) device.pauseDevice();
    for (uint32_t i = 1; i <= kSegmentsAhead; ++i) {
        previewLastSegment_.store(i, std::memory_order_relaxed);
        renderPreviewSegment(i);
    }
    if (kind == DeviceKind::ring && !device.startTimer(onPreviewTimer, this)) {
        stopPreview();
        return kRingOpenError;
    }
    device.resumeDevice();
    return {};
}

std::string_view SamplePreview::stopPreview() {
    if (!player_.playbackFinished.load(std::memory_order_acquire)) return {};
    stopped_.store(true, std::memory_order_release);
    OutputDevice& device = player_.device;
    device.killTimer();
    std::string_view error;
    if (device.pauseDevice() != 0) error = kPreviewStopError;
    if (device.closeDevice() != 0 && error.empty()) error = kPreviewFreeError;
    return error;
}

void SamplePreview::renderPreviewSegment(uint32_t a) {
    OutputDevice& device = player_.device;
    if (a == endSegment_.load(std::memory_order_relaxed)) {
        stopped_.store(true, std::memory_order_release);
        device.pauseDevice();
        endSegment_.store(kNoEndSegment, std::memory_order_relaxed);
        // The paused device reports no more cursor moves: the poll must look once more to stop.
        device.pollAgain();
        return;
    }
    const uint32_t s = (a + kSegmentsAhead) % kSegmentCount;
    uint8_t* data = device.beginSegment(s);
    if (data == nullptr || sample_ == nullptr) return;

    const Sample& sample = *sample_;
    const PlayerSettings& settings = player_.settings;
    const uint32_t bits = device.format.bits;
    const uint32_t frames = device.segmentBytes / (bits / 8);
    const uint32_t step = previewStep(sample.baseFrequency, settings.Frequency, period_);
    const bool isp = settings.ISP.load(std::memory_order_relaxed);
    // Never read past the data the sample holds, whatever its header claims.
    const uint32_t length = static_cast<uint32_t>(std::min<size_t>(sample.length, sample.data.size()));
    // A loop whose start is not below its end plays as no loop.
    const bool loops = sample.loopEnd != 0 && sample.loopStart < sample.loopEnd && sample.loopEnd <= length;
    const bool wasSounding = position_ != kPreviewEnded;

    uint8_t* out = data;
    for (uint32_t i = 0; i < frames; ++i) {
        int64_t x = 0;
        if (position_ != kPreviewEnded) {
            // Advance first. Whole frames are taken at once: the same as one at a time with a
            // wrap after each, without a loop as long as the step.
            const uint64_t total = uint64_t{fraction_} + step;
            fraction_ = static_cast<uint32_t>(total & 1023);
            const uint64_t whole = total >> 10;
            if (whole != 0) {
                uint64_t pos = uint64_t{position_} + whole;
                if (loops) {
                    if (pos >= sample.loopEnd) {
                        pos =
                            sample.loopStart + (pos - sample.loopStart) % (sample.loopEnd - sample.loopStart);
                    }
                    position_ = static_cast<uint32_t>(pos);
                } else if (pos >= length) {
                    position_ = kPreviewEnded;
                } else {
                    position_ = static_cast<uint32_t>(pos);
                }
            }
            if (position_ != kPreviewEnded && position_ < length) {
                int64_t v = int64_t{sample.data[position_]} << kWorkingScaleShift;
                if (isp) {
                    uint32_t n = position_ + 1;
                    if (loops && n >= sample.loopEnd) n = n + sample.loopStart - sample.loopEnd;
                    const int64_t w = n < length ? int64_t{sample.data[n]} << kWorkingScaleShift : 0;
                    v = v + ((w - v) * fraction_) / 1024;
                    v = (v + filterMemory_) >> 1;
                    filterMemory_ = static_cast<int32_t>(v);
                }
                x = ((v * sample.volume) / 128) >> 4;
            }
        }
        writeMono(out, x, bits);
    }
    // Only the request during which the sample ran out is recorded: the 7 silent ones after it
    // must not move the mark, or it would never be met again.
    if (wasSounding && position_ == kPreviewEnded) endSegment_.store(a, std::memory_order_relaxed);
    device.commitSegment(s, data);
}

void SamplePreview::onPreviewBufferDone(void* context) {
    auto& preview = *static_cast<SamplePreview*>(context);
    // A stopped preview renders nothing more, so a closing device can drain its queue.
    if (preview.stopped()) return;
    const uint32_t a = (preview.previewLastSegment_.load(std::memory_order_relaxed) + 1) % kSegmentCount;
    preview.previewLastSegment_.store(a, std::memory_order_relaxed);
    preview.renderPreviewSegment(a);
}

void SamplePreview::onPreviewTimer(void* context) {
    auto& preview = *static_cast<SamplePreview*>(context);
    if (preview.stopped()) {
        preview.stopPreview();
        return;
    }
    // As for the main player, a late event catches up on every segment the cursor crossed; each
    // index is asked for in turn, so the end one ring revolution later is never skipped.
    const uint32_t k = preview.player_.device.playingSegment();
    uint32_t last = preview.previewLastSegment_.load(std::memory_order_relaxed);
    while (last != k && !preview.stopped()) {
        last = (last + 1) % kSegmentCount;
        preview.previewLastSegment_.store(last, std::memory_order_relaxed);
        preview.renderPreviewSegment(last);
    }
}

}  // namespace tarvex
