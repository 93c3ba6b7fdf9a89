// tarvex-cli play [options] FILE...
//
// Plays each module through the sound device, one after the other; list files (".lst") play
// entry by entry. A song is done when playback has stopped by itself (the ring kind stops at the
// end of the song) or, with the queued kind, which would sound on, once it has finished; then the
// next file starts. On a terminal one status line is refreshed and single keys control playback;
// otherwise one line is printed per file. Exit status 0, 1 when a file failed to load or the
// device failed (its message on stderr), 2 on a usage error.
#include <chrono>
#include <iostream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "audio/Streaming.h"
#include "audio/devices/Devices.h"
#include "cli/Commands.h"
#include "cli/OutputOptions.h"
#include "cli/Terminal.h"
#include "cli/TextOutput.h"
#include "formats/Loader.h"
#include "ui/ListFile.h"
#include "ui/StatusText.h"

namespace tarvex::cli {

namespace {

constexpr auto kRefresh = std::chrono::milliseconds(40);

// The paths to load, in order: the files named, each list file giving its entries in its place.
class PlayQueue {
   public:
    explicit PlayQueue(std::vector<std::string> files) : files_(std::move(files)) {}

    std::optional<std::string> next() {
        for (;;) {
            std::string path;
            if (list_.isOpen()) {
                path = *list_.readNextEntry();
                if (path.empty()) continue;  // an empty line loads nothing
            } else if (nextFile_ < files_.size()) {
                path = files_[nextFile_++];
            } else {
                return std::nullopt;
            }
            // While a list is open its entries are modules; the last entry, read after the list
            // has closed, may start the next list.
            if (!list_.isOpen() && list_.open(path)) continue;
            return path;
        }
    }

   private:
    std::vector<std::string> files_;
    size_t nextFile_ = 0;
    ListFile list_;
};

enum class Outcome { next, quit, deviceFailed };

struct Session {
    const OutputOptions& options;
    std::ostream& out;
    std::ostream& err;
    bool statusLine;
    KeyInput& keys;
    Player player;
    bool deviceTried = false;
};

std::string statusText(const Session& s, bool paused) {
    const StatusTexts t = statusTexts(s.player);
    std::string line = "CPU " + t.cpu + " | Index " + t.index + " | Pattern " + t.pattern + " | Row " +
                       t.row + " | BPM " + t.bpm + " | Speed " + t.speed + " | Time " + t.time;
    if (paused) {
        line += "  [paused]";
    } else if (s.player.state.fastForward.load()) {
        line += "  [>>]";
    } else if (s.player.state.rewinding.load()) {
        line += "  [<<]";
    }
    return line;
}

// Starts the loaded module; the first time a fallback device may stand in for one that fails.
bool start(Session& s) {
    std::string_view error = startPlayback(s.player);
    if (!error.empty() && !s.deviceTried && !s.options.fallbackDevice.empty()) {
        s.err << "tarvex-cli: no audio device could be opened (" << error << "); playing on the "
              << s.options.fallbackDevice << " device instead\n";
        s.player.device.backend = makeBackend(s.options.fallbackDevice);
        error = startPlayback(s.player);
    }
    s.deviceTried = true;
    if (!error.empty()) {
        s.err << error << '\n';
        return false;
    }
    return true;
}

// The keys pressed since the last look; next or quit when one of those was pressed.
std::optional<Outcome> handleKeys(Session& s, bool& paused) {
    Player& player = s.player;
    for (int key = s.keys.poll(); key != -1; key = s.keys.poll()) {
        switch (key) {
            case ' ':
                paused = !paused;
                paused ? player.device.pauseDevice() : player.device.resumeDevice();
                break;
            case 'f':
                setRewinding(player, false);
                setFastForward(player, true);
                break;
            case 'r':
                setRewinding(player, true);
                setFastForward(player, false);
                break;
            case 'p':
                setRewinding(player, false);
                setFastForward(player, false);
                break;
            case 'n':
                return Outcome::next;
            case 'q':
            case 3:  // Ctrl-C
                return Outcome::quit;
            default:
                break;
        }
    }
    return std::nullopt;
}

Outcome playFile(Session& s, const std::string& path) {
    Player& player = s.player;
    stopPlayback(player);
    Module& module = player.createModule();
    setRewinding(player, false);
    setFastForward(player, false);
    const LoadOutcome loaded = loadModuleFile(path, module);
    if (!loaded.loaded) {
        player.freeModule();
        s.err << path << ": " << resultMessage(loaded.result, loaded.sizeDetail) << '\n';
        return Outcome::next;
    }
    applyOutputOptions(s.options, player);
    if (!start(s)) return Outcome::deviceFailed;

    const std::string title = latin1ToUtf8(module.title.view());
    s.out << path << ": \"" << title << "\", " << latin1ToUtf8(trackerLine(module)) << '\n' << std::flush;

    bool paused = false;
    Outcome outcome = Outcome::next;
    std::string lastStatus;
    auto played = std::chrono::steady_clock::duration::zero();
    auto tick = std::chrono::steady_clock::now();
    for (;;) {
        std::this_thread::sleep_for(kRefresh);
        const auto now = std::chrono::steady_clock::now();
        if (!paused) played += now - tick;
        tick = now;

        if (const auto chosen = handleKeys(s, paused)) {
            outcome = *chosen;
            break;
        }
        // The status texts stand still once playback has stopped.
        if (s.statusLine && !player.outputStopped.load()) {
            std::string status = statusText(s, paused);
#ifdef _WIN32
            // The console does not take escape sequences: blanks wipe what a longer line left.
            const size_t wiped = lastStatus.size() > status.size() ? lastStatus.size() - status.size() : 0;
            s.out << '\r' << status << std::string(wiped, ' ') << std::string(wiped, '\b') << std::flush;
#else
            s.out << '\r' << status << "\x1b[K" << std::flush;
#endif
            lastStatus = std::move(status);
        }
        if (player.outputStopped.load()) break;  // the ring kind stopped at the end of the song
        if (player.settings.UseWaveOut && player.playbackFinished.load()) break;
        if (played >= std::chrono::microseconds(s.options.render.maxMicroseconds)) {
            s.err << path << ": stopped after --max-seconds\n";
            break;
        }
    }
    stopPlayback(player);
    if (s.statusLine) s.out << '\n' << std::flush;
    return outcome;
}

}  // namespace

int playCommand(const CommandArgs& args, std::ostream& out, std::ostream& err) {
    OutputOptions options;
    std::vector<std::string> files;
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h") {
            out << helpText("play");
            return kExitOk;
        }
    }
    if (!parseOutputOptions(args, options, files, err)) {
        err << usageText("play");
        return kExitUsage;
    }
    if (files.empty()) {
        err << usageText("play");
        return kExitUsage;
    }

    // Only the real standard streams make an interactive player.
    const bool onTerminal = &out == &std::cout;
    KeyInput keys(onTerminal && stdinIsTerminal());
    Session session{options, out, err, onTerminal && stdoutIsTerminal(), keys, {}};
    session.player.device.backend = makeBackend(options.device);
    session.player.device.timer = makeDeviceTimer();

    int status = kExitOk;
    PlayQueue queue(files);
    while (const auto path = queue.next()) {
        const Outcome outcome = playFile(session, *path);
        if (!session.player.module) status = kExitFailed;
        if (outcome == Outcome::deviceFailed) return kExitFailed;
        if (outcome == Outcome::quit) break;
    }
    return status;
}

}  // namespace tarvex::cli
