// What sounds: one voice as the mixer sees it. A tracker channel (ChannelState) drives one voice
// of its own in MOD, S3M and STM; formats with instruments may keep more voices than channels, each
// knowing the channel that owns it, so that mutes, scopes and levels map it back.
#pragma once

#include <cstdint>

#include "model/Module.h"

namespace tarvex {

struct Voice {
    bool noteStarted = false;       // set on a (re)start; the mixer clears it for de-click
    uint32_t positionFraction = 0;  // 1/1024 frame; written only by the mixer
    int32_t position = 0;           // frame index; -1 once a sample without loop has ended
    int32_t period = 0;             // sounding period x16; 0 = none, and the mixer skips the voice
    uint32_t step = 0;              // source frames per output frame in 1/1024 frame
    int32_t leftVolume = 0;
    int32_t rightVolume = 0;
    int32_t lastMixValue = 0;  // owned by the mixer
    const Sample* sample = nullptr;
    uint32_t channel = 0;  // the tracker channel that owns the voice
    // Gain ramps, for voices whose engine asks for them (instrument channels): a change of gains
    // is heard over kRampSteps short steps instead of at once. The engine sets rampGains, and
    // rampFromSilence on a note start; the rest is the mixer's.
    bool rampGains = false;
    bool rampFromSilence = false;
    int32_t rampFromLeft = 0, rampFromRight = 0, rampToLeft = 0, rampToRight = 0;
    uint32_t rampStep = 0;   // steps done; kRampSteps when none runs
    uint32_t rampFrame = 0;  // frames done of the step under way
    // A resonant low-pass filter on the voice's samples (IT): y = a0 x + b0 y1 + b1 y2. The engine
    // sets the coefficients and clears the history on a note start; the mixer runs it.
    bool filterOn = false;
    double filterA0 = 1, filterB0 = 0, filterB1 = 0;
    double filterY1 = 0, filterY2 = 0;
};

inline constexpr uint32_t kRampSteps = 8;

}  // namespace tarvex
