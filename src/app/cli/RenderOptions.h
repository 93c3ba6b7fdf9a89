// The options of everything in tarvex-cli that renders: output format, mixer switches, preamp, loops
// and a time limit. Defaults are those of a fresh start (44100 Hz, 16 bits, stereo, every mixer
// switch on, preamp 512), except that loops are off, so that songs which jump back still end.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "audio/Mixer.h"
#include "cli/Commands.h"

namespace tarvex {
class Player;
}

namespace tarvex::cli {

struct RenderOptions {
    uint32_t rate = 44100;  // one of kSampleRates
    uint32_t bits = 16;     // 8, 16 or 24
    uint32_t channels = 2;  // 1 or 2
    bool isp = true;
    bool click = true;
    bool wide = true;
    bool clipping = true;
    bool loops = false;
    uint32_t preamp = kDefaultPreamp;              // 1..1024
    uint64_t maxMicroseconds = 1200ull * 1000000;  // --max-seconds, kept exact to the microsecond

    // Frames in maxMicroseconds at rate, truncated: exactly S x rate for a whole number of seconds.
    uint64_t maxFrames() const;
};

enum class OptionParse {
    NotMine,  // args[i] is none of the render options
    Taken,    // parsed; i now indexes the last argument used
    Invalid,  // a render option with a bad or missing value; error says why
};

// Recognises one render option at args[i], written "--name value" or "--name=value".
OptionParse parseRenderOption(const CommandArgs& args, size_t& i, RenderOptions& options, std::string& error);

// Output format and switches into the player's settings, before the song is started.
void applyRenderOptions(const RenderOptions& options, Player& player);

// "S" as seconds with up to six decimals ("90", "2.5", "0.000001") into microseconds.
bool parseSeconds(std::string_view text, uint64_t& microseconds);

}  // namespace tarvex::cli
