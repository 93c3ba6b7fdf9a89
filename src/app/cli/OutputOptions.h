// The options `play` and `preview` share: the output format and mixer switches (as for `render`,
// with the player's own defaults) and the device.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "audio/Player.h"

namespace tarvex::cli {

struct OutputOptions {
    uint32_t rate = 44100;
    uint32_t bits = 16;
    uint32_t channels = 2;
    bool isp = true;
    bool click = true;
    bool wide = true;
    bool clipping = true;
    bool loops = true;
    uint32_t preamp = 512;
    double maxSeconds = 0;        // 0: no limit
    std::string device = "sdl";   // sdl, null or capture=OUT.wav
    std::string fallbackDevice;   // used, with a notice, when the device cannot be opened
    bool waveout = false;         // the queued device kind
    uint32_t bufferMs = 25;       // segment duration, one of the table's
    std::string note = "C-6";     // preview only
};

inline constexpr const char* kOutputOptionsHelp =
    "  --device sdl|null|capture=OUT.wav   where the sound goes (default sdl); capture writes what\n"
    "                                      the device played since its last start\n"
    "  --fallback-device NAME              used, with a notice, when the device cannot be opened\n"
    "  --waveout                           queued segment buffers (default: one looping ring)\n"
    "  --buffer MS                         segment duration: 15 25 50 75 100 125 150 175 200 225 250\n"
    "                                      (default 25)\n"
    "  --rate HZ                           8000 11025 22050 44100 48000 96000 192000 (default 44100)\n"
    "  --bits 8|16|24  --channels 1|2      output format (default 16-bit stereo)\n"
    "  --isp --click --wide --clipping --loops on|off   mixer and engine switches (default on)\n"
    "  --preamp 1..1024                    mix divisor position; higher is quieter (default 512)\n"
    "  --max-seconds S                     stop each file after S seconds of playing\n";

// Parses the options among args into options and the rest into operands. With allowNote the
// option --note NAME is accepted too. On a mistake writes a message to err and returns false.
bool parseOutputOptions(const std::vector<std::string>& args, OutputOptions& options,
                        std::vector<std::string>& operands, std::ostream& err, bool allowNote = false);

// Copies the format, the switches and the device kind into the player's settings.
void applyOutputOptions(const OutputOptions& options, Player& player);

}  // namespace tarvex::cli
