#include "audio/devices/NullDevice.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <new>

namespace tarvex {
namespace {

constexpr uint32_t kScratchFrames = 4096;
constexpr uint32_t kWavHeaderBytes = 44;

void put16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void put32(uint8_t* p, uint32_t v) {
    put16(p, v);
    put16(p + 2, v >> 16);
}

// A canonical PCM WAV header for dataBytes bytes of format.
std::array<uint8_t, kWavHeaderBytes> wavHeader(const PcmFormat& format, uint64_t dataBytes) {
    const uint32_t data = static_cast<uint32_t>(std::min<uint64_t>(dataBytes, 0xFFFFFFFFu - 36));
    std::array<uint8_t, kWavHeaderBytes> h = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E',
                                              'f', 'm', 't', ' ', 16, 0, 0, 0};
    put32(&h[4], 36 + data);
    put16(&h[20], 1);  // PCM
    put16(&h[22], format.channels);
    put32(&h[24], format.rate);
    put32(&h[28], format.bytesPerSecond());
    put16(&h[32], format.blockAlign());
    put16(&h[34], format.bits);
    h[36] = 'd';
    h[37] = 'a';
    h[38] = 't';
    h[39] = 'a';
    put32(&h[40], data);
    return h;
}

}  // namespace

NullDevice::~NullDevice() { close(); }

bool NullDevice::openStream(const PcmFormat& format, uint32_t) {
    scratchBytes_ = kScratchFrames * format.blockAlign();
    scratch_.reset(new (std::nothrow) uint8_t[scratchBytes_]);
    if (!scratch_) return false;
    shutdown_.store(false, std::memory_order_relaxed);
    try {
        thread_ = std::thread([this] { run(); });
    } catch (...) {
        return false;
    }
    return true;
}

void NullDevice::closeStream() {
    shutdown_.store(true, std::memory_order_relaxed);
    if (thread_.joinable()) thread_.join();
    scratch_.reset();
}

// Takes the frames that are due by the clock every millisecond; the clock stands while paused.
void NullDevice::run() {
    using Clock = std::chrono::steady_clock;
    const uint32_t align = format().blockAlign();
    const double framesPerNanosecond = format().rate * speed_ / 1e9;
    Clock::time_point start;
    uint64_t framesTaken = 0;
    bool wasRunning = false;
    auto next = Clock::now();
    while (!shutdown_.load(std::memory_order_relaxed)) {
        next += std::chrono::milliseconds(1);
        std::this_thread::sleep_until(next);
        const auto now = Clock::now();
        if (next < now - std::chrono::milliseconds(5)) next = now;
        if (!running()) {
            wasRunning = false;
            continue;
        }
        if (!wasRunning) {
            start = now;
            framesTaken = 0;
            wasRunning = true;
        }
        const auto elapsed = std::chrono::duration_cast<std::chrono::nanoseconds>(now - start).count();
        const uint64_t due = static_cast<uint64_t>(static_cast<double>(elapsed) * framesPerNanosecond);
        if (due <= framesTaken) continue;
        // Behind after a stall: catch up in pieces no larger than the ring's step, so the cursor
        // still enters every segment where a poll can see it.
        uint32_t maxFrames = kScratchFrames;
        if (ringStepBytes() != 0) maxFrames = std::min(maxFrames, ringStepBytes() / align);
        const uint32_t frames = static_cast<uint32_t>(std::min<uint64_t>(due - framesTaken, maxFrames));
        pull(scratch_.get(), frames * align);
        framesTaken += frames;
    }
}

CaptureDevice::~CaptureDevice() { close(); }

bool CaptureDevice::openStream(const PcmFormat& format, uint32_t segmentBytes) {
    file_ = std::fopen(path_.c_str(), "wb");
    if (file_ == nullptr) return false;
    dataBytes_ = 0;
    const auto header = wavHeader(format, 0);
    if (std::fwrite(header.data(), 1, header.size(), file_) != header.size() ||
        !NullDevice::openStream(format, segmentBytes)) {
        std::fclose(file_);
        file_ = nullptr;
        return false;
    }
    return true;
}

void CaptureDevice::closeStream() {
    NullDevice::closeStream();
    if (file_ == nullptr) return;
    const auto header = wavHeader(format(), dataBytes_);
    std::fseek(file_, 0, SEEK_SET);
    std::fwrite(header.data(), 1, header.size(), file_);
    std::fclose(file_);
    file_ = nullptr;
}

// The file is this device's output: writing it is the device's own work, on its own thread.
void CaptureDevice::consumed(const uint8_t* data, uint32_t bytes) {
    if (file_ == nullptr) return;
    dataBytes_ += std::fwrite(data, 1, bytes, file_);
}

}  // namespace tarvex
