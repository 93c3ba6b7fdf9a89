// Backends without sound: `null` takes the stream at real-time pace and drops it; `capture` does
// the same and writes every byte it took, in order, to a WAV file. Both take the stream a segment at a
// time, each when its time has come, and sleep in between and while paused. The
// capture's file appears under its name when the device closes, complete with its header; until
// then it is a temporary file beside it (a write that fails leaves the previous file in place).
// A device, pipe or socket is written in place (see OutputFile); its header, which cannot be
// rewritten there, states the largest data size.
#pragma once

#include <atomic>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "audio/devices/OutputFile.h"
#include "audio/devices/PullDevice.h"

namespace tarvex {

class NullDevice : public PullDevice {
   public:
    // speed > 1 runs the clock faster than real time (tests); 1 is real time.
    explicit NullDevice(double speed = 1.0) : speed_(speed) {}
    ~NullDevice() override;
    std::string_view openErrorText() const override { return "Error: Failed to start the null device"; }

   protected:
    bool openStream(const PcmFormat& format, uint32_t segmentBytes) override;
    void closeStream() override;

   private:
    void run();

    // The stream is taken in whole segments: one wake-up per segment, which also refills the one
    // before it.
    static constexpr uint32_t kPiecesPerSegment = 1;

    double speed_;
    std::atomic<bool> shutdown_{false};
    std::thread thread_;
    std::unique_ptr<uint8_t[]> scratch_;
    uint32_t pieceBytes_ = 0;
};

class CaptureDevice final : public NullDevice {
   public:
    explicit CaptureDevice(std::string path, double speed = 1.0)
        : NullDevice(speed), path_(std::move(path)) {}
    ~CaptureDevice() override;
    std::string_view openErrorText() const override { return "Error: Failed to open the capture file"; }

   protected:
    bool openStream(const PcmFormat& format, uint32_t segmentBytes) override;
    void closeStream() override;
    void consumed(const uint8_t* data, uint32_t bytes) override;

   private:
    std::string path_;
    OutputFile output_;
    uint64_t dataBytes_ = 0;
    bool writeFailed_ = false;
};

}  // namespace tarvex
