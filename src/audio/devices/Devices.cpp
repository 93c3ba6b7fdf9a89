#include "audio/devices/Devices.h"

#include <string>

#include "audio/devices/NullDevice.h"
#ifdef _WIN32
#include "audio/devices/WinDevices.h"
#else
#include "audio/devices/SdlDevice.h"
#endif

namespace tarvex {

std::unique_ptr<AudioBackend> makeBackend(std::string_view name) {
#ifdef _WIN32
    // One backend for both names: the device kind picks waveform-audio (queued) or DirectSound
    // (ring) at each open, as the "Use WaveOut" option does in the window.
    if (name == "dsound" || name == "winmm") return std::make_unique<WindowsDevice>();
#else
    if (name == "sdl") return std::make_unique<SdlDevice>();
#endif
    if (name == "null") return std::make_unique<NullDevice>();
    constexpr std::string_view capture = "capture=";
    if (name.substr(0, capture.size()) == capture && name.size() > capture.size()) {
        return std::make_unique<CaptureDevice>(std::string(name.substr(capture.size())));
    }
    return nullptr;
}

}  // namespace tarvex
