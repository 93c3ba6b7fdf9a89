#include "audio/OutputDevice.h"

#include <algorithm>
#include <chrono>
#include <new>
#include <thread>

namespace tarvex {

uint32_t segmentBytesFor(const PcmFormat& format, uint32_t bufferLength) {
    const uint32_t align = format.blockAlign();
    uint32_t bytes = ((format.bytesPerSecond() * bufferLength) / 8) / 1000;
    bytes = (bytes + 7) / 8 * 8;
    if (align > 0) bytes = (bytes + align - 1) / align * align;
    return bytes;
}

OutputDevice::OutputDevice() = default;

OutputDevice::~OutputDevice() {
    killTimer();
    closeDevice();
}

int OutputDevice::openDevice(DeviceKind newKind, uint32_t rate, uint32_t bits, uint32_t channels,
                             uint32_t bufferLength, SegmentDoneHandler done, void* context) {
    kind = newKind;
    format = PcmFormat{rate, bits, channels};
    segmentBytes = segmentBytesFor(format, bufferLength);
    if (!backend || format.blockAlign() == 0) return 1;
    if (!backend->open(kind, format, segmentBytes, done, context)) return 1;
    open_.store(true, std::memory_order_release);
    if (kind == DeviceKind::queued) backend->resetQueue();
    return 0;
}

int OutputDevice::createStreamBuffers() {
    if (!isOpen() || segmentBytes == 0) return 1;
    if (kind == DeviceKind::queued) {
        queuedBlock_.reset(new (std::nothrow) uint8_t[size_t{kSegmentCount} * segmentBytes]());
        if (!queuedBlock_) return 1;
        for (auto& p : prepared_) p.store(false, std::memory_order_relaxed);
        if (!backend->createQueue(kSegmentCount, segmentBytes)) {
            queuedBlock_.reset();
            return 1;
        }
    } else {
        ringEnd_.store(0, std::memory_order_relaxed);
        if (!backend->createRing(kSegmentCount * segmentBytes)) return 1;
        for (uint32_t k = 0; k < kSegmentCount; ++k) segmentOffsets[k] = k * segmentBytes;
    }
    buffersCreated_.store(true, std::memory_order_release);
    return 0;
}

int OutputDevice::pauseDevice() {
    if (backend) backend->pause();
    return 0;
}

int OutputDevice::resumeDevice() {
    if (backend) backend->resume();
    return 0;
}

int OutputDevice::closeDevice() {
    if (!isOpen()) return 0;
    if (kind == DeviceKind::queued && queuedBlock_) {
        // Let the queued buffers play out before closing, as a draining device does. A device
        // that stops consuming must not hang the stop: give up after 8 segments and two seconds.
        backend->resume();
        const auto ringTime =
            std::chrono::microseconds(uint64_t{kSegmentCount} * segmentBytes * 1000000u /
                                      (format.bytesPerSecond() ? format.bytesPerSecond() : 1));
        const auto deadline = std::chrono::steady_clock::now() + ringTime + std::chrono::seconds(2);
        // Looked at four times a segment: the drain ends at most a quarter segment late.
        const auto look =
            std::max<std::chrono::microseconds>(ringTime / (4 * kSegmentCount), std::chrono::milliseconds(1));
        for (uint32_t k = 0; k < kSegmentCount; ++k) {
            if (!prepared_[k].load(std::memory_order_acquire)) continue;
            while (backend->segmentPlaying(k) && std::chrono::steady_clock::now() < deadline) {
                std::this_thread::sleep_for(look);
            }
            prepared_[k].store(false, std::memory_order_relaxed);
        }
        backend->resetQueue();
    }
    backend->close();
    queuedBlock_.reset();
    buffersCreated_.store(false, std::memory_order_relaxed);
    open_.store(false, std::memory_order_release);
    return 0;
}

uint32_t OutputDevice::playingSegment() const {
    if (kind != DeviceKind::ring || !buffersCreated_.load(std::memory_order_acquire)) return 0;
    const uint32_t cursor = backend->playCursor();
    uint32_t k = 0;
    while (k + 1 < kSegmentCount && segmentOffsets[k + 1] <= cursor) ++k;
    return k;
}

namespace {

// Bytes the cursor still has to go to reach end, 1 .. ringBytes: a cursor standing at the end has
// a whole revolution to go (the end was recorded behind it) until it moves.
uint32_t distanceToEnd(uint32_t cursor, uint32_t end, uint32_t ringBytes) {
    return (end + ringBytes - cursor - 1) % ringBytes + 1;
}

}  // namespace

void OutputDevice::markRingEnd(uint32_t s, uint32_t bytes) {
    if (kind != DeviceKind::ring || !buffersCreated_.load(std::memory_order_acquire)) return;
    if (s >= kSegmentCount || bytes == 0 || bytes > segmentBytes) return;
    const uint32_t ringBytes = kSegmentCount * segmentBytes;
    const uint32_t end = segmentOffsets[s] + bytes;
    ringEndDistance_.store(distanceToEnd(backend->playCursor(), end, ringBytes), std::memory_order_relaxed);
    ringEnd_.store(end, std::memory_order_relaxed);
    backend->endRingAt(end);
    // From now on the end check can change with any move of the cursor: have them all reported.
    if (CursorWake* wake = backend->cursorWake()) wake->everyMove.store(true, std::memory_order_relaxed);
}

bool OutputDevice::ringEndPassed() {
    const uint32_t end = ringEnd_.load(std::memory_order_relaxed);
    if (end == 0 || kind != DeviceKind::ring) return false;
    const uint32_t distance = distanceToEnd(backend->playCursor(), end, kSegmentCount * segmentBytes);
    if (distance > ringEndDistance_.load(std::memory_order_relaxed)) return true;
    ringEndDistance_.store(distance, std::memory_order_relaxed);
    return false;
}

uint8_t* OutputDevice::beginSegment(uint32_t s) {
    if (!buffersCreated_.load(std::memory_order_acquire) || s >= kSegmentCount) return nullptr;
    if (kind == DeviceKind::queued) {
        // The buffer comes back from the device once played; a still queued one is left alone.
        if (prepared_[s].load(std::memory_order_acquire)) {
            if (backend->segmentPlaying(s)) return nullptr;
            prepared_[s].store(false, std::memory_order_relaxed);
        }
        return queuedBlock_.get() + size_t{s} * segmentBytes;
    }
    // The region from segment s to the next one; it never wraps.
    return backend->lockRing(segmentOffsets[s], segmentBytes);
}

void OutputDevice::commitSegment(uint32_t s, uint8_t* data) {
    if (data == nullptr) return;
    if (kind == DeviceKind::queued) {
        prepared_[s].store(true, std::memory_order_release);
        backend->queueSegment(s, data, segmentBytes);
    } else {
        backend->unlockRing(segmentOffsets[s], segmentBytes);
    }
}

bool OutputDevice::startTimer(TimerHandler handler, void* context, TimerHandler refill) {
    killTimer();
    PeriodicTimer* chosen = timer.get();
    CursorWake* wake = backend ? backend->cursorWake() : nullptr;
    if (chosen == nullptr && wake != nullptr) {
        if (!cursorPoll_) cursorPoll_ = makeCursorPoll(*wake);
        chosen = cursorPoll_.get();
    }
    if (chosen == nullptr) {
        if (!threadTimer_ && backend) threadTimer_ = backend->makeCursorTimer();
        if (!threadTimer_) threadTimer_ = makeThreadTimer();
        chosen = threadTimer_.get();
    }
    handler_ = handler;
    handlerContext_ = context;
    activeTimer_ = chosen;
    // Marked first: the poll's first call may come before start returns.
    timerRunning_.store(true, std::memory_order_relaxed);
    if (!chosen->start(poll, this)) {
        timerRunning_.store(false, std::memory_order_relaxed);
        return false;
    }
    // The cursor poll has made its first call and sleeps: the refills can move to the thread
    // that moves the cursor.
    refill_ = refill;
    if (refill != nullptr && chosen == cursorPoll_.get()) wake->takeInline(refillHere, this);
    return true;
}

void OutputDevice::refillHere(void* self) {
    auto& device = *static_cast<OutputDevice*>(self);
    device.polls_.fetch_add(1, std::memory_order_relaxed);
    device.refill_(device.handlerContext_);
}

void OutputDevice::killTimer() {
    timerRunning_.store(false, std::memory_order_relaxed);
    if (activeTimer_ != nullptr) activeTimer_->kill();
}

void OutputDevice::poll(void* self) {
    auto& device = *static_cast<OutputDevice*>(self);
    device.polls_.fetch_add(1, std::memory_order_relaxed);
    device.handler_(device.handlerContext_);
}

void OutputDevice::pollAgain() {
    if (!timerRunning() || !cursorPoll_ || activeTimer_ != cursorPoll_.get()) return;
    CursorWake* wake = backend->cursorWake();
    wake->everyMove.store(true, std::memory_order_relaxed);
    wake->notify();
}

}  // namespace tarvex
