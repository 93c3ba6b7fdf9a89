// What the output layer needs of a sound device and of a periodic timer, whatever provides them.
//
// Two device kinds, one interface. The queued kind takes whole segments into a play queue and
// reports each one once it has been played; the ring kind is one looping buffer the caller writes
// into while the device's play cursor runs through it. Every backend offers both.
#pragma once

#include <cstdint>
#include <string>

#include "core/PcmFormat.h"

namespace tarvex {

enum class DeviceKind : uint8_t {
    ring,    // one looping buffer of 8 segments; a 1 ms timer polls the play cursor ("Use WaveOut" off)
    queued,  // 8 queued segment buffers, each refilled when the device reports it played ("Use WaveOut" on)
};

// Runs on the device's own thread after each queued segment has been played out.
using SegmentDoneHandler = void (*)(void* context);

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
    // The stream ends at ring offset `end` (1 .. ring size), in a region just handed back: the
    // next time the cursor gets there the device may stop taking bytes and play silence, its
    // cursor standing at the end. A device that cannot stop that exactly plays on until stopped.
    virtual void endRingAt(uint32_t /*end*/) {}
};

using TimerHandler = void (*)(void* context);

// A periodic 1 ms timer with its own thread.
class PeriodicTimer {
   public:
    virtual ~PeriodicTimer() = default;
    // Calls handler(context) about every millisecond until kill. False when it cannot start.
    virtual bool start(TimerHandler handler, void* context) = 0;
    // From any other thread: stops the timer and returns once no handler call is running. From a
    // handler call on the timer's own thread: no further call follows the running one.
    virtual void kill() = 0;
};

}  // namespace tarvex
