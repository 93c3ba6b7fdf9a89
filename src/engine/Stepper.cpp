#include "engine/Stepper.h"

namespace tarvex {

void Stepper::start(uint32_t rate) {
    engine_.settings.Frequency = rate;
    startSong(engine_);
    ticks_ = 0;
}

bool Stepper::tick() {
    if (ended()) return false;
    playTick(engine_);
    ++ticks_;
    return true;
}

uint32_t Stepper::run(uint32_t count) {
    uint32_t done = 0;
    while (done < count && tick()) ++done;
    return done;
}

uint32_t Stepper::framesToNextTick() {
    uint32_t frames = 0;
    bool boundary = false;
    while (!boundary) {
        const bool endedBefore = ended();
        boundary = countFrame(engine_);
        ++frames;
        if (boundary && !endedBefore) ++ticks_;
    }
    return frames;
}

}  // namespace tarvex
