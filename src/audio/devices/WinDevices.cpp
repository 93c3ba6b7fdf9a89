#include "audio/devices/WinDevices.h"

// clang-format off
#include <windows.h>
#include <mmsystem.h>
#include <dsound.h>
// clang-format on

#include <cstring>
#include <new>

namespace tarvex {
namespace {

std::atomic<HWND> ownerWindow{nullptr};

WAVEFORMATEX waveFormat(const PcmFormat& format) {
    WAVEFORMATEX wfx{};
    wfx.wFormatTag = WAVE_FORMAT_PCM;
    wfx.nChannels = static_cast<WORD>(format.channels);
    wfx.nSamplesPerSec = format.rate;
    wfx.wBitsPerSample = static_cast<WORD>(format.bits);
    wfx.nBlockAlign = static_cast<WORD>(format.blockAlign());
    wfx.nAvgBytesPerSec = format.bytesPerSecond();
    wfx.cbSize = 0;
    return wfx;
}

void CALLBACK waveOutCallback(HWAVEOUT, UINT message, DWORD_PTR instance, DWORD_PTR, DWORD_PTR) {
    reinterpret_cast<WaveOutDevice*>(instance)->onMessage(message);
}

}  // namespace

void setSoundOwnerWindow(void* hwnd) {
    ownerWindow.store(static_cast<HWND>(hwnd), std::memory_order_relaxed);
}

// ---- waveform-audio

struct WaveOutDevice::Header {
    WAVEHDR hdr;
};

WaveOutDevice::WaveOutDevice() = default;

WaveOutDevice::~WaveOutDevice() {
    close();
}

bool WaveOutDevice::open(DeviceKind kind, const PcmFormat& format, uint32_t, SegmentDoneHandler done,
                         void* context) {
    close();
    if (kind != DeviceKind::queued) return false;
    done_ = done;
    context_ = context;
    closing_.store(false, std::memory_order_seq_cst);
    WAVEFORMATEX wfx = waveFormat(format);
    HWAVEOUT handle = nullptr;
    if (waveOutOpen(&handle, WAVE_MAPPER, &wfx, reinterpret_cast<DWORD_PTR>(&waveOutCallback),
                    reinterpret_cast<DWORD_PTR>(this), CALLBACK_FUNCTION) != MMSYSERR_NOERROR) {
        return false;
    }
    handle_.store(handle, std::memory_order_release);
    if (waveOutReset(handle) != MMSYSERR_NOERROR) {
        close();
        return false;
    }
    return true;
}

void WaveOutDevice::onMessage(unsigned message) {
    if (message != WOM_DONE) return;
    inCallback_.fetch_add(1, std::memory_order_seq_cst);
    if (!closing_.load(std::memory_order_seq_cst) && done_) done_(context_);
    inCallback_.fetch_sub(1, std::memory_order_seq_cst);
}

void WaveOutDevice::close() {
    HWAVEOUT handle = handle_.load(std::memory_order_acquire);
    if (!handle) return;
    // From here no notification renders; one already running is waited for, so that nothing the
    // handler touches goes away under it.
    closing_.store(true, std::memory_order_seq_cst);
    waveOutReset(handle);
    while (inCallback_.load(std::memory_order_seq_cst) != 0) Sleep(0);
    // A notification that was running may have queued one more buffer before it ended.
    waveOutReset(handle);
    for (uint32_t k = 0; k < headerCount_; ++k) {
        WAVEHDR& hdr = headers_[k].hdr;
        if (hdr.dwFlags & WHDR_PREPARED) waveOutUnprepareHeader(handle, &hdr, sizeof hdr);
    }
    handle_.store(nullptr, std::memory_order_release);
    waveOutClose(handle);
    headers_.reset();
    headerCount_ = 0;
}

void WaveOutDevice::pause() {
    if (HWAVEOUT handle = handle_.load(std::memory_order_acquire)) waveOutPause(handle);
}

void WaveOutDevice::resume() {
    if (HWAVEOUT handle = handle_.load(std::memory_order_acquire)) waveOutRestart(handle);
}

bool WaveOutDevice::createQueue(uint32_t segmentCount, uint32_t) {
    if (!handle_.load(std::memory_order_acquire) || segmentCount == 0 || segmentCount > kMaxSegments) {
        return false;
    }
    headers_.reset(new (std::nothrow) Header[segmentCount]);
    if (!headers_) return false;
    std::memset(static_cast<void*>(headers_.get()), 0, sizeof(Header) * segmentCount);
    headerCount_ = segmentCount;
    return true;
}

void WaveOutDevice::queueSegment(uint32_t index, const uint8_t* data, uint32_t bytes) {
    HWAVEOUT handle = handle_.load(std::memory_order_acquire);
    if (!handle || index >= headerCount_) return;
    WAVEHDR& hdr = headers_[index].hdr;
    if (hdr.dwFlags & WHDR_PREPARED) waveOutUnprepareHeader(handle, &hdr, sizeof hdr);
    hdr.lpData = reinterpret_cast<LPSTR>(const_cast<uint8_t*>(data));
    hdr.dwBufferLength = bytes;
    hdr.dwFlags = 0;
    waveOutPrepareHeader(handle, &hdr, sizeof hdr);
    waveOutWrite(handle, &hdr, sizeof hdr);
}

// A header the device still holds reports WAVERR_STILLPLAYING when unprepared; once it has been
// played the unprepare succeeds and the header is free to be filled again.
bool WaveOutDevice::segmentPlaying(uint32_t index) {
    HWAVEOUT handle = handle_.load(std::memory_order_acquire);
    if (!handle || index >= headerCount_) return false;
    WAVEHDR& hdr = headers_[index].hdr;
    if (!(hdr.dwFlags & WHDR_PREPARED)) return false;
    if (waveOutUnprepareHeader(handle, &hdr, sizeof hdr) == WAVERR_STILLPLAYING) return true;
    hdr.dwFlags = 0;
    return false;
}

void WaveOutDevice::resetQueue() {
    if (HWAVEOUT handle = handle_.load(std::memory_order_acquire)) waveOutReset(handle);
}

// ---- DirectSound

DirectSoundDevice::~DirectSoundDevice() {
    close();
}

bool DirectSoundDevice::open(DeviceKind kind, const PcmFormat& format, uint32_t, SegmentDoneHandler, void*) {
    close();
    if (kind != DeviceKind::ring) return false;
    format_ = format;
    // COM stays initialised on the opening thread when a close ran on another one (the end of a
    // song stops on the timer's thread); then it is not initialised a second time here.
    const DWORD thread = GetCurrentThreadId();
    if (!comInitialised_ || comThread_ != thread) {
        if (comInitialised_) {
            // Initialised on a thread that is not this one: that count is left to that thread.
            comInitialised_ = false;
        }
        comInitialised_ = SUCCEEDED(CoInitialize(nullptr));
        comThread_ = thread;
    }
    HWND owner = ownerWindow.load(std::memory_order_relaxed);
    if (!owner) owner = GetForegroundWindow();
    if (!owner) owner = GetDesktopWindow();

    if (FAILED(DirectSoundCreate(nullptr, &sound_, nullptr))) {
        sound_ = nullptr;
        return false;
    }
    if (FAILED(sound_->SetCooperativeLevel(owner, DSSCL_PRIORITY))) return false;
    DSBUFFERDESC desc{};
    desc.dwSize = sizeof desc;
    desc.dwFlags = DSBCAPS_PRIMARYBUFFER;
    IDirectSoundBuffer* primary = nullptr;
    if (FAILED(sound_->CreateSoundBuffer(&desc, &primary, nullptr))) return false;
    WAVEFORMATEX wfx = waveFormat(format);
    const HRESULT formatResult = primary->SetFormat(&wfx);
    primary->Release();
    return SUCCEEDED(formatResult);
}

void DirectSoundDevice::close() {
    if (IDirectSoundBuffer* buffer = buffer_.exchange(nullptr, std::memory_order_acq_rel)) {
        buffer->Stop();
        buffer->Release();
    }
    if (sound_) {
        sound_->Release();
        sound_ = nullptr;
    }
    if (comInitialised_ && comThread_ == GetCurrentThreadId()) {
        CoUninitialize();
        comInitialised_ = false;
    }
}

void DirectSoundDevice::pause() {
    if (IDirectSoundBuffer* buffer = buffer_.load(std::memory_order_acquire)) buffer->Stop();
}

void DirectSoundDevice::resume() {
    if (IDirectSoundBuffer* buffer = buffer_.load(std::memory_order_acquire))
        buffer->Play(0, 0, DSBPLAY_LOOPING);
}

bool DirectSoundDevice::createRing(uint32_t bytes) {
    if (!sound_ || bytes == 0) return false;
    WAVEFORMATEX wfx = waveFormat(format_);
    DSBUFFERDESC desc{};
    desc.dwSize = sizeof desc;
    // DSBCAPS_GETCURRENTPOSITION2 | DSBCAPS_GLOBALFOCUS | DSBCAPS_CTRLPOSITIONNOTIFY (0x18100).
    desc.dwFlags = DSBCAPS_GETCURRENTPOSITION2 | DSBCAPS_GLOBALFOCUS | DSBCAPS_CTRLPOSITIONNOTIFY;
    desc.dwBufferBytes = bytes;
    desc.lpwfxFormat = &wfx;
    IDirectSoundBuffer* buffer = nullptr;
    if (FAILED(sound_->CreateSoundBuffer(&desc, &buffer, nullptr))) return false;
    // Silent at first, whatever the device put there.
    void* first = nullptr;
    DWORD firstBytes = 0;
    void* second = nullptr;
    DWORD secondBytes = 0;
    if (SUCCEEDED(buffer->Lock(0, bytes, &first, &firstBytes, &second, &secondBytes, 0))) {
        std::memset(first, format_.silenceByte(), firstBytes);
        if (second) std::memset(second, format_.silenceByte(), secondBytes);
        buffer->Unlock(first, firstBytes, second, secondBytes);
    }
    buffer->SetCurrentPosition(0);
    buffer_.store(buffer, std::memory_order_release);
    return true;
}

uint8_t* DirectSoundDevice::lockRing(uint32_t offset, uint32_t bytes) {
    IDirectSoundBuffer* buffer = buffer_.load(std::memory_order_acquire);
    if (!buffer) return nullptr;
    void* first = nullptr;
    DWORD firstBytes = 0;
    void* second = nullptr;
    DWORD secondBytes = 0;
    if (FAILED(buffer->Lock(offset, bytes, &first, &firstBytes, &second, &secondBytes, 0))) return nullptr;
    if (first == nullptr || firstBytes < bytes) {
        // Not the one contiguous region asked for: hand it back untouched.
        buffer->Unlock(first, firstBytes, second, secondBytes);
        return nullptr;
    }
    lockedFirst_ = first;
    lockedFirstBytes_ = firstBytes;
    lockedSecond_ = second;
    lockedSecondBytes_ = secondBytes;
    return static_cast<uint8_t*>(first);
}

void DirectSoundDevice::unlockRing(uint32_t, uint32_t) {
    IDirectSoundBuffer* buffer = buffer_.load(std::memory_order_acquire);
    if (!buffer || !lockedFirst_) return;
    buffer->Unlock(lockedFirst_, lockedFirstBytes_, lockedSecond_, lockedSecondBytes_);
    lockedFirst_ = nullptr;
    lockedSecond_ = nullptr;
}

uint32_t DirectSoundDevice::playCursor() const {
    IDirectSoundBuffer* buffer = buffer_.load(std::memory_order_acquire);
    if (!buffer) return 0;
    DWORD play = 0;
    DWORD write = 0;
    if (FAILED(buffer->GetCurrentPosition(&play, &write))) return 0;
    return play;
}

// ---- both kinds

WindowsDevice::WindowsDevice() = default;
WindowsDevice::~WindowsDevice() = default;

bool WindowsDevice::open(DeviceKind kind, const PcmFormat& format, uint32_t segmentBytes,
                         SegmentDoneHandler done, void* context) {
    active_->close();
    active_ = kind == DeviceKind::queued ? static_cast<AudioBackend*>(&waveOut_) : &directSound_;
    return active_->open(kind, format, segmentBytes, done, context);
}

// ---- the multimedia timer

namespace {

class MultimediaTimer final : public PeriodicTimer {
   public:
    ~MultimediaTimer() override { kill(); }

