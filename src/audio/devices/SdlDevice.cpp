#include "audio/devices/SdlDevice.h"

#include <SDL.h>

#include <algorithm>
#include <cstdlib>
#include <new>
#include <string>

#if defined(__linux__)
#include <dlfcn.h>
#endif

namespace tarvex {
namespace {

// SDL's transfer size: the largest power of two up to one segment, at least 64 frames, at most
// 4096. Each transfer moves the cursor into the next segment at most, and the refill that move asks
// for runs in the same callback: however many transfers the sound server asks for in a row, each
// finds the 7 segments ahead rendered. And each transfer is a new buffer for the window's scopes.
uint16_t transferFrames(uint32_t segmentFrames) {
    uint32_t frames = 64;
    while (frames * 2 <= segmentFrames && frames < 4096) frames *= 2;
    return static_cast<uint16_t>(frames);
}

// How much the sound server is asked to hold: 140 ms, and at least one and a half transfers.
// PulseAudio, left to itself, holds one transfer and wakes its client several times for each;
// holding more lets it wake the player about 20 times a second, several transfers at a time.
uint32_t soundServerLatencyMs(uint32_t transfer, uint32_t rate) {
    if (rate == 0) return 0;
    return std::max<uint32_t>(140, static_cast<uint32_t>(uint64_t{transfer} * 1500 / rate));
}

// PulseAudio takes the latency from its environment; SDL has no other way to pass it. A value the
// user set stays.
void askSoundServerLatency(uint32_t ms) {
#if defined(__linux__)
    static const bool userSet = std::getenv("PULSE_LATENCY_MSEC") != nullptr;
    if (!userSet && ms != 0) setenv("PULSE_LATENCY_MSEC", std::to_string(ms).c_str(), 1);
#else
    (void)ms;
#endif
}

#if defined(__linux__)
void ignoreAlsaMessage(const char*, int, const char*, int, const char*, ...) {}
#endif

// SDL tries ALSA when no sound server answers, and ALSA prints its own complaints to stderr when
// there is no sound card. The player reports a failed open itself, in one line: silence ALSA's
// messages in the library SDL is about to load (the same copy, since it is already loaded).
void quietAlsa() {
#if defined(__linux__)
    void* alsa = dlopen("libasound.so.2", RTLD_LAZY | RTLD_LOCAL);
    if (alsa == nullptr) return;
    using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
    using SetHandler = int (*)(Handler);
    if (auto set = reinterpret_cast<SetHandler>(dlsym(alsa, "snd_lib_error_set_handler")))
        set(ignoreAlsaMessage);
        // The handle stays open: SDL keeps using the library and its handler.
#endif
}

// The few SDL calls the device makes. On Linux the library is loaded when a device is first
// opened, not when the program starts: most runs (rendering, the null and capture devices) never
// touch it, and linking it would load some fifty libraries (X11, Wayland, PulseAudio, ALSA, ...)
// into every process.
struct SdlApi {
    SDL_bool (*setHint)(const char*, const char*) = nullptr;
    int (*initSubSystem)(Uint32) = nullptr;
    void (*quitSubSystem)(Uint32) = nullptr;
    SDL_AudioDeviceID (*openAudioDevice)(const char*, int, const SDL_AudioSpec*, SDL_AudioSpec*,
                                         int) = nullptr;
    void (*closeAudioDevice)(SDL_AudioDeviceID) = nullptr;
    void (*pauseAudioDevice)(SDL_AudioDeviceID, int) = nullptr;
    const char* (*getError)() = nullptr;
};

#if defined(__linux__)
template <class F>
bool bind(void* library, const char* name, F& function) {
    function = reinterpret_cast<F>(dlsym(library, name));
    return function != nullptr;
}

SdlApi loadSdl() {
    SdlApi api;
    // The handle stays open for the rest of the run.
    void* library = dlopen("libSDL2-2.0.so.0", RTLD_LAZY | RTLD_LOCAL);
    if (library == nullptr) return api;
    if (!bind(library, "SDL_SetHint", api.setHint) ||
        !bind(library, "SDL_InitSubSystem", api.initSubSystem) ||
        !bind(library, "SDL_QuitSubSystem", api.quitSubSystem) ||
        !bind(library, "SDL_OpenAudioDevice", api.openAudioDevice) ||
        !bind(library, "SDL_CloseAudioDevice", api.closeAudioDevice) ||
        !bind(library, "SDL_PauseAudioDevice", api.pauseAudioDevice) ||
        !bind(library, "SDL_GetError", api.getError)) {
        return SdlApi{};
    }
    return api;
}
#else
SdlApi loadSdl() {
    return SdlApi{SDL_SetHint,          SDL_InitSubSystem,    SDL_QuitSubSystem, SDL_OpenAudioDevice,
                  SDL_CloseAudioDevice, SDL_PauseAudioDevice, SDL_GetError};
}
#endif

// Null when SDL cannot be had (then no device opens).
const SdlApi* sdl() {
    static const SdlApi api = loadSdl();
    return api.initSubSystem != nullptr ? &api : nullptr;
}

}  // namespace

SdlDevice::~SdlDevice() {
    close();
}

bool SdlDevice::openStream(const PcmFormat& format, uint32_t segmentBytes) {
    const SdlApi* api = sdl();
    if (api == nullptr) {
        setOpenFailure("no audio device: the SDL library could not be loaded");
        return false;
    }
    quietAlsa();
    // SDL would otherwise take SIGINT and SIGTERM for a quit event nobody reads, and the player
    // could no longer be interrupted or ended.
    api->setHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (api->initSubSystem(SDL_INIT_AUDIO) != 0) {
        setOpenFailure(std::string("no audio device: ") + api->getError());
        return false;
    }
    subsystemUp_ = true;

    SDL_AudioSpec want{};
    want.freq = static_cast<int>(format.rate);
    want.channels = static_cast<Uint8>(format.channels);
    want.format = format.bits == 8 ? AUDIO_U8 : format.bits == 16 ? AUDIO_S16LSB : AUDIO_S32LSB;
    want.samples = transferFrames(segmentBytes / format.blockAlign());
    askSoundServerLatency(soundServerLatencyMs(want.samples, format.rate));
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
    deviceId_ = api->openAudioDevice(nullptr, 0, &want, &have, 0);
    if (deviceId_ == 0) {
        setOpenFailure(std::string("no audio device: ") + api->getError());
        closeStream();
        return false;
    }
    // SDL's own pause would still feed silence to some drivers; pausing is done in pull instead.
    // (Silence it is: a sound server left without data while paused would, at the resume, drop
    // the first part of what comes, to catch up with its clock.)
    api->pauseAudioDevice(deviceId_, 0);
    return true;
}

void SdlDevice::closeStream() {
    const SdlApi* api = sdl();
    if (deviceId_ != 0) {
        api->closeAudioDevice(deviceId_);  // returns once the callback has finished for good
        deviceId_ = 0;
    }
    if (subsystemUp_) {
        api->quitSubSystem(SDL_INIT_AUDIO);
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
