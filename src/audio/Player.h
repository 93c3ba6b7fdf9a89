// The player context: everything the application has one of. Tests create as many as they like.
#pragma once

#include "audio/Mixer.h"
#include "audio/OutputDevice.h"
#include "engine/Engine.h"

namespace tarvex {

class Player : public Engine {
public:
    Player() = default;
    // Stops playback first, so no device thread renders into a player that is going.
    ~Player() override;

    MixState mix;
    ChannelMutes mutes;
    // Declared after the mixer: its destructor stops the device and the timer before the
    // buffers they render into go.
    OutputDevice device;
    // Preamp position 1..1024 the mix divisor follows; startPlayback applies it right after the
    // song start, where 512 gives the song-start divisor itself.
    uint32_t preamp = kDefaultPreamp;

   protected:
    void resetMixState() override { tarvex::resetMixState(*this); }
};

}  // namespace tarvex
