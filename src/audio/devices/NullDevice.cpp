#include "audio/devices/NullDevice.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <new>

#include "audio/WavFile.h"

namespace tarvex {
namespace {

constexpr uint32_t kScratchFrames = 4096;

}  // namespace

NullDevice::~NullDevice() {
    close();
}

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

CaptureDevice::~CaptureDevice() {
    close();
}

bool CaptureDevice::openStream(const PcmFormat& format, uint32_t segmentBytes) {
    std::string reason;
    if (!output_.open(path_, reason)) {
        setOpenFailure("cannot write " + path_ + ": " + reason);
        return false;
    }
    dataBytes_ = 0;
    writeFailed_ = false;
    const auto header = wavHeader(format, 0);
    errno = 0;
    if (std::fwrite(header.data(), 1, header.size(), output_.file()) != header.size()) {
        setOpenFailure("cannot write " + path_ + ": " + systemReason(errno));
        output_.discard();
        return false;
    }
    if (!NullDevice::openStream(format, segmentBytes)) {
        output_.discard();
        return false;
    }
    return true;
}

void CaptureDevice::closeStream() {
    NullDevice::closeStream();
    std::FILE* file = output_.file();
    if (file == nullptr) return;
    const uint32_t dataBytes = static_cast<uint32_t>(std::min<uint64_t>(dataBytes_, kMaxWavDataBytes));
    if (wavPadBytes(dataBytes) != 0 && std::fputc(0, file) == EOF) writeFailed_ = true;
    const auto header = wavHeader(format(), dataBytes);
    if (std::fseek(file, 0, SEEK_SET) != 0 ||
        std::fwrite(header.data(), 1, header.size(), file) != header.size()) {
        writeFailed_ = true;
    }
    // A capture that could not be written whole is no capture: the previous file stays.
    std::string reason;
    if (writeFailed_ || !output_.commit(reason)) output_.discard();
}

// The file is this device's output: writing it is the device's own work, on its own thread.
void CaptureDevice::consumed(const uint8_t* data, uint32_t bytes) {
    std::FILE* file = output_.file();
    if (file == nullptr || writeFailed_) return;
    const size_t written = std::fwrite(data, 1, bytes, file);
    dataBytes_ += written;
    if (written != bytes) writeFailed_ = true;
}

}  // namespace tarvex
