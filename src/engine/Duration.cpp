#include "engine/Duration.h"

#include <algorithm>
#include <cstdio>

namespace tarvex {

namespace {

// A safety net behind the time limit: one hour of the shortest tick a file can ask for (tempo 255
// gives 9803 microseconds). Only a tempo set outside any file format could reach it first.
constexpr uint64_t kMaxTicks = kDurationLimitMicros / (2500000 / 255) + 1;

// Steps the started song tick by tick until it ends or has played an hour; afterTick(before) runs
// after every tick that did not end it, with the play time the tick started at.
template <typename AfterTick>
SongDuration stepToEnd(Engine& engine, AfterTick afterTick) {
    PlayerState& state = engine.state;
    SongDuration duration;
    for (uint64_t ticks = 0; ticks < kMaxTicks; ++ticks) {
        const uint32_t before = state.playTime.load(std::memory_order_relaxed);
        if (before >= kDurationLimitMicros) break;
        playTick(engine);
        if (state.songEnded.load(std::memory_order_relaxed)) {
            const uint32_t micros = state.playTime.load(std::memory_order_relaxed);
            // An end in the very tick that crosses the hour still counts as over the hour.
            duration.ended = micros < kDurationLimitMicros;
            duration.milliseconds = duration.ended ? micros / 1000 : 0;
            break;
        }
        afterTick(before);
    }
    return duration;
}

// A player of its own for a module outside any: the module moves in, and back out when done.
class BorrowedModule {
   public:
    explicit BorrowedModule(Module& module) : module_(module) {
        engine.module = std::make_unique<Module>(std::move(module));
        engine.settings.Frequency = kDurationRate;
        engine.settings.LoopsAllowed.store(false, std::memory_order_relaxed);
    }
    ~BorrowedModule() { module_ = std::move(*engine.module); }
    BorrowedModule(const BorrowedModule&) = delete;
    BorrowedModule& operator=(const BorrowedModule&) = delete;

    Engine engine;

   private:
    Module& module_;
};

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
    const SongDuration duration = stepToEnd(engine, [](uint32_t) {});
    engine.settings.Frequency = savedRate;
    engine.settings.LoopsAllowed.store(savedLoops, std::memory_order_relaxed);
    engine.repeatCount = savedRepeats;
    return duration;
}

SongDuration measureDuration(Module& module) {
    BorrowedModule borrowed(module);
    return measureDuration(borrowed.engine);
}

std::vector<SeekTarget> positionStarts(Module& module, uint32_t songStart) {
    BorrowedModule borrowed(module);
    Engine& engine = borrowed.engine;
    engine.songStart = songStart;
    startSong(engine);
    PlayerState& state = engine.state;
    std::vector<SeekTarget> starts(state.playableOrders);
    std::vector<bool> reached(state.playableOrders, false);
    for (uint32_t o = 0; o < starts.size(); ++o) starts[o].order = o;
    uint32_t tempo = state.tempo.load(std::memory_order_relaxed);
    uint16_t speed = state.speed.load(std::memory_order_relaxed);
    uint32_t orderBefore = state.nextOrder.load(std::memory_order_relaxed);
    stepToEnd(engine, [&](uint32_t before) {
        const uint32_t next = state.nextOrder.load(std::memory_order_relaxed);
        if (next != orderBefore && next != 0 && !reached[next - 1]) {
            reached[next - 1] = true;
            starts[next - 1] = SeekTarget{next - 1, before, tempo, speed};
        }
        orderBefore = next;
        tempo = state.tempo.load(std::memory_order_relaxed);
        speed = state.speed.load(std::memory_order_relaxed);
    });
    for (uint32_t o = 0; o < starts.size(); ++o) {
        if (!reached[o]) starts[o].playTime = o == 0 ? 0 : starts[o - 1].playTime;
    }
    return starts;
}

std::vector<Subsong> findSubsongs(Module& module) {
    BorrowedModule borrowed(module);
    Engine& engine = borrowed.engine;
    std::vector<Subsong> songs;
    const Module& held = *engine.module;
    std::vector<uint8_t> played(std::min<size_t>(held.songLength, held.orders.size()), 0);
    if (played.empty()) return {Subsong{0, measureDuration(engine)}};
    uint32_t start = 0;
    do {
        engine.songStart = start;
        startSong(engine);
        played[start] = 1;  // a sub-song that ends at once still owns its first position
        PlayerState& state = engine.state;
        const SongDuration duration = stepToEnd(engine, [&](uint32_t) {
            const uint32_t next = state.nextOrder.load(std::memory_order_relaxed);
            if (next != 0 && next <= played.size()) played[next - 1] = 1;
        });
        // The position a song stops in (speed 0 on its first row) is its own, too.
        const uint32_t last = state.nextOrder.load(std::memory_order_relaxed);
        if (last != 0 && last <= played.size()) played[last - 1] = 1;
        songs.push_back(Subsong{start, duration});
        while (start < played.size() && played[start] != 0) ++start;
    } while (start < played.size());
    return songs;
}

void chooseTiming(Module& module, ModTiming timing) {
    const auto setVblank = [&module](bool on) {
        module.vblankTiming = on;
        module.rules.largeSpeedSetsTempo = !on;
    };
    if (module.formatType != kFormatMod) return;
    setVblank(timing == ModTiming::vblank);
    if (timing != ModTiming::automatic) return;
    const SongDuration withTempo = measureDuration(module);
    if (withTempo.ended && withTempo.milliseconds < kVblankMinDurationMs) return;
    setVblank(true);
    const SongDuration withSpeed = measureDuration(module);
    setVblank(withSpeed.ended && (!withTempo.ended || withSpeed.milliseconds < withTempo.milliseconds));
}

std::string formatDuration(const SongDuration& duration) {
    if (!duration.ended) return "over 60:00";
    const uint32_t ms = duration.milliseconds;
    char text[32];
    std::snprintf(text, sizeof text, "%u:%02u.%03u", ms / 60000, ms / 1000 % 60, ms % 1000);
    return text;
}

}  // namespace tarvex
