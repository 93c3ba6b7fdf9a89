#include "audio/devices/NullDevice.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <new>

#include "audio/WavFile.h"

namespace tarvex {

NullDevice::~NullDevice() {
    close();
}

bool NullDevice::openStream(const PcmFormat& format, uint32_t segmentBytes) {
    const uint32_t align = format.blockAlign();
    pieceBytes_ = std::max(segmentBytes / kPiecesPerSegment / align, uint32_t{1}) * align;
    scratch_.reset(new (std::nothrow) uint8_t[pieceBytes_]);
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
    wakeConsumer();
    if (thread_.joinable()) thread_.join();
    scratch_.reset();
}

// Takes the stream a piece at a time, each when the clock reaches it, and sleeps in between; the
// clock stands while paused, and the thread sleeps until the next resume or the close.
void NullDevice::run() {
    using Clock = std::chrono::steady_clock;
    const uint32_t pieceFrames = pieceBytes_ / format().blockAlign();
    const double nanosecondsPerPiece = pieceFrames * 1e9 / (format().rate * speed_);
    const auto clockAt = [&](uint64_t pieces) {
        return std::chrono::nanoseconds(
            static_cast<int64_t>(static_cast<double>(pieces) * nanosecondsPerPiece));
    };
    while (!shutdown_.load(std::memory_order_relaxed)) {
        const uint32_t seen = transportCount();
        if (!running()) {
            waitForTransport(seen);
            continue;
        }
        auto start = Clock::now();
        uint64_t pieces = 0;
        while (running() && !shutdown_.load(std::memory_order_relaxed)) {
            pull(scratch_.get(), pieceBytes_);
            ++pieces;
            const auto now = Clock::now();
            // Far behind after a stall: go on from now rather than rush through the backlog, which
            // would run ahead of whoever refills the stream.
            if (start + clockAt(pieces + 2) < now) start = now - clockAt(pieces);
            std::this_thread::sleep_until(start + clockAt(pieces));
        }
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
    if (output_.isTerminal()) {
        setOpenFailure("cannot write " + path_ + ": a terminal takes no audio data");
        output_.discard();
        return false;
    }
    dataBytes_ = 0;
    writeFailed_ = false;
    // A pipe cannot be rewound to fix the header at the end: it states the largest size instead,
    // and the reader takes the data up to its end.
    const auto header = wavHeader(format, output_.seekable() ? 0 : static_cast<uint32_t>(kMaxWavDataBytes));
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
    if (!output_.seekable()) {
        std::string reason;
        if (writeFailed_ || !output_.commit(reason)) output_.discard();
        return;
    }
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
