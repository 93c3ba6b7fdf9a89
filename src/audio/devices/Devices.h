// Choosing a backend by name: "sdl" (Linux), "dsound" and "winmm" (Windows), "null" or
// "capture=OUT.wav".
#pragma once

#include <memory>
#include <string_view>

#include "audio/AudioBackend.h"

namespace tarvex {

// The backend a device name stands for, or null when the name is not one of them. Nothing is
// opened here: a backend that cannot open reports it at open.
std::unique_ptr<AudioBackend> makeBackend(std::string_view name);

// The device a player uses when none is named: "dsound" on Windows, "sdl" elsewhere.
#ifdef _WIN32
inline constexpr std::string_view kDefaultDeviceName = "dsound";
#else
inline constexpr std::string_view kDefaultDeviceName = "sdl";
#endif

}  // namespace tarvex
