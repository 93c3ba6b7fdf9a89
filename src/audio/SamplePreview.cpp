#include "audio/SamplePreview.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "audio/MixKernels.h"
#include "audio/MixOutput.h"
#include "audio/Streaming.h"

namespace tarvex {

uint32_t previewStep(uint32_t baseFrequency, uint32_t rate, uint32_t period) {
    if (rate == 0 || period == 0) return 0;
    const double step = static_cast<double>(baseFrequency) * 428.0 / rate * 1024.0 / period;
    if (!(step >= 0.0)) return 0;
    if (step >= 4294967295.0) return 0xFFFFFFFFu;
    return static_cast<uint32_t>(step);
}

namespace {

using namespace mixkernels;

// The sample as the mixer sees it, except that a loop reaching past the data plays as no loop.
SampleView previewView(const Sample& sample) {
    SampleView view = viewOf(sample);
    if (sample.loopEnd > view.length) view.loops = false;
    return view;
}

// Accumulates the channel's values unscaled: the level is applied after the smoothing.
struct ValueSink {
    static constexpr bool kSilent = false;
    uint32_t* acc;
    void add(uint32_t k, int32_t v) const { acc[k] = static_cast<uint32_t>(v); }
};

// The first `sounded` frames of a run: smoothing, level and the mono sample; the rest silence.
template <uint32_t Bits>
uint8_t* previewTail(const uint32_t* acc, uint32_t sounded, uint32_t frames, bool isp, uint32_t volume,
                     int32_t& memory, uint8_t* out) {
    for (uint32_t k = 0; k < frames; ++k) {
        int32_t x = 0;
        if (k < sounded) {
            int32_t v = static_cast<int32_t>(acc[k]);
            if (isp) v = smooth(v, memory);
            x = static_cast<int32_t>(((int64_t{v} * volume) / 128) >> 4);
        }
        out = putSample<Bits>(out, x);
    }
    return out;
}

}  // namespace

SamplePreview::~SamplePreview() {
    stopPreview();
}

std::string_view SamplePreview::startPreview(const Sample& sample, uint32_t period) {
    if (!player_.playbackFinished.load(std::memory_order_acquire)) return {};
    if (sample.data.empty() || sample.length == 0) return {};
    stopPreview();
    sample_ = &sample;
    period_ = period;
    const std::string_view error = startStream(*this, player_.settings, 1);
    if (!error.empty()) stopPreview();
    return error;
}

void SamplePreview::beginStream() {
    endSegment_.store(kNoEndSegment, std::memory_order_relaxed);
    filterMemory_ = 0;
    channel_ = Voice{};
    channel_.step = previewStep(sample_->baseFrequency, player_.settings.Frequency, period_);
    // The first frame already plays the position after one advance.
    advance(channel_, previewView(*sample_));
    sounding_ = true;
    stopped_.store(false, std::memory_order_release);
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

bool SamplePreview::endStreamOnTimer() {
    if (stopped()) {
        stopPreview();
        return true;
    }
    if (player_.device.ringEndPassed()) {
        // The sample's last frame has been played: the next event closes the device.
        stopped_.store(true, std::memory_order_release);
        player_.device.pauseDevice();
        endSegment_.store(kNoEndSegment, std::memory_order_relaxed);
        player_.device.pollAgain();
        return true;
    }
    return false;
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

    const SampleView view = previewView(*sample_);
    const bool isp = player_.settings.ISP.load(std::memory_order_relaxed);
    const uint32_t bits = device.format.bits;
    const uint32_t frames = device.segmentBytes / (bits / 8);
    const bool wasSounding = sounding_;
    uint8_t* out = data;
    uint32_t endFrames = 0;  // frames up to and including the first one in which the sample is silent
    uint32_t acc[kMaxRunFrames];
    for (uint32_t done = 0; done < frames;) {
        const uint32_t n = std::min(kMaxRunFrames, frames - done);
        const uint32_t sounded =
            channel_.position == -1 ? 0 : mixChannel(channel_, view, isp, false, n, ValueSink{acc});
        switch (bits) {
            case 8:
                out = previewTail<8>(acc, sounded, n, isp, sample_->volume, filterMemory_, out);
                break;
            case 16:
                out = previewTail<16>(acc, sounded, n, isp, sample_->volume, filterMemory_, out);
                break;
            default:
                out = previewTail<24>(acc, sounded, n, isp, sample_->volume, filterMemory_, out);
                break;
        }
        if (sounding_ && sounded < n) endFrames = done + sounded + 1;
        sounding_ = sounded == n;
        done += n;
    }
    // Only the request during which the sample ran out is recorded: the 7 silent ones after it
    // must not move the mark, or it would never be met again.
    if (wasSounding && !sounding_) endSegment_.store(a, std::memory_order_relaxed);
    device.commitSegment(s, data);
    // The ring kind stops as soon as the last sounding frame has been played.
    if (endFrames != 0) device.markRingEnd(s, endFrames * (bits / 8));
}

}  // namespace tarvex
