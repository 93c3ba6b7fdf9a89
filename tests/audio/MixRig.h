// A player with channels set up by hand, for mixer tests: a module without order positions (its
// first tick ends the song and leaves the channels alone), samples given as data, and renders
// decoded back into output values.
#pragma once

#include <cstdint>
#include <vector>

#include "audio/Player.h"

namespace tarvex::test {

struct MixRigOptions {
    uint32_t channelCount = 4;
    uint8_t globalVolume = 64;
    uint32_t rate = 44100;
    uint32_t bits = 16;
    uint32_t outputChannels = 2;
    bool isp = false;
    bool click = false;
    bool wide = false;
    bool clipping = true;
};

class MixRig {
   public:
    explicit MixRig(const MixRigOptions& options, std::vector<Sample> samples = {});

    Player player;

    // Points channel c at sample s (index into the module's samples) and makes it sound.
    ChannelState& play(uint32_t c, uint32_t s, uint32_t step, int32_t leftVolume, int32_t rightVolume);
    std::vector<uint8_t> render(uint32_t frames);
    // Renders and decodes every output value (L, R interleaved in stereo) as a signed number of the
    // output's width (8-bit output is taken back from unsigned).
    std::vector<int32_t> renderValues(uint32_t frames);
};

Sample makeSample(std::vector<int16_t> data, uint32_t loopStart = 0, uint32_t loopEnd = 0);
std::vector<int32_t> decodeValues(const std::vector<uint8_t>& bytes, uint32_t bits);

}  // namespace tarvex::test
