#include "engine/Engine.h"

namespace tarvex {

Module& Engine::createModule() {
    voices.clear();
    channels.clear();
    state.playingCells = nullptr;
    return tarvex::createModule(module);
}

void Engine::freeModule() {
    voices.clear();
    channels.clear();
    state.playingCells = nullptr;
    tarvex::freeModule(module);
}

void setRewinding(Engine& engine, bool on) {
    engine.state.rewinding.store(on, std::memory_order_relaxed);
}

void setFastForward(Engine& engine, bool on) {
    engine.state.fastForward.store(on, std::memory_order_relaxed);
}

}  // namespace tarvex
