// The single device layer shared by the main player and the sample preview: a ring of 8 equal
// segments on a device of either kind.
//
// Queued kind: 8 segment buffers in one block; a buffer is handed to the device when rendered and
// comes back when the device reports it played. Ring kind: one device buffer of 8 segments whose
// play cursor is polled; the segment the cursor has just left is rendered again. The poll is a
// 1 ms timer for a hardware cursor, and sleeps until the backend reports a move where the backend
// moves the cursor itself: the same segments refilled after the same moves, without the wake-ups.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string_view>

#include "audio/AudioBackend.h"

namespace tarvex {

inline constexpr uint32_t kSegmentCount = 8;
inline constexpr uint32_t kSegmentsAhead = kSegmentCount - 1;

// The texts handed to the caller when a start fails (shown with the caption "Error:").
inline constexpr std::string_view kQueuedOpenError = "Error: Failed to open wave out device";
inline constexpr std::string_view kRingOpenError = "Error: Failed to inititialize DirectSound";
inline constexpr std::string_view kQueuedBufferError = "Error: Failed to create a streaming buffer (WaveOut)";
inline constexpr std::string_view kRingBufferError =
    "Error: Failed to create a streaming secondary buffer (DirectSound)";

// Bytes per segment for a buffer duration of bufferLength / 8 ms: bytes per second x duration,
// truncated, then rounded up to a multiple of 8 and then of the frame size.
// 8000 Hz, 8 bits, mono, 15 ms (bufferLength 120): 120 bytes. 44100 Hz, 16-bit stereo, 31.25 ms
// (250): 5512 bytes = 1378 frames. 44100 Hz, 24-bit stereo, 25 ms: 6615 -> 6616 -> 6618.
uint32_t segmentBytesFor(const PcmFormat& format, uint32_t bufferLength);

// The 1 ms timer on a thread of its own (std::thread, sleeping to the next millisecond).
std::unique_ptr<PeriodicTimer> makeThreadTimer();
// The poll on a thread of its own that sleeps until the backend reports a cursor move.
std::unique_ptr<PeriodicTimer> makeCursorPoll(CursorWake& wake);

class OutputDevice {
   public:
    OutputDevice();
    ~OutputDevice();
    OutputDevice(const OutputDevice&) = delete;
    OutputDevice& operator=(const OutputDevice&) = delete;

    // Installed by the application (tests install fakes); never swapped while a device is open.
    std::unique_ptr<AudioBackend> backend;
    // The ring kind's poll when one is installed (tests install a manual one). Otherwise the poll
    // follows the backend's cursor reports where it makes them, and is a 1 ms timer where it
    // does not (the backend's own timer where it offers one).
    std::unique_ptr<PeriodicTimer> timer;

    // Fixed from one open to the next close.
    DeviceKind kind = DeviceKind::ring;
    PcmFormat format;
    uint32_t segmentBytes = 0;
    std::array<uint32_t, kSegmentCount> segmentOffsets = {};

    // Index of the last fill request (0..7); written by whichever thread renders.
    std::atomic<uint32_t> lastSegment{0};

    // Opens the backend for kind in the given format, paused. 0 on success.
    int openDevice(DeviceKind kind, uint32_t rate, uint32_t bits, uint32_t channels, uint32_t bufferLength,
                   SegmentDoneHandler done, void* context);
    // The 8 segments: the zero-filled block of queued buffers, or the device's looping buffer.
    int createStreamBuffers();
    // Always succeed; usable from any thread, also while another thread closes the device.
    int pauseDevice();
    int resumeDevice();
    // Releases what openDevice and createStreamBuffers made. The queued kind first lets every
    // queued buffer play out. Harmless when nothing is open.
    int closeDevice();
    bool isOpen() const { return open_.load(std::memory_order_acquire); }

    // Ring kind: the segment holding the play cursor; queued kind: 0.
    uint32_t playingSegment() const;

    // Ring kind: the stream's last frame ends `bytes` into segment s, which has just been handed
    // back. Records that position for ringEndPassed and tells the backend, which may stop right
    // there. Called by whichever thread renders; does nothing for the queued kind.
    void markRingEnd(uint32_t s, uint32_t bytes);
    // Ring kind, from the poll: true once the play cursor has passed the recorded end, i.e. the
    // stream's last frame has been played. The poll must look at least once per revolution: the
    // cursor has passed the end when its distance to it grows.
    bool ringEndPassed();

    // Write access to segment s: takes back the queued buffer, or locks the ring region. Null when
    // there is nothing to write into (then the segment must not be rendered).
    uint8_t* beginSegment(uint32_t s);
    // Hands segment s back to the device: queues the buffer, or unlocks the ring region.
    void commitSegment(uint32_t s, uint8_t* data);

    // The poll of the ring kind (see timer). refill, when given, is the part of the handler that
    // only refills what the cursor has left; a poll that follows cursor reports then has the
    // backend run it on its own thread at each move into another segment, and is itself woken
    // only once everyMove is set (the end is near).
    bool startTimer(TimerHandler handler, void* context, TimerHandler refill = nullptr);
    // From the timer's own thread this only ends the timer; from any other thread it also waits
    // until no handler runs, whether or not the timer was still marked running.
    void killTimer();
    bool timerRunning() const { return timerRunning_.load(std::memory_order_relaxed); }
    // For a handler that has changed what the next poll would find (the song has finished, the
    // preview has paused the device): a poll that follows cursor reports runs once more at once,
    // as the next event of a 1 ms timer would, and from now on follows every cursor move.
    void pollAgain();
    // Handler calls since the device was made.
    uint32_t pollCount() const { return polls_.load(std::memory_order_relaxed); }

   private:
    static void poll(void* self);
    static void refillHere(void* self);
    PeriodicTimer* activeTimer_ = nullptr;
    std::unique_ptr<PeriodicTimer> cursorPoll_;
    std::unique_ptr<PeriodicTimer> threadTimer_;
    TimerHandler handler_ = nullptr;
    TimerHandler refill_ = nullptr;
    void* handlerContext_ = nullptr;
    std::atomic<uint32_t> polls_{0};

    std::atomic<bool> open_{false};
    std::atomic<bool> buffersCreated_{false};
    std::atomic<bool> timerRunning_{false};
    // Ring kind: one past the stream's last byte (1 .. ring size), 0 while not known; and the
    // distance from the cursor to it at the last look, 1 .. ring size.
    std::atomic<uint32_t> ringEnd_{0};
    std::atomic<uint32_t> ringEndDistance_{0};
    // Queued kind: the 8 data areas, one block; prepared = handed to the device.
    std::unique_ptr<uint8_t[]> queuedBlock_;
    std::array<std::atomic<bool>, kSegmentCount> prepared_ = {};
};

// What a started device is fed from: the main player's song, or a sample preview. The refill
// handlers of Streaming.h call it, on the device's or the timer's thread once the device runs.
class SegmentSource {
   public:
    virtual OutputDevice& streamDevice() = 0;
    // Sets up the first segment, once the device and its buffers exist.
    virtual void beginStream() = 0;
    // Fill request a: renders segment (a + 7) mod 8 and hands it to the device.
    virtual void renderSegment(uint32_t a) = 0;
    // True once nothing more is to be rendered: the handlers then return at once.
    virtual bool streamHalted() const = 0;
    // Ring kind, at each timer event before the cursor is looked at: ends the stream when its end
    // is due (on the timer's own thread) and returns true.
    virtual bool endStreamOnTimer() = 0;

   protected:
    ~SegmentSource() = default;
};

}  // namespace tarvex
