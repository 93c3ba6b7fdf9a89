// A playback fuzz input: a small control header that picks the format, the output and the option
// schedule, followed by the module file itself. The fuzz target, the seed maker and the replay test
// all go through this one decoder, so a saved input replays exactly as the fuzzer ran it.
//
// Header (kPlayHeaderSize bytes):
//   0       reader: byte % 5 -> MOD, S3M, STM, XM, IT
//   1       rate: bit 7 clear -> kSampleRates[byte % 7], set -> 8000 + (byte & 127) * 1449, at most 192000
//   2       output: bits 0-1 resolution (8, 16, 24, 16), bit 2 mono, bits 3-6 buffer length index
//   3       duration in eighths of a second: 1 + byte % 80 (up to 10 seconds)
//   4..19   eight phases of equal length, two bytes each: options, preamp
//           options: bit 0 ISP, 1 Click, 2 WideStereo, 3 Clipping, 4 LoopsAllowed, 5 rewinding,
//           6 fast forward, 7 restart the song at the phase start
//           preamp: 1 + byte * 4 (1..1021)
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "formats/Loader.h"

namespace tarvex {

class Player;

inline constexpr size_t kPlayHeaderSize = 20;
inline constexpr uint32_t kPlayPhases = 8;

struct PlayPhase {
    bool isp = true;
    bool click = true;
    bool wide = true;
    bool clipping = true;
    bool loops = true;
    bool rewinding = false;
    bool fastForward = false;
    bool restart = false;
    uint32_t preamp = 512;
};

struct PlayInput {
    std::string_view extension = "MOD";
    uint32_t rate = 44100;
    uint32_t bits = 16;
    uint32_t channels = 2;
    uint32_t bufferLength = 250;
    uint32_t eighths = 8;  // duration in eighths of a second
    PlayPhase phases[kPlayPhases];
    std::span<const uint8_t> file;
};

// Splits data into header and file; a short input gets the defaults for what it lacks.
PlayInput decodePlayInput(std::span<const uint8_t> data);
// The header that decodes back to input (the file bytes are not included).
std::vector<uint8_t> encodePlayHeader(const PlayInput& input);

// What one run did; problem names the first broken rule, empty when none was.
struct PlayReport {
    LoadOutcome outcome;
    uint64_t framesRendered = 0;
    std::string problem;
};

// Loads input.file with the input's reader into player and, when it loads, plays it for the input's
// duration through renderFrames in segments of the output layer's size, applying each phase's options.
// Voices that point outside the module's samples (or the engine's copies of them) or a divisor
// below 1 are reported as problems.
PlayReport playFuzzInput(Player& player, const PlayInput& input);

// Sets the phase's switches, transport flags and preamp on a playing player.
void applyPhase(Player& player, const PlayPhase& phase);
// Sets the input's output format on the player and starts the song.
void startFuzzSong(Player& player, const PlayInput& input);

// The rules every loaded module keeps, whatever the file: owned arrays of the stated sizes, loops
// and cells within bounds, and a footprint of at most 64 bytes per file byte plus 1 MiB. Returns the
// first rule broken, or an empty text.
std::string checkLoadedModule(const Module& module, size_t fileSize);
inline size_t moduleFootprintLimit(size_t fileSize) {
    return 64 * fileSize + (size_t{1} << 20);
}

}  // namespace tarvex
