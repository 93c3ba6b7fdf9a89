#include "audio/devices/Devices.h"

#include <string>

#include "audio/devices/NullDevice.h"
#include "audio/devices/SdlDevice.h"

namespace tarvex {

std::unique_ptr<AudioBackend> makeBackend(std::string_view name) {
    if (name == "sdl") return std::make_unique<SdlDevice>();
    if (name == "null") return std::make_unique<NullDevice>();
    constexpr std::string_view capture = "capture=";
    if (name.substr(0, capture.size()) == capture && name.size() > capture.size()) {
        return std::make_unique<CaptureDevice>(std::string(name.substr(capture.size())));
    }
    return nullptr;
}

}  // namespace tarvex
