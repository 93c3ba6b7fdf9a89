// Sound output on Windows: waveform-audio for the queued kind ("Use WaveOut" on), DirectSound for
// the ring kind, and the multimedia timer that polls the DirectSound play cursor.
//
// Waveform-audio: the wave mapper opened with a callback function; each queued segment is one
// prepared header, and WOM_DONE tells that it has played. DirectSound: a looping secondary buffer
// holding the whole ring, locked and unlocked segment by segment; the play cursor is read with
// GetCurrentPosition. Both report nothing themselves: a failed call shows as a failed open.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

#include "audio/AudioBackend.h"

struct HWAVEOUT__;
struct IDirectSound;
struct IDirectSoundBuffer;

namespace tarvex {

// The window DirectSound's cooperative level is set for; when none is set, the foreground window
// at open, else the desktop window. The window program sets its dialog here.
void setSoundOwnerWindow(void* hwnd);

class WaveOutDevice final : public AudioBackend {
   public:
    WaveOutDevice();
    ~WaveOutDevice() override;

    bool open(DeviceKind kind, const PcmFormat& format, uint32_t segmentBytes, SegmentDoneHandler done,
              void* context) override;
    void close() override;
    void pause() override;
    void resume() override;

    bool createQueue(uint32_t segmentCount, uint32_t segmentBytes) override;
    void queueSegment(uint32_t index, const uint8_t* data, uint32_t bytes) override;
    bool segmentPlaying(uint32_t index) override;
    void resetQueue() override;

    bool createRing(uint32_t) override { return false; }
    uint8_t* lockRing(uint32_t, uint32_t) override { return nullptr; }
    void unlockRing(uint32_t, uint32_t) override {}
    uint32_t playCursor() const override { return 0; }

    // The device's callback; public for the C callback shim only.
    void onMessage(unsigned message);

   private:
    static constexpr uint32_t kMaxSegments = 16;
    struct Header;  // a WAVEHDR, kept opaque here

    std::atomic<HWAVEOUT__*> handle_{nullptr};
    SegmentDoneHandler done_ = nullptr;
    void* context_ = nullptr;
    std::atomic<bool> closing_{false};
    std::atomic<int> inCallback_{0};
    std::unique_ptr<Header[]> headers_;
    uint32_t headerCount_ = 0;
};

class DirectSoundDevice final : public AudioBackend {
   public:
    DirectSoundDevice() = default;
    ~DirectSoundDevice() override;

    bool open(DeviceKind kind, const PcmFormat& format, uint32_t segmentBytes, SegmentDoneHandler done,
              void* context) override;
    void close() override;
    void pause() override;
    void resume() override;

    bool createQueue(uint32_t, uint32_t) override { return false; }
    void queueSegment(uint32_t, const uint8_t*, uint32_t) override {}
    bool segmentPlaying(uint32_t) override { return false; }
    void resetQueue() override {}

    bool createRing(uint32_t bytes) override;
    uint8_t* lockRing(uint32_t offset, uint32_t bytes) override;
    void unlockRing(uint32_t offset, uint32_t bytes) override;
    uint32_t playCursor() const override;

   private:
    PcmFormat format_;
    IDirectSound* sound_ = nullptr;
    std::atomic<IDirectSoundBuffer*> buffer_{nullptr};
    bool comInitialised_ = false;
    unsigned long comThread_ = 0;
    // The two parts of the region locked last (the second stays empty: regions never wrap).
    void* lockedFirst_ = nullptr;
    unsigned long lockedFirstBytes_ = 0;
    void* lockedSecond_ = nullptr;
    unsigned long lockedSecondBytes_ = 0;
};

// Both kinds behind one backend: each open picks waveform-audio or DirectSound by the kind.
class WindowsDevice final : public AudioBackend {
   public:
    WindowsDevice();
    ~WindowsDevice() override;
    bool open(DeviceKind kind, const PcmFormat& format, uint32_t segmentBytes, SegmentDoneHandler done,
              void* context) override;
    void close() override { active_->close(); }
    void pause() override { active_->pause(); }
    void resume() override { active_->resume(); }

    bool createQueue(uint32_t count, uint32_t bytes) override { return active_->createQueue(count, bytes); }
    void queueSegment(uint32_t index, const uint8_t* data, uint32_t bytes) override {
        active_->queueSegment(index, data, bytes);
    }
    bool segmentPlaying(uint32_t index) override { return active_->segmentPlaying(index); }
    void resetQueue() override { active_->resetQueue(); }

    bool createRing(uint32_t bytes) override { return active_->createRing(bytes); }
    uint8_t* lockRing(uint32_t offset, uint32_t bytes) override { return active_->lockRing(offset, bytes); }
    void unlockRing(uint32_t offset, uint32_t bytes) override { active_->unlockRing(offset, bytes); }
    uint32_t playCursor() const override { return active_->playCursor(); }
    // DirectSound's cursor is polled by the multimedia timer.
    std::unique_ptr<PeriodicTimer> makeCursorTimer() override;

   private:
    WaveOutDevice waveOut_;
    DirectSoundDevice directSound_;
    AudioBackend* active_ = &directSound_;
};

// The periodic multimedia timer: timeSetEvent with a 1 ms delay, killed with timeKillEvent.
std::unique_ptr<PeriodicTimer> makeMultimediaTimer();

}  // namespace tarvex
