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

// For each order position, where a jump to it lands: the play time, tempo and speed the song begun
// at songStart has when it first gets there, stepped as measureDuration steps it. A position the
// song never reaches gets the time of the last one reached before it and keeps the tempo and speed
// (0). The module is handed back unchanged but for stepBase.
std::vector<SeekTarget> positionStarts(Module& module, uint32_t songStart = 0);

// One song of a module: where in the order list it begins, and how long it plays from there.
struct Subsong {
    uint32_t start = 0;
    SongDuration duration;
};

// Every song in the module: the song from its start, then one from each first position of the
// order list that no song before has played, each stepped as measureDuration steps it. There is
// always at least one. The module is handed back unchanged but for stepBase.
std::vector<Subsong> findSubsongs(Module& module);

// How a MOD's Fxx above 31 is read: as the tempo, as the speed (a player timed by the screen's
// vertical blank), or as the file's content suggests.
enum class ModTiming { automatic, tempo, vblank };

// Sets module.vblankTiming (MOD files only; other formats keep it off). Automatic: a MOD is taken
// as timed by the vertical blank when it plays an Fxx above 31 (a tempo), lasts at least
// kVblankMinDuration when read with tempos, and is shorter when every Fxx is read as the speed:
// songs written for such players use a large Fxx as a long pause, which read as a tempo slows
// everything after it down.
void chooseTiming(Module& module, ModTiming timing = ModTiming::automatic);
inline constexpr uint32_t kVblankMinDurationMs = 8 * 60 * 1000;

// The frame of a song played at rate that a time in microseconds falls on, truncated.
inline uint64_t frameAtTime(uint64_t microseconds, uint32_t rate) {
    // Split so that the product cannot overflow: whole seconds, then the microseconds left.
    return microseconds / 1000000 * rate + microseconds % 1000000 * rate / 1000000;
}

// "m:ss.mmm" (e.g. "3:25.120"), or "over 60:00".
std::string formatDuration(const SongDuration& duration);

}  // namespace tarvex
