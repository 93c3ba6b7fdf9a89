// Plays a song without a mixer, one tick at a time, for tests and tools.
//
//   Engine engine;  engine.module = ...;
//   Stepper stepper(engine);
//   stepper.start(44100);          // startSong at 44100 Hz
//   while (stepper.tick()) { ... }  // read engine.state and engine.channels after each tick
#pragma once

#include <cstdint>

#include "engine/Engine.h"

namespace tarvex {

class Stepper {
   public:
    explicit Stepper(Engine& engine) : engine_(engine) {}

    // Starts the engine's module from the beginning for an output rate in Hz.
    void start(uint32_t rate);
    // One playTick; returns false, without ticking, once the song has ended.
    bool tick();
    // Ticks until the song ends or count ticks have run; returns the ticks run.
    uint32_t run(uint32_t count);
    // Counts output frames like the mixer until the next tick has run (or, after the end, until the
    // tick boundary at which playback would finish); returns the frames counted.
    uint32_t framesToNextTick();

    bool ended() const { return engine_.state.songEnded.load(std::memory_order_relaxed); }
    uint64_t ticks() const { return ticks_; }
    Engine& engine() { return engine_; }
    const PlayerState& state() const { return engine_.state; }
    const ChannelState& channel(uint32_t index) const { return engine_.channels.at(index); }

   private:
    Engine& engine_;
    uint64_t ticks_ = 0;
};

}  // namespace tarvex
