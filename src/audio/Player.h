// The player context: everything the application has one of. Tests create as many as they like.
#pragma once

#include "audio/Mixer.h"
#include "audio/OutputDevice.h"
#include "engine/Engine.h"

namespace tarvex {

class Player : public Engine {
public:
    MixState mix;
    // Declared after the mixer: its destructor stops the device and the timer before the
    // buffers they render into go.
    OutputDevice device;

protected:
    void resetMixState() override { tarvex::resetMixState(*this); }
};

}  // namespace tarvex