    bool start(TimerHandler handler, void* context) override {
        kill();
        handler_ = handler;
        context_ = context;
        killed_.store(false, std::memory_order_seq_cst);
        const MMRESULT id = timeSetEvent(1, 0, &MultimediaTimer::callback, reinterpret_cast<DWORD_PTR>(this),
                                         TIME_PERIODIC | TIME_CALLBACK_FUNCTION);
        if (id == 0) return false;
        id_.store(id, std::memory_order_release);
        return true;
    }

    void kill() override {
        killed_.store(true, std::memory_order_seq_cst);
        const UINT id = id_.exchange(0, std::memory_order_acq_rel);
        if (id != 0) timeKillEvent(id);
        // A handler that kills its own timer cannot wait for itself; it only keeps further calls
        // from running. Anyone else waits until the running call is over.
        if (GetCurrentThreadId() == timerThread_.load(std::memory_order_relaxed)) return;
        while (inCallback_.load(std::memory_order_seq_cst) != 0) Sleep(0);
    }

   private:
    static void CALLBACK callback(UINT, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
        auto* self = reinterpret_cast<MultimediaTimer*>(user);
        self->inCallback_.fetch_add(1, std::memory_order_seq_cst);
        self->timerThread_.store(GetCurrentThreadId(), std::memory_order_relaxed);
        if (!self->killed_.load(std::memory_order_seq_cst)) self->handler_(self->context_);
        self->timerThread_.store(0, std::memory_order_relaxed);
        self->inCallback_.fetch_sub(1, std::memory_order_seq_cst);
    }

    TimerHandler handler_ = nullptr;
    void* context_ = nullptr;
    std::atomic<UINT> id_{0};
    std::atomic<bool> killed_{true};
    std::atomic<int> inCallback_{0};
    std::atomic<DWORD> timerThread_{0};
};

}  // namespace

std::unique_ptr<PeriodicTimer> makeMultimediaTimer() {
    return std::make_unique<MultimediaTimer>();
}

std::unique_ptr<PeriodicTimer> WindowsDevice::makeCursorTimer() {
    return makeMultimediaTimer();
}

}  // namespace tarvex
