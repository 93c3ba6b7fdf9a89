// tarvex-cli render [options] FILE [-o OUT.wav]
//
// Renders the song from its start until it has finished (the frame on which the mixer sets
// playbackFinished is the last one written) into a RIFF/WAVE PCM file, a FLAC file or raw PCM
// (--format, or the output name's extension). Without -o the output is the input's file name with
// ".wav" (".flac", ".raw") appended, in the current directory; "-o -" writes to standard output,
// which may be a pipe: a WAV or FLAC song is then rendered twice, once to learn its length for the
// header, since rendering is deterministic. --max-seconds cuts a song that goes on (said on stderr).
// Progress goes to stderr when it is a terminal.
//
// A file is written beside its name and renamed over it only when complete, so a failed or
// interrupted render (SIGINT exits 130, SIGTERM 143) leaves the previous file or none. The input
// itself is never an output: an output that is the input file, by any name, is refused. A device,
// named pipe or socket is written in place and, when it cannot be rewound, like standard output;
// a symbolic link is written through (OutputFile). Audio is never written to a terminal (exit 2).
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <streambuf>
#include <system_error>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

#include "audio/Player.h"
#include "audio/SongRender.h"
#include "audio/WavFile.h"
#include "audio/devices/OutputFile.h"
#include "cli/Commands.h"
#include "cli/Messages.h"
#include "cli/PcmWriters.h"
#include "cli/RenderOptions.h"
#include "cli/Terminal.h"
#include "core/TextEncoding.h"
#include "formats/Loader.h"

namespace tarvex::cli {

namespace {

struct RenderRequest {
    RenderOptions options;
    std::string input;
    std::string output;  // "-" for standard output
    OutputFormat format = OutputFormat::wav;
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

constexpr const char* kTerminalRefusal =
    "tarvex-cli render: will not write audio to a terminal: redirect the output to a file or a pipe, "
    "or name a file with -o\n";

// Parses the command line; returns an exit status when the command is done already.
std::optional<int> parseRequest(const CommandArgs& args, RenderRequest& request, std::ostream& out,
                                std::ostream& err) {
    bool optionsDone = false;
    bool haveOutput = false;
    bool haveFormat = false;
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
        } else if (arg == "--format" || arg.rfind("--format=", 0) == 0) {
            const bool inlineValue = arg.size() > 8;
            if (!inlineValue && i + 1 >= args.size()) {
                err << "tarvex-cli render: option --format needs a value\n";
                return kExitUsage;
            }
            const std::string value = inlineValue ? arg.substr(9) : args[++i];
            if (!parseOutputFormat(value, request.format)) {
                err << "tarvex-cli render: bad value '" << value
                    << "' for --format: expected wav, flac or raw\n";
                return kExitUsage;
            }
            haveFormat = true;
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
    if (!haveFormat && haveOutput && request.output != "-")
        request.format = formatForFileName(request.output);
    if (!haveOutput) {
        request.output = std::filesystem::path(request.input).filename().string() +
                         std::string(fileExtension(request.format));
    }
    if (request.output.empty()) {
        err << "tarvex-cli render: empty output file name\n";
        return kExitUsage;
    }
    if (!formatAvailable(request.format)) {
        err << "tarvex-cli render: FLAC output is not part of this build: use --format wav or raw\n";
        return kExitUsage;
    }
    return std::nullopt;
}

// Lets the writers, which write to a stream, write to the output file; keeps the reason of the
// first write or seek that failed.
class FileStreamBuffer : public std::streambuf {
   public:
    explicit FileStreamBuffer(std::FILE* file) : file_(file) {}
    int error() const { return error_; }

   protected:
    std::streamsize xsputn(const char* bytes, std::streamsize count) override {
        if (file_ == nullptr || failed_) return 0;
        errno = 0;
        const size_t written = std::fwrite(bytes, 1, static_cast<size_t>(count), file_);
        if (written != static_cast<size_t>(count)) fail();
        return static_cast<std::streamsize>(written);
    }
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
        const char byte = traits_type::to_char_type(c);
        return xsputn(&byte, 1) == 1 ? c : traits_type::eof();
    }
    pos_type seekoff(off_type offset, std::ios_base::seekdir dir, std::ios_base::openmode) override {
        if (file_ == nullptr || failed_) return pos_type(off_type(-1));
        const int whence = dir == std::ios_base::beg   ? SEEK_SET
                           : dir == std::ios_base::cur ? SEEK_CUR
                                                       : SEEK_END;
        errno = 0;
        if (std::fseek(file_, static_cast<long>(offset), whence) != 0) {
            fail();
            return pos_type(off_type(-1));
        }
        return pos_type(off_type(std::ftell(file_)));
    }
    pos_type seekpos(pos_type position, std::ios_base::openmode mode) override {
        return seekoff(off_type(position), std::ios_base::beg, mode);
    }
    int sync() override { return file_ != nullptr && std::fflush(file_) != 0 ? (fail(), -1) : 0; }

   private:
    void fail() {
        failed_ = true;
        if (error_ == 0) error_ = errno;
    }

    std::FILE* file_;
    bool failed_ = false;
    int error_ = 0;
};

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
    const bool toStdout = request.output == "-";
    // Audio on a terminal is noise that can leave it in a strange state.
    if (toStdout && &out == &std::cout && stdoutIsTerminal()) {
        err << kTerminalRefusal;
        return kExitUsage;
    }

