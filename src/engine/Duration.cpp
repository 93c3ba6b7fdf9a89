#include "engine/Duration.h"

#include <cstdio>

namespace tarvex {

namespace {

// A safety net behind the time limit: one hour of the shortest tick a file can ask for (tempo 255
// gives 9803 microseconds). Only a tempo set outside any file format could reach it first.
constexpr uint64_t kMaxTicks = kDurationLimitMicros / (2500000 / 255) + 1;

}  // namespace

SongDuration measureDuration(Engine& engine) {
    if (!engine.module) return SongDuration{true, 0};  // nothing to play
    const uint32_t savedRate = engine.settings.Frequency;
    const bool savedLoops = engine.settings.LoopsAllowed.load(std::memory_order_relaxed);
    engine.settings.Frequency = kDurationRate;
    engine.settings.LoopsAllowed.store(false, std::memory_order_relaxed);
    startSong(engine);

    PlayerState& state = engine.state;
    SongDuration duration;
    for (uint64_t ticks = 0; ticks < kMaxTicks; ++ticks) {
        if (state.playTime.load(std::memory_order_relaxed) >= kDurationLimitMicros) break;
        playTick(engine);
        if (state.songEnded.load(std::memory_order_relaxed)) {
            const uint32_t micros = state.playTime.load(std::memory_order_relaxed);
            // An end in the very tick that crosses the hour still counts as over the hour.
            duration.ended = micros < kDurationLimitMicros;
            duration.milliseconds = duration.ended ? micros / 1000 : 0;
            break;
        }
    }

    engine.settings.Frequency = savedRate;
    engine.settings.LoopsAllowed.store(savedLoops, std::memory_order_relaxed);
    return duration;
}

SongDuration measureDuration(Module& module) {
    Engine engine;
    engine.module = std::make_unique<Module>(std::move(module));
    SongDuration duration;
    try {
        duration = measureDuration(engine);
    } catch (...) {
        module = std::move(*engine.module);
        throw;
    }
    module = std::move(*engine.module);
    return duration;
}

std::string formatDuration(const SongDuration& duration) {
    if (!duration.ended) return "over 60:00";
    const uint32_t ms = duration.milliseconds;
    char text[32];
    std::snprintf(text, sizeof text, "%u:%02u.%03u", ms / 60000, ms / 1000 % 60, ms % 1000);
    return text;
}

}  // namespace tarvex
