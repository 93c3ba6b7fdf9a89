// The options `play` and `preview` share: those of `render` (output format, mixer switches,
// preamp, loops, time limit, with the same defaults, so both give the same bytes for the same
// options) and the device.
#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "audio/Player.h"
#include "audio/devices/Devices.h"
#include "cli/Commands.h"
#include "cli/RenderOptions.h"

namespace tarvex::cli {

struct OutputOptions {
    RenderOptions render;
    std::string device{kDefaultDeviceName};  // sdl (dsound or winmm on Windows), null, capture=OUT.wav
    std::string fallbackDevice;              // used, with a notice, when the device cannot be opened
    bool waveout = false;                    // the queued device kind
    uint32_t bufferMs = 25;                  // segment duration, one of the table's
    std::string note = "C-6";                // preview only
    bool shuffle = false;                    // play only: the files and list entries in a random order
    bool repeatList = false;                 // play only: all of them again after the last
};

// Parses the options among args into options and the rest into operands, for command ("play" or
// "preview"). preview also takes --note NAME, and refuses the options that do not apply to one
// sample played once in mono (--channels, --click, --wide, --clipping, --loops, --preamp). On a
// mistake writes a "tarvex-cli COMMAND: ..." line to err and returns false.
bool parseOutputOptions(const CommandArgs& args, OutputOptions& options, std::vector<std::string>& operands,
                        std::ostream& err, std::string_view command);

// Copies the format, the switches, the preamp and the device kind into the player.
void applyOutputOptions(const OutputOptions& options, Player& player);

}  // namespace tarvex::cli
