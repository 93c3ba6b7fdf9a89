// How long a song plays: the playing time at which it ends when stepped tick by tick at 44100 Hz
// with LoopsAllowed off, measured up to one hour of song time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

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

// For each order position, where a jump to it lands: the play time, tempo and speed the song has
// when it first gets there, stepped as measureDuration steps it. A position the song never reaches
// gets the time of the last one reached before it and keeps the tempo and speed (0). The module is
// handed back unchanged but for stepBase.
std::vector<SeekTarget> positionStarts(Module& module);

// "m:ss.mmm" (e.g. "3:25.120"), or "over 60:00".
std::string formatDuration(const SongDuration& duration);

}  // namespace tarvex