    std::error_code sameError;
    if (!toStdout && std::filesystem::equivalent(request.input, request.output, sameError)) {
        err << "tarvex-cli render: " << request.output << " is the input file; name another output with -o\n";
        return kExitFailed;
    }
    if (!toStdout && std::filesystem::is_directory(request.output, sameError)) {
        err << "tarvex-cli render: " << withReason("cannot write " + request.output, "is a directory")
            << '\n';
        return kExitFailed;
    }

    Player player;
    const LoadOutcome outcome = loadModuleFile(request.input, player.createModule());
    reportLoad(err, "render", request.input, outcome);
    if (!outcome.loaded) return kExitFailed;
    applyRenderOptions(options, player);
    if (const std::string warning = missingChannelsWarning(options, player.module->channelCount);
        !warning.empty())
        err << "tarvex-cli render: " << request.input << ": warning: " << warning << '\n';
    if (const std::string problem = applyStartPosition(options, player); !problem.empty()) {
        err << "tarvex-cli render: " << request.input << ": " << problem << '\n';
        return kExitFailed;
    }

    const PcmFormat format{options.rate, options.bits, options.channels};
    const uint64_t fileLimitFrames = maxFramesFor(request.format, format);
    const uint64_t maxFrames = std::min(options.maxFrames(), fileLimitFrames);
    const bool progressShown = &err == &std::cerr && stderrIsTerminal();
    const std::unique_ptr<PcmWriter> writer =
        makePcmWriter(request.format, format, latin1ToUtf8(player.module->title.view()));
    const InterruptGuard interrupts;

    // A named pipe without a reader waits here for one.
    OutputFile file;
    if (!toStdout) {
        std::string reason;
        if (!file.open(request.output, reason)) {
            err << "tarvex-cli render: " << withReason("cannot write " + request.output, reason) << '\n';
            return kExitFailed;
        }
        if (file.isTerminal()) {
            err << kTerminalRefusal;
            return kExitUsage;
        }
    }
    // Standard output, a pipe or a socket cannot be rewound to fix the header.
    const bool streamed = toStdout || !file.seekable();
    const bool lengthFirst = streamed && needsLengthUpFront(request.format);
    uint64_t knownFrames = 0;
    if (lengthFirst) {
        // Learn the length from a first, silent pass: rendering is deterministic.
        knownFrames = renderSong(player, options.preamp, maxFrames, [](const uint8_t*, size_t) {
                          return InterruptGuard::received() == 0;
                      }).frames;
        if (const int signal = InterruptGuard::received()) return interruptedStatus(signal);
    }
#ifdef _WIN32
    if (toStdout && &out == &std::cout) _setmode(_fileno(stdout), _O_BINARY);
#endif

    FileStreamBuffer fileBuffer(file.file());
    std::ostream fileStream(&fileBuffer);
    std::ostream& sink = toStdout ? out : fileStream;
    const bool begun = writer->begin(sink, !streamed, knownFrames);
    ProgressLine progress(progressShown, player, std::filesystem::path(request.input).filename().string());
    SongRenderResult result;
    if (begun) {
        result = renderSong(
            player, options.preamp, maxFrames,
            [&](const uint8_t* bytes, size_t count) {
                return InterruptGuard::received() == 0 && writer->write(bytes, count);
            },
            [&](uint64_t frames) { progress.update(frames); });
    }
    progress.clear();
    if (const int signal = InterruptGuard::received()) {
        file.discard();
        if (toStdout) out.flush();
        return interruptedStatus(signal);
    }

    if (begun && result.finished && result.frames == 0 && options.from) {
        file.discard();
        const uint64_t ms = result.skipped * 1000 / options.rate;
        char end[32];
        std::snprintf(end, sizeof end, "%llu:%02llu.%03llu", static_cast<unsigned long long>(ms / 60000),
                      static_cast<unsigned long long>(ms / 1000 % 60),
                      static_cast<unsigned long long>(ms % 1000));
        err << "tarvex-cli render: " << request.input << ": the song ends at " << end << ", before --from "
            << secondsText(*options.from) << " seconds\n";
        return kExitFailed;
    }
    const bool finished = begun && writer->finish(result.frames);
    std::string reason;
    bool written = finished && !result.aborted && static_cast<bool>(sink) &&
                   (!lengthFirst || result.frames == knownFrames);
    if (!toStdout) {
        written = written && file.commit(reason);
        if (!written && reason.empty() && fileBuffer.error() != 0) reason = systemReason(fileBuffer.error());
        file.discard();
    }
    if (!written) {
        err << "tarvex-cli render: "
            << withReason(
                   "writing " + (toStdout ? std::string("standard output") : request.output) + " failed",
                   reason)
            << '\n';
        return kExitFailed;
    }
    if (!result.finished) {
        err << "tarvex-cli render: " << request.input << ": the song had not ended after "
            << (maxFrames < options.maxFrames()
                    ? std::string("the largest size a ") +
                          (request.format == OutputFormat::flac ? "FLAC" : "WAV") + " file can hold"
                    : secondsText(options.maxMicroseconds) + " seconds")
            << "; stopped there\n";
    }
    return kExitOk;
}

}  // namespace tarvex::cli
