// How long a song plays: the playing time at which it ends when stepped tick by tick at 44100 Hz
// with LoopsAllowed off, measured up to one hour of song time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/Engine.h"

namespace tarvex {

inline constexpr uint32_t kDurationRate = 44100;
inline constexpr uint32_t kDurationLimitMicros = 3600u * 1000000u;  // one hour of song time

struct SongDuration {
    bool ended = false;         // false: still playing after an hour ("over 60:00")
    uint32_t milliseconds = 0;  // playTime at the end, when ended
};

// Steps the engine's module from its start; the engine's settings are left as they were, its song
// state is that of the end. Stops after one hour of song time, so it returns for every module.
SongDuration measureDuration(Engine& engine);
// The same for a module outside any player; the module is handed back unchanged but for stepBase.
SongDuration measureDuration(Module& module);

// "m:ss.mmm" (e.g. "3:25.120"), or "over 60:00".
std::string formatDuration(const SongDuration& duration);

}  // namespace tarvex
