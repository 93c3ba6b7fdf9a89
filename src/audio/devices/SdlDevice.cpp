#include "audio/devices/SdlDevice.h"

#include <SDL.h>

#include <algorithm>
#include <new>
#include <string>

#if defined(__linux__)
#include <dlfcn.h>
#endif

namespace tarvex {
namespace {

// SDL's transfer size: the largest power of two up to half a segment, so the ring's cursor moves
// in steps the 1 ms poll can follow; at least 64 frames, at most 4096.
uint16_t transferFrames(uint32_t segmentFrames) {
    uint32_t frames = 64;
    while (frames * 2 <= segmentFrames / 2 && frames < 4096) frames *= 2;
    return static_cast<uint16_t>(frames);
}

#if defined(__linux__)
void ignoreAlsaMessage(const char*, int, const char*, int, const char*, ...) {}
#endif

// SDL tries ALSA when no sound server answers, and ALSA prints its own complaints to stderr when
// there is no sound card. The player reports a failed open itself, in one line: silence ALSA's
// messages in the library SDL is about to load (the same copy, since it is already loaded).
void quietAlsa() {
#if defined(__linux__)
    void* alsa = dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL);
    if (alsa == nullptr) return;
    using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
    using SetHandler = int (*)(Handler);
    if (auto set = reinterpret_cast<SetHandler>(dlsym(alsa, "snd_lib_error_set_handler")))
        set(ignoreAlsaMessage);
        // The handle stays open: SDL keeps using the library and its handler.
#endif
}

}  // namespace

SdlDevice::~SdlDevice() {
    close();
}

bool SdlDevice::openStream(const PcmFormat& format, uint32_t segmentBytes) {
    quietAlsa();
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        setOpenFailure(std::string("no audio device: ") + SDL_GetError());
        return false;
    }
    subsystemUp_ = true;

    SDL_AudioSpec want{};
    want.freq = static_cast<int>(format.rate);
    want.channels = static_cast<Uint8>(format.channels);
    want.format = format.bits == 8 ? AUDIO_U8 : format.bits == 16 ? AUDIO_S16LSB : AUDIO_S32LSB;
    want.samples = transferFrames(segmentBytes / format.blockAlign());
    want.callback = callback;
    want.userdata = this;
    if (format.bits == 24) {
        packedBytes_ = 4096u * format.blockAlign();
        packed_.reset(new (std::nothrow) uint8_t[packedBytes_]);
        if (!packed_) {
            setOpenFailure("out of memory");
            closeStream();
            return false;
        }
    }
    SDL_AudioSpec have{};
    // SDL converts to whatever the hardware takes; the callback always sees this format.
    deviceId_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (deviceId_ == 0) {
        setOpenFailure(std::string("no audio device: ") + SDL_GetError());
        closeStream();
        return false;
    }
    // SDL's own pause would still feed silence to some drivers; pausing is done in pull instead.
    SDL_PauseAudioDevice(deviceId_, 0);
    return true;
}

void SdlDevice::closeStream() {
    if (deviceId_ != 0) {
        SDL_CloseAudioDevice(deviceId_);  // returns once the callback has finished for good
        deviceId_ = 0;
    }
    if (subsystemUp_) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        subsystemUp_ = false;
    }
    packed_.reset();
    packedBytes_ = 0;
}

void SdlDevice::callback(void* userdata, uint8_t* stream, int len) {
    auto& self = *static_cast<SdlDevice*>(userdata);
    const PcmFormat& format = self.format();
    if (format.bits != 24) {
        self.pull(stream, static_cast<uint32_t>(len));
        return;
    }
    // Take packed 3-byte samples and widen each to 4 bytes, low byte zero.
    uint32_t samples = static_cast<uint32_t>(len) / 4;
    uint8_t* out = stream;
    while (samples > 0) {
        const uint32_t frames = std::min(samples / format.channels, self.packedBytes_ / format.blockAlign());
        if (frames == 0) break;
        const uint32_t n = frames * format.channels;
        self.pull(self.packed_.get(), n * 3);
        const uint8_t* in = self.packed_.get();
        for (uint32_t i = 0; i < n; ++i, in += 3, out += 4) {
            out[0] = 0;
            out[1] = in[0];
            out[2] = in[1];
            out[3] = in[2];
        }
        samples -= n;
    }
}

}  // namespace tarvex
