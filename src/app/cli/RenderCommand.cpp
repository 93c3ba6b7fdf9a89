// tarvex-cli render [options] FILE [-o OUT.wav]
//
// Renders the song from its start until it has finished (the frame on which the mixer sets
// playbackFinished is the last one written) into a RIFF/WAVE PCM file. Without -o the output is the
// input's file name with ".wav" appended, in the current directory; "-o -" writes to standard
// output, which may be a pipe: the song is then rendered twice, once to learn the data size for the
// header, since rendering is deterministic. --max-seconds cuts a song that goes on (said on stderr).
// Progress goes to stderr when it is a terminal.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

#include "audio/Player.h"
#include "audio/SongRender.h"
#include "audio/WavFile.h"
#include "cli/Commands.h"
#include "cli/RenderOptions.h"
#include "formats/Loader.h"

namespace tarvex::cli {

namespace {

struct RenderRequest {
    RenderOptions options;
    std::string input;
    std::string output;  // "-" for standard output
};

bool stderrIsTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(STDERR_FILENO) != 0;
#endif
}

std::string clockText(uint64_t frames, uint32_t rate) {
    const uint64_t seconds = frames / rate;
    char text[32];
    std::snprintf(text, sizeof text, "%llu:%02llu", static_cast<unsigned long long>(seconds / 60),
                  static_cast<unsigned long long>(seconds % 60));
    return text;
}

std::string secondsText(uint64_t microseconds) {
    std::string text = std::to_string(microseconds / 1000000);
    uint64_t fraction = microseconds % 1000000;
    if (fraction != 0) {
        std::string digits = std::to_string(fraction + 1000000).substr(1);
        while (!digits.empty() && digits.back() == '0') digits.pop_back();
        text += "." + digits;
    }
    return text;
}

// Parses the command line; returns an exit status when the command is done already.
std::optional<int> parseRequest(const CommandArgs& args, RenderRequest& request, std::ostream& out,
                                std::ostream& err) {
    bool optionsDone = false;
    bool haveOutput = false;
    std::vector<std::string> files;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsDone || arg.empty() || arg[0] != '-' || arg == "-") {
            files.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsDone = true;
        } else if (arg == "--help" || arg == "-h") {
            out << helpText("render");
            return kExitOk;
        } else if (arg == "-o" || arg == "--output") {
            if (i + 1 >= args.size()) {
                err << "tarvex-cli render: " << arg << " needs a file name\n";
                return kExitUsage;
            }
            request.output = args[++i];
            haveOutput = true;
        } else {
            std::string error;
            const OptionParse parsed = parseRenderOption(args, i, request.options, error);
            if (parsed == OptionParse::Invalid) {
                err << "tarvex-cli render: " << error << '\n';
                return kExitUsage;
            }
            if (parsed == OptionParse::NotMine) {
                err << "tarvex-cli render: unknown option '" << arg << "'\n" << usageText("render");
                return kExitUsage;
            }
        }
    }
    if (files.size() != 1) {
        err << "tarvex-cli render: " << (files.empty() ? "no FILE given" : "one FILE at a time") << '\n'
            << usageText("render");
        return kExitUsage;
    }
    request.input = files[0];
    if (!haveOutput) request.output = std::filesystem::path(request.input).filename().string() + ".wav";
    if (request.output.empty()) {
        err << "tarvex-cli render: empty output file name\n";
        return kExitUsage;
    }
    return std::nullopt;
}

// Shows the play position on one terminal line, about ten times a second.
class ProgressLine {
   public:
    ProgressLine(bool enabled, const Player& player, std::string name)
        : enabled_(enabled), player_(player), name_(std::move(name)) {}

    void update(uint64_t frames) {
        if (!enabled_) return;
        const auto now = std::chrono::steady_clock::now();
        if (shown_ && now - last_ < std::chrono::milliseconds(100)) return;
        last_ = now;
        shown_ = true;
        std::cerr << "\rRendering " << name_ << "  " << clockText(frames, player_.settings.Frequency)
                  << "  order " << player_.state.nextOrder.load() << '/' << player_.module->songLength
                  << "   " << std::flush;
    }

    void clear() {
        if (shown_) std::cerr << "\r\033[K" << std::flush;
    }

   private:
    bool enabled_;
    const Player& player_;
    std::string name_;
    bool shown_ = false;
    std::chrono::steady_clock::time_point last_;
};

}  // namespace

int renderCommand(const CommandArgs& args, std::ostream& out, std::ostream& err) {
    RenderRequest request;
    if (std::optional<int> done = parseRequest(args, request, out, err)) return *done;
    const RenderOptions& options = request.options;

    Player player;
    const LoadOutcome outcome = loadModuleFile(request.input, player.createModule());
    if (!outcome.loaded) {
        err << "tarvex-cli render: " << request.input << ": "
            << resultMessage(outcome.result, outcome.sizeDetail) << '\n';
        return kExitFailed;
    }
    applyRenderOptions(options, player);

    const PcmFormat format{options.rate, options.bits, options.channels};
    const uint64_t wavLimitFrames = kMaxWavDataBytes / format.blockAlign();
    const uint64_t maxFrames = std::min(options.maxFrames(), wavLimitFrames);
    const bool toStdout = request.output == "-";
    const bool progressShown = &err == &std::cerr && stderrIsTerminal();

    std::ofstream file;
    std::ostream* sinkStream = &out;
    uint64_t knownFrames = 0;
    if (toStdout) {
        // A pipe cannot be rewound to fix the header: learn the length from a first, silent pass.
        knownFrames =
            renderSong(player, options.preamp, maxFrames, [](const uint8_t*, size_t) { return true; }).frames;
#ifdef _WIN32
        if (&out == &std::cout) _setmode(_fileno(stdout), _O_BINARY);
#endif
    } else {
        file.open(request.output, std::ios::binary | std::ios::trunc);
        if (!file) {
            err << "tarvex-cli render: cannot write " << request.output << '\n';
            return kExitFailed;
        }
        sinkStream = &file;
    }

    const auto header = wavHeader(format, static_cast<uint32_t>(knownFrames * format.blockAlign()));
    sinkStream->write(reinterpret_cast<const char*>(header.data()), header.size());
    ProgressLine progress(progressShown, player, std::filesystem::path(request.input).filename().string());
    const SongRenderResult result = renderSong(
        player, options.preamp, maxFrames,
        [&](const uint8_t* bytes, size_t count) {
            sinkStream->write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(count));
            return static_cast<bool>(*sinkStream);
        },
        [&](uint64_t frames) { progress.update(frames); });
    progress.clear();

    const uint64_t dataBytes = result.frames * format.blockAlign();
    if (wavPadBytes(dataBytes) != 0) sinkStream->put(0);
    if (!toStdout) {
        const auto finalHeader = wavHeader(format, static_cast<uint32_t>(dataBytes));
        file.seekp(0);
        file.write(reinterpret_cast<const char*>(finalHeader.data()), finalHeader.size());
        file.close();
    } else {
        sinkStream->flush();
    }
    if (result.aborted || !*sinkStream || (toStdout && result.frames != knownFrames)) {
        err << "tarvex-cli render: writing " << (toStdout ? "standard output" : request.output)
            << " failed\n";
        return kExitFailed;
    }
    if (!result.finished) {
        err << "tarvex-cli render: " << request.input << ": the song had not ended after "
            << (maxFrames < options.maxFrames() ? "the largest size a WAV file can hold"
                                                : secondsText(options.maxMicroseconds) + " seconds")
            << "; stopped there\n";
    }
    return kExitOk;
}

}  // namespace tarvex::cli
