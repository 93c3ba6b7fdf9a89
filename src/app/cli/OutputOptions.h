// The options `play` and `preview` share: those of `render` (output format, mixer switches,
// preamp, loops, time limit, with the same defaults, so both give the same bytes for the same
// options) and the device.
#pragma once

#include <ostream>
#include <string>
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
};

// The option lines of --help for the device options (renderOptionsHelp() has the others).
#ifdef _WIN32
inline constexpr std::string_view kDeviceOptionsHelp =
    "  --device dsound|winmm|null|capture=OUT.wav\n"
    "                     where the sound goes (default dsound: DirectSound, one looping ring;\n"
    "                     winmm: waveform-audio, queued segment buffers); null\n"
    "                     keeps real-time pace in silence; capture does too and writes what the\n"
    "                     device played since its last start to OUT.wav\n"
    "  --fallback-device NAME\n"
    "                     used, after a one-line notice, when the device cannot be opened\n"
    "  --waveout          queued segment buffers (waveform-audio; default: one looping ring)\n"
    "  --buffer MS        segment duration: 15, 25 (default), 50, 75, 100, 125, 150, 175, 200,\n"
    "                     225 or 250\n";
#else
inline constexpr std::string_view kDeviceOptionsHelp =
    "  --device sdl|null|capture=OUT.wav\n"
    "                     where the sound goes (default sdl: the system's audio output); null\n"
    "                     keeps real-time pace in silence; capture does too and writes what the\n"
    "                     device played since its last start to OUT.wav\n"
    "  --fallback-device NAME\n"
    "                     used, after a one-line notice, when the device cannot be opened\n"
    "  --waveout          queued segment buffers (default: one looping ring)\n"
    "  --buffer MS        segment duration: 15, 25 (default), 50, 75, 100, 125, 150, 175, 200,\n"
    "                     225 or 250\n";
#endif

// Parses the options among args into options and the rest into operands. With allowNote the
// option --note NAME is accepted too. On a mistake writes a message to err and returns false.
bool parseOutputOptions(const CommandArgs& args, OutputOptions& options, std::vector<std::string>& operands,
                        std::ostream& err, bool allowNote = false);

// Copies the format, the switches, the preamp and the device kind into the player.
void applyOutputOptions(const OutputOptions& options, Player& player);

}  // namespace tarvex::cli
