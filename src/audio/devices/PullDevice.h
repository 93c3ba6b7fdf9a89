// Both device kinds for backends whose sound system asks for data (a callback or a paced thread
// that calls pull): the queue of segments and the looping ring with its play cursor live here,
// the subclass only provides the thread that consumes.
//
// Handoffs, all lock-free. Queued kind: queueSegment publishes an entry with a release store of
// the queue's tail, pull takes it with an acquire load, and the done handler runs on the pulling
// thread. Ring kind: pull copies a piece of the ring and then moves the cursor with a release
// store, so a region behind the cursor has been read before anyone who sees the cursor writes it
// again; unlockRing bumps a release counter that pull reads with acquire before it copies, so a
// refilled region is complete before it is read. The end of the stream comes the same way: a
// release store of its offset after the region holding it has been handed back. After moving the
// cursor into another segment (or at all, once the wake asks for every move) pull reports it
// through the cursor wake; a paused device moves nothing and reports nothing.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "audio/AudioBackend.h"

namespace tarvex {

class PullDevice : public AudioBackend {
   public:
    ~PullDevice() override;

    bool open(DeviceKind kind, const PcmFormat& format, uint32_t segmentBytes, SegmentDoneHandler done,
              void* context) final;
    void close() final;
    std::string openFailure() const final { return failure_; }
    void pause() final { setRunning(false); }
    void resume() final { setRunning(true); }

    bool createQueue(uint32_t segmentCount, uint32_t segmentBytes) override;
    void queueSegment(uint32_t index, const uint8_t* data, uint32_t bytes) final;
    bool segmentPlaying(uint32_t index) override;
    void resetQueue() final;

    bool createRing(uint32_t bytes) override;
    uint8_t* lockRing(uint32_t offset, uint32_t bytes) final;
    void unlockRing(uint32_t offset, uint32_t bytes) final;
    uint32_t playCursor() const final { return cursor_.load(std::memory_order_acquire); }
    CursorWake* cursorWake() final { return &cursorWake_; }
    void endRingAt(uint32_t end) override { ringEnd_.store(end, std::memory_order_release); }

   protected:
    // Starts the consuming thread or callback; it calls pull from then on, or, while paused, it may
    // sleep in waitForTransport instead.
    virtual bool openStream(const PcmFormat& format, uint32_t segmentBytes) = 0;
    // Stops it; once this returns pull is not running and will not run again.
    virtual void closeStream() = 0;
    // Records why openStream fails, for openFailure.
    void setOpenFailure(std::string reason) { failure_ = std::move(reason); }
    // Each piece of the stream pull has taken, in order (not the silence it fills in).
    virtual void consumed(const uint8_t* /*data*/, uint32_t /*bytes*/) {}

    // Fills out with the next bytes of the stream (a whole number of frames): queued segments or
    // the ring at its cursor; silence while paused or when the queue has run dry. Called only by
    // the consuming thread; never allocates, locks or blocks (the done handler renders in it).
    void pull(uint8_t* out, uint32_t bytes);
    bool running() const { return running_.load(std::memory_order_acquire); }
    // A count that pause, resume and wakeConsumer move on: read it, then look at running(), then
    // waitForTransport(count) sleeps until one of them has been called since the read.
    uint32_t transportCount() const { return transport_.load(std::memory_order_acquire); }
    void waitForTransport(uint32_t seen) const { waitForChange(transport_, seen); }
    // Wakes a consumer sleeping in waitForTransport (at close).
    void wakeConsumer() {
        transport_.fetch_add(1, std::memory_order_acq_rel);
        transport_.notify_all();
    }
    const PcmFormat& format() const { return format_; }

   private:
    static constexpr uint32_t kQueueCapacity = 16;
    struct QueueEntry {
        uint32_t index = 0;
        const uint8_t* data = nullptr;
        uint32_t bytes = 0;
    };

    void setRunning(bool running) {
        running_.store(running, std::memory_order_release);
        wakeConsumer();
    }
    void pullQueued(uint8_t* out, uint32_t bytes);
    void pullRing(uint8_t* out, uint32_t bytes);

    DeviceKind kind_ = DeviceKind::ring;
    PcmFormat format_;
    SegmentDoneHandler done_ = nullptr;
    void* context_ = nullptr;
    bool open_ = false;
    std::string failure_;
    std::atomic<bool> running_{false};
    std::atomic<uint32_t> transport_{0};

    // Queued kind.
    std::array<QueueEntry, kQueueCapacity> queue_ = {};
    std::array<std::atomic<bool>, kQueueCapacity> playing_ = {};
    std::atomic<uint32_t> head_{0};  // written by the consumer
    std::atomic<uint32_t> tail_{0};  // written by the producer
    uint32_t headOffset_ = 0;        // bytes of the head entry already played; consumer only
    // resetQueue drops what is queued when it is called: entries before resetTail_.
    std::atomic<uint32_t> resetTail_{0};
    std::atomic<bool> resetPending_{false};

    // Ring kind.
    std::unique_ptr<uint8_t[]> ring_;
    uint32_t ringBytes_ = 0;
    std::atomic<uint32_t> cursor_{0};
    std::atomic<uint32_t> unlocks_{0};
    uint32_t segmentBytes_ = 0;  // the cursor's moves into another segment are reported
    CursorWake cursorWake_;
    std::atomic<uint32_t> ringEnd_{0};         // where the stream ends; 0 = not known yet
    std::atomic<bool> ringEndReached_{false};  // set by the consumer once the cursor stands there
};

}  // namespace tarvex
