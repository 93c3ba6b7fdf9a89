#include "cli/OutputOptions.h"

#include <algorithm>
#include <charconv>

#include "audio/devices/Devices.h"
#include "core/PitchTables.h"

namespace tarvex::cli {
namespace {

bool isBufferLength(const std::string& text, uint32_t& ms) {
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, ms);
    return ec == std::errc() && ptr == end && !text.empty() &&
           std::find(kBufferLengthsMs.begin(), kBufferLengthsMs.end(), ms) != kBufferLengthsMs.end();
}

bool isNoteName(const std::string& text) {
    return std::any_of(PeriodTable.begin(), PeriodTable.end(),
                       [&](const PeriodEntry& e) { return text == e.name; });
}

// The render options a sample preview has no use for: it plays one sample, mono, by itself.
bool previewIgnores(std::string_view arg) {
    const std::string_view name = arg.substr(0, arg.find('='));
    for (std::string_view unused : {"--channels", "--click", "--wide", "--clipping", "--loops", "--preamp",
                                    "--repeat", "--subsong", "--from", "--timing"}) {
        if (name == unused) return true;
    }
    return false;
}

}  // namespace

bool parseOutputOptions(const CommandArgs& args, OutputOptions& options, std::vector<std::string>& operands,
                        std::ostream& err, std::string_view command) {
    const bool preview = command == "preview";
    const std::string prefix = "tarvex-cli " + std::string(command) + ": ";
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
            operands.push_back(arg);
            continue;
        }
        if (preview && previewIgnores(arg)) {
            err << prefix << "option " << arg.substr(0, arg.find('='))
                << " does not apply to preview (one sample, played once, mono)\n";
            return false;
        }
        std::string error;
        switch (parseRenderOption(args, i, options.render, error)) {
            case OptionParse::Taken:
                continue;
            case OptionParse::Invalid:
                err << prefix << error << '\n';
                return false;
            case OptionParse::NotMine:
                break;
        }
        if (arg == "--waveout") {
            options.waveout = true;
            continue;
        }
        if (!preview && (arg == "--shuffle" || arg == "--repeat-list")) {
            (arg == "--shuffle" ? options.shuffle : options.repeatList) = true;
            continue;
        }
        const bool known = arg == "--device" || arg == "--fallback-device" || arg == "--buffer" ||
                           (arg == "--note" && preview);
        if (!known) {
            err << prefix << "unknown option " << arg << '\n';
            return false;
        }
        if (i + 1 >= args.size()) {
            err << prefix << "option " << arg << " needs a value\n";
            return false;
        }
        const std::string& value = args[++i];
        bool ok = true;
        if (arg == "--device") {
            ok = makeBackend(value) != nullptr;
            options.device = value;
        } else if (arg == "--fallback-device") {
            ok = makeBackend(value) != nullptr;
            options.fallbackDevice = value;
        } else if (arg == "--buffer") {
            ok = isBufferLength(value, options.bufferMs);
        } else {
            ok = isNoteName(value);
            options.note = value;
        }
        if (!ok) {
            err << prefix << "bad value '" << value << "' for " << arg << '\n';
            return false;
        }
    }
    return true;
}

void applyOutputOptions(const OutputOptions& options, Player& player) {
    applyRenderOptions(options.render, player);
    player.settings.BufferLength = options.bufferMs * 8;
    // "winmm" is the waveform-audio device, which plays the queued kind only.
    player.settings.UseWaveOut = options.waveout || options.device == "winmm";
    player.preamp = options.render.preamp;
}

}  // namespace tarvex::cli
