// The player context: everything the application has one of. Tests create as many as they like.
#pragma once

#include "audio/Mixer.h"
#include "engine/Engine.h"

namespace tarvex {

class Player : public Engine {
public:
    MixState mix;

protected:
    void resetMixState() override { tarvex::resetMixState(*this); }
};

}  // namespace tarvex
