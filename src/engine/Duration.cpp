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
    const uint32_t savedRepeats = engine.repeatCount;
    engine.settings.Frequency = kDurationRate;
    engine.settings.LoopsAllowed.store(false, std::memory_order_relaxed);
    engine.repeatCount = 0;  // a duration is one pass
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
    engine.repeatCount = savedRepeats;
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

std::vector<SeekTarget> positionStarts(Module& module) {
    Engine engine;
    engine.module = std::make_unique<Module>(std::move(module));
    engine.settings.Frequency = kDurationRate;
    engine.settings.LoopsAllowed.store(false, std::memory_order_relaxed);
    startSong(engine);
    PlayerState& state = engine.state;
    std::vector<SeekTarget> starts(state.playableOrders);
    std::vector<bool> reached(state.playableOrders, false);
    for (uint32_t o = 0; o < starts.size(); ++o) starts[o].order = o;
    for (uint64_t ticks = 0; ticks < kMaxTicks; ++ticks) {
        const uint32_t before = state.playTime.load(std::memory_order_relaxed);
        if (before >= kDurationLimitMicros) break;
        const uint32_t tempo = state.tempo.load(std::memory_order_relaxed);
        const uint16_t speed = state.speed.load(std::memory_order_relaxed);
        const uint32_t orderBefore = state.nextOrder.load(std::memory_order_relaxed);
        playTick(engine);
        if (state.songEnded.load(std::memory_order_relaxed)) break;
        const uint32_t next = state.nextOrder.load(std::memory_order_relaxed);
        if (next == orderBefore || next == 0 || reached[next - 1]) continue;
        reached[next - 1] = true;
        starts[next - 1] = SeekTarget{next - 1, before, tempo, speed};
    }
    for (uint32_t o = 0; o < starts.size(); ++o) {
        if (!reached[o]) starts[o].playTime = o == 0 ? 0 : starts[o - 1].playTime;
    }
    module = std::move(*engine.module);
    return starts;
}

std::string formatDuration(const SongDuration& duration) {
    if (!duration.ended) return "over 60:00";
    const uint32_t ms = duration.milliseconds;
    char text[32];
    std::snprintf(text, sizeof text, "%u:%02u.%03u", ms / 60000, ms / 1000 % 60, ms % 1000);
    return text;
}

}  // namespace tarvex
