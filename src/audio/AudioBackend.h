// What the output layer needs of a sound device and of a periodic timer, whatever provides them.
//
// Two device kinds, one interface. The queued kind takes whole segments into a play queue and
// reports each one once it has been played; the ring kind is one looping buffer the caller writes
// into while the device's play cursor runs through it. Every backend offers both.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

#include "core/PcmFormat.h"

namespace tarvex {

enum class DeviceKind : uint8_t {
    ring,    // one looping buffer of 8 segments; a 1 ms timer polls the play cursor ("Use WaveOut" off)
    queued,  // 8 queued segment buffers, each refilled when the device reports it played ("Use WaveOut" on)
};

// Sleeps until value differs from seen. The MinGW build's standard library has no futex beneath
// std::atomic::wait and can miss a notify there, which left a song's end unseen: on it, look every
// millisecond instead (the pace of the platform's own multimedia timer).
inline void waitForChange(const std::atomic<uint32_t>& value, uint32_t seen) {
#if defined(_WIN32) && defined(__GLIBCXX__)
    while (value.load(std::memory_order_acquire) == seen)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
#else
    value.wait(seen, std::memory_order_acquire);
#endif
}

// Runs on the device's own thread after each queued segment has been played out.
using SegmentDoneHandler = void (*)(void* context);

using TimerHandler = void (*)(void* context);

// How a backend that moves the ring's play cursor itself reports the moves, so that the poll can
// sleep until there is something to see instead of waking every millisecond: the cursor entering
// another segment, or, once everyMove is set, every move at all. Lock-free: a count that each
// report bumps, with an atomic wait and notify.
//
// The refills that a move into another segment asks for may instead run on the reporting thread
// itself, right after the move (takeInline): then nothing wakes for them at all. Only while
// everyMove is clear: what comes near the end (stopping, closing) is the poll's own thread's.
class CursorWake {
   public:
    void notify() {
        count_.fetch_add(1, std::memory_order_release);
        count_.notify_one();
    }
    uint32_t count() const { return count_.load(std::memory_order_acquire); }
    // Sleeps until the count differs from seen.
    void wait(uint32_t seen) const { waitForChange(count_, seen); }

    // The cursor has entered another segment: refill here, or wake the poll.
    void reportSegment() {
        inlineBusy_.store(true);  // before the look at refill_, for stopInline
        const TimerHandler refill = refill_.load();
        if (refill != nullptr && !everyMove.load(std::memory_order_relaxed)) {
            refill(refillContext_.load(std::memory_order_relaxed));
            inlineBusy_.store(false, std::memory_order_release);
            return;
        }
        inlineBusy_.store(false, std::memory_order_release);
        notify();
    }
    // From now on reportSegment runs refill(context). Before the device runs or between its moves.
    void takeInline(TimerHandler refill, void* context) {
        refillContext_.store(context, std::memory_order_relaxed);
        refill_.store(refill);
    }
    // Ends that; returns once no refill runs on the reporting thread.
    void stopInline() {
        refill_.store(nullptr);
        while (inlineBusy_.load()) std::this_thread::yield();
    }
    // Waits for a refill that runs on the reporting thread to finish (the poll's thread, before a
    // call: reports after everyMove was set wake it, and one may come from within such a refill).
    void awaitInline() const {
        while (inlineBusy_.load(std::memory_order_acquire)) std::this_thread::yield();
    }

    // Set once the end of the song is near: from then on its check may change at any frame. Set by
    // the thread that renders (before the device runs, or in a refill on the reporting thread).
    std::atomic<bool> everyMove{false};

   private:
    std::atomic<uint32_t> count_{0};
    std::atomic<TimerHandler> refill_{nullptr};
    std::atomic<void*> refillContext_{nullptr};
    std::atomic<bool> inlineBusy_{false};
};

// The ring kind's poll on a thread of its own: a periodic 1 ms timer, or a poll woken by the
// backend's cursor reports.
class PeriodicTimer {
   public:
    virtual ~PeriodicTimer() = default;
    // Calls handler(context) about every millisecond (a woken poll: once at the start and then
    // after each report) until kill. False when it cannot start.
    virtual bool start(TimerHandler handler, void* context) = 0;
    // From any other thread: stops the timer and returns once no handler call is running. From a
    // handler call on the timer's own thread: no further call follows the running one.
    virtual void kill() = 0;
};

class AudioBackend {
   public:
    virtual ~AudioBackend() = default;

    // Opens the device for one kind, paused. segmentBytes tells the backend how finely the caller
    // will feed it (it may size its own transfers from it). A failed open leaves nothing open.
    virtual bool open(DeviceKind kind, const PcmFormat& format, uint32_t segmentBytes,
                      SegmentDoneHandler done, void* context) = 0;
    // Why the last open failed, in the user's terms ("no audio device: ..."); empty when it did
    // not fail or the device cannot tell.
    virtual std::string openFailure() const { return {}; }
    // The message of a start that fails to open this device ("Error: Failed to open the sound
    // device"); empty for the Windows devices, whose messages name the device kind (DirectSound,
    // wave out) as the Windows player always has.
    virtual std::string_view openErrorText() const { return {}; }
    // Stops and releases everything. Once it returns no handler runs and none will. Harmless when
    // nothing is open.
    virtual void close() = 0;
    // Halt and continue consumption. Safe from any thread at any time, even while another thread
    // closes the device (then they have no effect).
    virtual void pause() = 0;
    virtual void resume() = 0;

    // Queued kind: room for segmentCount segments of segmentBytes each.
    virtual bool createQueue(uint32_t segmentCount, uint32_t segmentBytes) = 0;
    // Appends segment `index` to the play queue; data must stay untouched until it has played.
    virtual void queueSegment(uint32_t index, const uint8_t* data, uint32_t bytes) = 0;
    // True while segment `index` is queued and not yet played out.
    virtual bool segmentPlaying(uint32_t index) = 0;
    // Drops whatever is still queued, unplayed.
    virtual void resetQueue() = 0;

    // Ring kind: a looping buffer of `bytes` bytes, silent at first, cursor at 0.
    virtual bool createRing(uint32_t bytes) = 0;
    // Write access to [offset, offset + bytes) of the ring; nullptr when it cannot be had.
    virtual uint8_t* lockRing(uint32_t offset, uint32_t bytes) = 0;
    // Hands a locked region back; the device plays it when its cursor gets there.
    virtual void unlockRing(uint32_t offset, uint32_t bytes) = 0;
    // Byte offset of the play cursor in the ring: everything before it in this revolution has
    // been taken by the device.
    virtual uint32_t playCursor() const = 0;
    // Where the backend moves the cursor itself and reports the moves (SDL, null, capture): the
    // reports; the poll then follows them. Null for a hardware cursor that has to be polled with a
    // real 1 ms timer (DirectSound).
    virtual CursorWake* cursorWake() { return nullptr; }
    // For a hardware cursor: the system's own 1 ms timer where it has a better one than a thread
    // that sleeps to the next millisecond (the multimedia timer on Windows); null for that thread.
    virtual std::unique_ptr<PeriodicTimer> makeCursorTimer() { return nullptr; }
    // The stream ends at ring offset `end` (1 .. ring size), in a region just handed back: the
    // next time the cursor gets there the device may stop taking bytes and play silence, its
    // cursor standing at the end. A device that cannot stop that exactly plays on until stopped.
    virtual void endRingAt(uint32_t /*end*/) {}
};

}  // namespace tarvex
