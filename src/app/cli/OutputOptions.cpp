#include "cli/OutputOptions.h"

#include <algorithm>
#include <charconv>

#include "audio/devices/Devices.h"
#include "engine/PitchTables.h"

namespace tarvex::cli {
namespace {

bool parseUnsigned(const std::string& text, uint32_t& value) {
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && !text.empty();
}

bool parseSwitch(const std::string& text, bool& value) {
    if (text == "on") {
        value = true;
    } else if (text == "off") {
        value = false;
    } else {
        return false;
    }
    return true;
}

template <size_t N>
bool oneOf(uint32_t value, const std::array<uint32_t, N>& table) {
    return std::find(table.begin(), table.end(), value) != table.end();
}

}  // namespace

bool parseOutputOptions(const std::vector<std::string>& args, OutputOptions& options,
                        std::vector<std::string>& operands, std::ostream& err, bool allowNote) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
            operands.push_back(arg);
            continue;
        }
        if (arg == "--waveout") {
            options.waveout = true;
            continue;
        }
        if (i + 1 >= args.size()) {
            err << "tarvex-cli: " << arg << " needs a value\n";
            return false;
        }
        const std::string& value = args[++i];
        uint32_t number = 0;
        bool ok = true;
        if (arg == "--device") {
            ok = makeBackend(value) != nullptr;
            options.device = value;
        } else if (arg == "--fallback-device") {
            ok = makeBackend(value) != nullptr;
            options.fallbackDevice = value;
        } else if (arg == "--buffer") {
            ok = parseUnsigned(value, number) && oneOf(number, kBufferLengthsMs);
            options.bufferMs = number;
        } else if (arg == "--rate") {
            ok = parseUnsigned(value, number) && oneOf(number, kSampleRates);
            options.rate = number;
        } else if (arg == "--bits") {
            ok = parseUnsigned(value, number) && oneOf(number, kBitDepths);
            options.bits = number;
        } else if (arg == "--channels") {
            ok = parseUnsigned(value, number) && oneOf(number, kChannelCounts);
            options.channels = number;
        } else if (arg == "--preamp") {
            ok = parseUnsigned(value, number) && number >= kMinPreamp && number <= kMaxPreamp;
            options.preamp = number;
        } else if (arg == "--max-seconds") {
            ok = parseUnsigned(value, number) && number > 0;
            options.maxSeconds = number;
        } else if (arg == "--isp") {
            ok = parseSwitch(value, options.isp);
        } else if (arg == "--click") {
            ok = parseSwitch(value, options.click);
        } else if (arg == "--wide") {
            ok = parseSwitch(value, options.wide);
        } else if (arg == "--clipping") {
            ok = parseSwitch(value, options.clipping);
        } else if (arg == "--loops") {
            ok = parseSwitch(value, options.loops);
        } else if (arg == "--note" && allowNote) {
            ok = std::any_of(PeriodTable.begin(), PeriodTable.end(),
                             [&](const PeriodEntry& e) { return value == e.name; });
            options.note = value;
        } else {
            err << "tarvex-cli: unknown option " << arg << '\n';
            return false;
        }
        if (!ok) {
            err << "tarvex-cli: invalid value for " << arg << ": " << value << '\n';
            return false;
        }
    }
    return true;
}

void applyOutputOptions(const OutputOptions& options, Player& player) {
    PlayerSettings& s = player.settings;
    s.Frequency = options.rate;
    s.Resolution = options.bits;
    s.Channels = options.channels;
    s.BufferLength = options.bufferMs * 8;
    s.UseWaveOut = options.waveout;
    s.ISP = options.isp;
    s.Click = options.click;
    s.WideStereo = options.wide;
    s.Clipping = options.clipping;
    s.LoopsAllowed = options.loops;
    player.preamp = options.preamp;
}

}  // namespace tarvex::cli
