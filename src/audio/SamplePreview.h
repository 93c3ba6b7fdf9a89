// The one-sample player of the samples window: plays one Sample once, mono, at a chosen note,
// through the same device layer, ring of 8 segments and refill handlers as the main player, while
// that is idle. Its one channel runs through the mixer's own kernels (advance, loop wrap,
// interpolation, ISP smoothing, PCM output); what is its own is the step, the level, and the end.
//
// Pitch: step = trunc(baseFrequency * 428.0 / Frequency * 1024.0 / period). The PeriodTable entry
// "C-6" (period 428) plays the sample at its base frequency: 8363 Hz at 44100 Hz output gives step
// 194, "C-7" (214) gives 388. Each frame advances first and then plays the frame reached, so the
// channel is one advance ahead of what has been played. Level: x = ((v * volume) / 128) >> 4 with
// v at 12 fractional bits, smoothed before the volume; a full-scale sample at volume 64 reaches half
// of full output scale. Nothing is clipped. A loop that reaches past the data plays as no loop.
//
// End: the fill request during which the sample runs out records its index in endSegment; the
// next 7 requests render silence while the segments already handed over play; the request after
// those (the same index again, one ring revolution later) pauses the device and marks the preview
// stopped, just as the last segment holding sound has been played. The ring kind does not wait
// for the end of that segment: the poll stops once the cursor has passed the frame in which the
// sample ran out, as for the main player. A looped sample never ends.
#pragma once

#include <atomic>
#include <cstdint>
#include <string_view>

#include "audio/Player.h"
#include "model/Module.h"

namespace tarvex {

inline constexpr uint32_t kNoEndSegment = 0xFFFF;

// trunc(baseFrequency * 428.0 / rate * 1024.0 / period) in double precision, in that order;
// 0 for a zero rate or period, saturated where it would not fit 32 bits.
uint32_t previewStep(uint32_t baseFrequency, uint32_t rate, uint32_t period);

inline constexpr std::string_view kPreviewStopError = "Error: Failed to stop DirectSound";
inline constexpr std::string_view kPreviewFreeError = "Error: Failed to free DirectSound";

class SamplePreview final : public SegmentSource {
   public:
    explicit SamplePreview(Player& player) : player_(player) {}
    // The handlers must never run against a preview that has gone.
    ~SamplePreview();
    SamplePreview(const SamplePreview&) = delete;
    SamplePreview& operator=(const SamplePreview&) = delete;

    // Plays sample from its start at the plain period `period` (a PeriodTable value). Does nothing
    // while the main player owns the device or when the sample has no data. Returns the error text
    // when the device or its buffers cannot be had (the caller shows it), empty otherwise. The
    // sample must stay alive until the preview is stopped.
    std::string_view startPreview(const Sample& sample, uint32_t period);
    // Stops and closes the device, unless the main player owns it. Returns an error text or empty.
    std::string_view stopPreview();

    // Renders segment (a + 7) mod 8 from the preview's channel, or ends the preview when a is the
    // index recorded in endSegment.
    void renderPreviewSegment(uint32_t a);

    bool stopped() const { return stopped_.load(std::memory_order_acquire); }
    uint32_t endSegment() const { return endSegment_.load(std::memory_order_relaxed); }
    uint32_t lastSegment() const { return player_.device.lastSegment.load(std::memory_order_relaxed); }

    // The stream of the shared start and handlers: halted once stopped; the timer event after the
    // end closes the device.
    OutputDevice& streamDevice() override { return player_.device; }
    void beginStream() override;
    void renderSegment(uint32_t a) override { renderPreviewSegment(a); }
    bool streamHalted() const override { return stopped(); }
    bool endStreamOnTimer() override;

   private:
    Player& player_;
    std::atomic<bool> stopped_{true};
    std::atomic<uint32_t> endSegment_{kNoEndSegment};
    // Owned by whichever thread renders.
    const Sample* sample_ = nullptr;
    uint32_t period_ = 0;
    Voice channel_;          // position, fraction and step, one advance ahead
    bool sounding_ = false;  // the last frame rendered held sound
    int32_t filterMemory_ = 0;
};

}  // namespace tarvex
