#include "audio/devices/PullDevice.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace tarvex {

PullDevice::~PullDevice() = default;  // subclasses close in their own destructors

bool PullDevice::open(DeviceKind kind, const PcmFormat& format, uint32_t segmentBytes,
                      SegmentDoneHandler done, void* context) {
    close();
    kind_ = kind;
    format_ = format;
    segmentBytes_ = segmentBytes;
    done_ = done;
    context_ = context;
    running_.store(false, std::memory_order_relaxed);
    resetPending_.store(false, std::memory_order_relaxed);
    head_.store(0, std::memory_order_relaxed);
    tail_.store(0, std::memory_order_relaxed);
    headOffset_ = 0;
    for (auto& p : playing_) p.store(false, std::memory_order_relaxed);
    cursor_.store(0, std::memory_order_relaxed);
    ringEnd_.store(0, std::memory_order_relaxed);
    ringEndReached_.store(false, std::memory_order_relaxed);
    ring_.reset();
    ringBytes_ = 0;
    failure_.clear();
    if (format.blockAlign() == 0 || !openStream(format, segmentBytes)) return false;
    open_ = true;
    return true;
}

void PullDevice::close() {
    if (!open_) return;
    closeStream();
    open_ = false;
    running_.store(false, std::memory_order_relaxed);
    for (auto& p : playing_) p.store(false, std::memory_order_relaxed);
    head_.store(0, std::memory_order_relaxed);
    tail_.store(0, std::memory_order_relaxed);
    ring_.reset();
    ringBytes_ = 0;
}

bool PullDevice::createQueue(uint32_t segmentCount, uint32_t segmentBytes) {
    return open_ && kind_ == DeviceKind::queued && segmentCount <= kQueueCapacity && segmentBytes > 0;
}

void PullDevice::queueSegment(uint32_t index, const uint8_t* data, uint32_t bytes) {
    if (index >= kQueueCapacity) return;
    const uint32_t t = tail_.load(std::memory_order_relaxed);
    if (t - head_.load(std::memory_order_acquire) >= kQueueCapacity) return;
    playing_[index].store(true, std::memory_order_relaxed);
    queue_[t % kQueueCapacity] = QueueEntry{index, data, bytes};
    tail_.store(t + 1, std::memory_order_release);
}

bool PullDevice::segmentPlaying(uint32_t index) {
    return index < kQueueCapacity && playing_[index].load(std::memory_order_acquire);
}

void PullDevice::resetQueue() {
    resetTail_.store(tail_.load(std::memory_order_relaxed), std::memory_order_relaxed);
    resetPending_.store(true, std::memory_order_release);
}

bool PullDevice::createRing(uint32_t bytes) {
    if (!open_ || kind_ != DeviceKind::ring || bytes == 0) return false;
    ring_.reset(new (std::nothrow) uint8_t[bytes]);
    if (!ring_) return false;
    std::memset(ring_.get(), format_.silenceByte(), bytes);
    ringBytes_ = bytes;
    ringEnd_.store(0, std::memory_order_relaxed);
    ringEndReached_.store(false, std::memory_order_relaxed);
    cursorWake_.everyMove.store(false, std::memory_order_relaxed);
    cursor_.store(0, std::memory_order_release);
    return true;
}

uint8_t* PullDevice::lockRing(uint32_t offset, uint32_t bytes) {
    if (!ring_ || offset > ringBytes_ || bytes > ringBytes_ - offset) return nullptr;
    return ring_.get() + offset;
}

void PullDevice::unlockRing(uint32_t, uint32_t) {
    unlocks_.fetch_add(1, std::memory_order_release);
}

void PullDevice::pull(uint8_t* out, uint32_t bytes) {
    if (kind_ == DeviceKind::queued) {
        pullQueued(out, bytes);
    } else {
        pullRing(out, bytes);
    }
}

void PullDevice::pullQueued(uint8_t* out, uint32_t bytes) {
    while (bytes > 0) {
        if (resetPending_.exchange(false, std::memory_order_acq_rel)) {
            const uint32_t t = resetTail_.load(std::memory_order_relaxed);
            uint32_t h = head_.load(std::memory_order_relaxed);
            if (t - h <= kQueueCapacity && t != h) {
                for (; h != t; ++h) {
                    playing_[queue_[h % kQueueCapacity].index].store(false, std::memory_order_release);
                }
                headOffset_ = 0;
                head_.store(t, std::memory_order_release);
            }
        }
        const uint32_t h = head_.load(std::memory_order_relaxed);
        if (!running_.load(std::memory_order_acquire) || h == tail_.load(std::memory_order_acquire)) {
            std::memset(out, format_.silenceByte(), bytes);
            return;
        }
        const QueueEntry entry = queue_[h % kQueueCapacity];
        const uint32_t n = std::min(bytes, entry.bytes - headOffset_);
        std::memcpy(out, entry.data + headOffset_, n);
        consumed(entry.data + headOffset_, n);
        out += n;
        bytes -= n;
        headOffset_ += n;
        if (headOffset_ == entry.bytes) {
            headOffset_ = 0;
            head_.store(h + 1, std::memory_order_release);
            playing_[entry.index].store(false, std::memory_order_release);
            if (done_ != nullptr) done_(context_);
        }
    }
}

void PullDevice::pullRing(uint8_t* out, uint32_t bytes) {
    if (!running_.load(std::memory_order_acquire) || !ring_ ||
        ringEndReached_.load(std::memory_order_relaxed)) {
        std::memset(out, format_.silenceByte(), bytes);
        return;
    }
    unlocks_.load(std::memory_order_acquire);
    // The first time the cursor gets to the end after it was given is the revolution that plays
    // it: the region holding it was handed back behind the cursor, or ahead of it before the start.
    const uint32_t end = ringEnd_.load(std::memory_order_acquire);
    const uint32_t before = cursor_.load(std::memory_order_relaxed);
    uint32_t c = before;
    while (bytes > 0) {
        uint32_t n = std::min(bytes, ringBytes_ - c);
        const bool endsHere = c < end && end <= c + n;
        if (endsHere) n = end - c;
        std::memcpy(out, ring_.get() + c, n);
        consumed(ring_.get() + c, n);
        out += n;
        bytes -= n;
        c += n;
        if (c == ringBytes_) c = 0;
        if (endsHere) {
            ringEndReached_.store(true, std::memory_order_relaxed);
            std::memset(out, format_.silenceByte(), bytes);
            break;
        }
    }
    cursor_.store(c, std::memory_order_release);
    const bool newSegment = segmentBytes_ == 0 || c < before || c / segmentBytes_ != before / segmentBytes_;
    if (c == before) return;
    if (cursorWake_.everyMove.load(std::memory_order_relaxed)) {
        cursorWake_.notify();
    } else if (newSegment) {
        cursorWake_.reportSegment();
    }
}

}  // namespace tarvex
