// The options of everything in tarvex-cli that renders: output format, mixer switches, preamp,
// stereo separation, muted and soloed channels, the start position, loops and a time limit. Defaults are
// those of a fresh start (44100 Hz, 16 bits, stereo, every mixer switch on, preamp 512), except that loops
// are off, so that songs which jump back still end.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "audio/Mixer.h"
#include "cli/Commands.h"
#include "engine/Duration.h"

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
    uint32_t separation = 100;                     // stereo separation, percent 0..200
    std::vector<uint32_t> mute;                    // channel numbers from 1 left out of the mix
    std::vector<uint32_t> solo;                    // when given, only these channels are heard
    std::optional<uint32_t> start;                 // order position to begin at, from 0
    std::optional<uint32_t> subsong;               // sub-song to play, from 1
    std::optional<uint64_t> from;                  // --from: microseconds of the song to skip
    ModTiming timing = ModTiming::automatic;       // how a MOD's large Fxx is read
    std::optional<uint32_t> repeat;                // times the way back is taken; loops off with it
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

// The channels --mute and --solo name that the song does not have, as a warning: "--mute names
// channel 9, which the song does not have (4 channels)"; empty when every one is there.
std::string missingChannelsWarning(const RenderOptions& options, uint32_t channelCount);

// Output format, switches and muted channels into the player, before the song is started. With
// both --solo and --mute the channels heard are those of --solo less those of --mute.
void applyRenderOptions(const RenderOptions& options, Player& player);

// Where and how the loaded song plays: the MOD timing, the sub-song (player.songStart), the
// --start position (player.startAt, with the time, tempo and speed the song has there) and the
// --from time (player.startFrame). Without them the song begins at its start. Returns why it
// cannot (a sub-song or position the module does not have), or an empty text.
std::string applyStartPosition(const RenderOptions& options, Player& player);

// "S", "M:SS" or "M:SS.mmm" (seconds with up to six decimals) into microseconds.
bool parseTime(std::string_view text, uint64_t& microseconds);

// "1,3" or "2-4,7": channel numbers from 1 (to 128) into list; false on anything else.
bool parseChannelList(std::string_view text, std::vector<uint32_t>& list);

// "S" as seconds with up to six decimals ("90", "2.5", "0.000001") into microseconds.
bool parseSeconds(std::string_view text, uint64_t& microseconds);

}  // namespace tarvex::cli
