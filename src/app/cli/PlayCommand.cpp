// tarvex-cli play [options] FILE...
//
// Plays each module through the sound device, one after the other; list files (".lst") play
// entry by entry. A song is done when playback has stopped by itself (the ring kind stops once the
// song's last frame has been played) or, with the queued kind, which would sound on, once it has
// finished: the stop lets the queued segments, the last frame among them, play out. Then the
// next file starts. On a terminal one status line, never wider than the terminal, is refreshed and
// single keys control playback; otherwise one line is printed per file. Notices always start on
// a line of their own. Exit status 0, 1 when a file failed to load, a list led round in a circle
// or the device failed (its message on stderr), 2 on a usage error, 130 after Ctrl-C or SIGINT and
// 143 after SIGTERM (playback stopped, terminal restored, a capture file completed).
#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <iostream>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "audio/Streaming.h"
#include "audio/devices/Devices.h"
#include "cli/Commands.h"
#include "cli/Messages.h"
#include "cli/OutputOptions.h"
#include "cli/PlayQueue.h"
#include "cli/Terminal.h"
#include "cli/TextOutput.h"
#include "engine/Duration.h"
#include "formats/Loader.h"
#include "ui/ListFile.h"
#include "ui/StatusDisplay.h"

namespace tarvex::cli {

namespace {

constexpr std::string_view kKeysHelp =
    "Keys: space pause/resume   f fast forward   r rewind   p normal speed\n"
    "      < > or arrows previous/next position   , . ten seconds back/forward\n"
    "      [ ] previous/next sub-song   1-9 0 mute channel 1-10   ! unmute all\n"
    "      n next file   b previous file   i sample names   q or Ctrl-C quit\n"
    "      h or ? these keys";

// How far , and . jump.
constexpr uint64_t kSeekStepMicros = 10'000'000;

// The status line's refresh. Without one the player sleeps until a key, a signal, a change of the
// stream or --max-seconds wakes it.
constexpr auto kRefresh = std::chrono::milliseconds(40);

enum class Outcome { next, back, quit, deviceFailed };

struct Session {
    const OutputOptions& options;
    std::ostream& out;
    std::ostream& err;
    bool statusLine;
    KeyInput& keys;
    Player player;
    bool deviceTried = false;
    // Where a jump to each order position of the song lands: worked out at the first jump, most
    // songs are never jumped in.
    std::optional<std::vector<SeekTarget>> starts;
    // The songs of the module playing, and which of them plays.
    std::vector<Subsong> songs;
    size_t song = 0;
    bool statusShown = false;  // a status line stands on the terminal, not yet ended
};

// Ends a status line on the screen, so that what follows starts on a line of its own.
void endStatusLine(Session& s) {
    if (!s.statusShown) return;
    s.out << '\n' << std::flush;
    s.statusShown = false;
}

// A line of its own on stream (stderr for notices, stdout for what was asked for).
void notice(Session& s, std::ostream& stream, std::string_view text) {
    endStatusLine(s);
    stream << text << '\n' << std::flush;
}

// "2-4,7": the muted channels of the module, numbered from 1; empty when none is.
std::string mutedText(const Player& player) {
    const uint32_t channels = player.module ? player.module->channelCount : 0;
    std::string text;
    for (uint32_t c = 0; c < channels; ++c) {
        if (!player.mutes.muted(c)) continue;
        uint32_t last = c;
        while (last + 1 < channels && player.mutes.muted(last + 1)) ++last;
        if (!text.empty()) text += ',';
        text += std::to_string(c + 1);
        if (last > c) {
            text += '-';
            text += std::to_string(last + 1);
        }
        c = last;
    }
    return text;
}

std::string statusText(const Session& s, bool paused, size_t width) {
    std::string_view state;
    if (paused) {
        state = "[paused]";
    } else if (s.player.state.fastForward.load()) {
        state = "[>>]";
    } else if (s.player.state.rewinding.load()) {
        state = "[<<]";
    }
    std::string stateText(state);
    if (s.songs.size() > 1) {
        stateText += (stateText.empty() ? "Song " : "  Song ") + std::to_string(s.song + 1) + '/' +
                     std::to_string(s.songs.size());
    }
    if (const std::string muted = mutedText(s.player); !muted.empty())
        stateText += (stateText.empty() ? "[muted " : "  [muted ") + muted + "]";
    const StatusTexts texts =
        formatStatus(statusValues(s.player, s.player.mix.renderMillis.load(std::memory_order_relaxed)));
    return fitStatusLine(texts, stateText, width);
}

// "Samples:" and one line per sample of the module, numbered from 1.
std::string sampleNames(const Module& module) {
    std::string text = "Samples:";
    const uint32_t count =
        std::min<uint32_t>(module.sampleCount, static_cast<uint32_t>(module.samples.size()));
    for (uint32_t i = 0; i < count; ++i) {
        const std::string number = std::to_string(i + 1);
        text += '\n';
        text.append(number.size() < 3 ? 3 - number.size() : 0, ' ');
        text += number;
        text += "  ";
        text += latin1ToUtf8(module.samples[i].name.view());
    }
    return text;
}

// Starts the loaded module; the first time a fallback device may stand in for one that fails.
bool start(Session& s) {
    const bool systemDevice = s.options.device == "sdl";
    std::string_view error = startPlayback(s.player);
    if (!error.empty() && !s.deviceTried && !s.options.fallbackDevice.empty()) {
        notice(s, s.err,
               "tarvex-cli play: " + deviceMessage(error, s.player, false) + "; playing on the " +
                   s.options.fallbackDevice + " device instead");
        s.player.device.backend = makeBackend(s.options.fallbackDevice);
        error = startPlayback(s.player);
        s.deviceTried = true;
        if (!error.empty()) {
            notice(s, s.err, "tarvex-cli play: " + deviceMessage(error, s.player, false));
            return false;
        }
        return true;
    }
    s.deviceTried = true;
    if (!error.empty()) {
        notice(s, s.err, "tarvex-cli play: " + deviceMessage(error, s.player, systemDevice));
        return false;
    }
    return true;
}

// Jumps delta order positions from the one playing (or from the one a jump not yet taken goes to);
// nothing before the first or past the last.
void seekBy(Session& s, int delta) {
    SeekTarget pending;
    const uint32_t playing = s.player.state.nextOrder.load();
    const int64_t from = pendingSeek(s.player, pending) ? pending.order : (playing == 0 ? 0 : playing - 1);
    const int64_t to = std::max<int64_t>(0, from + delta);
    if (!s.starts) s.starts = positionStarts(*s.player.module, s.player.songStart);
    if (to >= static_cast<int64_t>(s.starts->size())) return;
    requestSeek(s.player, (*s.starts)[static_cast<size_t>(to)]);
}

// Starts the song again, silent up to startFrame: for a jump in time or to another sub-song.
// Playback goes on unpaused.
bool restart(Session& s, bool& paused) {
    stopPlayback(s.player);
    paused = false;
    s.starts.reset();
    return start(s);
}

// Jumps by microseconds from where the song plays now, exactly to the frame playing through would
// reach there; not before the start, and not past the end of a song that ends.
bool seekByTime(Session& s, int64_t micros, bool& paused) {
    Player& player = s.player;
    const int64_t now = player.state.playTime.load();
    const int64_t target = std::max<int64_t>(0, now + micros);
    const SongDuration& length = s.songs[s.song].duration;
    const bool endless = player.settings.LoopsAllowed.load() || player.repeatCount != 0;
    if (micros > 0 && !endless && length.ended && target >= int64_t{length.milliseconds} * 1000) return true;
    player.startAt.reset();
    player.startFrame = frameAtTime(static_cast<uint64_t>(target), player.settings.Frequency);
    return restart(s, paused);
}

// Plays sub-song `index` from its start.
bool playSong(Session& s, size_t index, bool& paused) {
    s.song = index;
    s.player.songStart = s.songs[index].start;
    s.player.startAt.reset();
    s.player.startFrame = 0;
    return restart(s, paused);
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
            case '!':
                player.mutes.clear();
                break;
            case '<':
            case '>':
                seekBy(s, key == '<' ? -1 : 1);
                break;
            case ',':
            case '.':
                if (!seekByTime(s, key == ',' ? -int64_t{kSeekStepMicros} : int64_t{kSeekStepMicros}, paused))
                    return Outcome::deviceFailed;
                break;
            case '[':
            case ']':
                if (key == '[' ? s.song > 0 : s.song + 1 < s.songs.size()) {
                    if (!playSong(s, key == '[' ? s.song - 1 : s.song + 1, paused))
                        return Outcome::deviceFailed;
                }
                break;
            case 27:  // an arrow key arrives as ESC [ C (right) or ESC [ D (left)
                if (s.keys.poll() == '[') {
                    const int arrow = s.keys.poll();
                    if (arrow == 'C' || arrow == 'D') seekBy(s, arrow == 'D' ? -1 : 1);
                }
                break;
            case 'h':
            case '?':
                notice(s, s.out, kKeysHelp);
                break;
            case 'n':
                return Outcome::next;
            case 'b':
                return Outcome::back;
            case 'i':
                notice(s, s.out, sampleNames(*player.module));
                break;
            case 3:  // Ctrl-C, read as a key while the terminal is in single-key mode
                InterruptGuard::raise(SIGINT);
                return Outcome::quit;
            case 'q':
                return Outcome::quit;
            default:
                // 1-9 and 0: channels 1-10 of the module, muted or heard again.
                if (key >= '0' && key <= '9' && player.module) {
                    const uint32_t channel = key == '0' ? 9 : static_cast<uint32_t>(key - '1');
                    if (channel < player.module->channelCount) player.mutes.toggle(channel);
                }
                break;
        }
    }
    return std::nullopt;
}

// The capture device's file, when it would be written over the input path.
bool capturesOnto(const OutputOptions& options, const std::string& path) {
    constexpr std::string_view capture = "capture=";
    if (options.device.compare(0, capture.size(), capture) != 0) return false;
    std::error_code error;
    return std::filesystem::equivalent(options.device.substr(capture.size()), path, error);
}

Outcome playFile(Session& s, const std::string& path, PlayQueue& queue) {
    Player& player = s.player;
    stopPlayback(player);
    Module& module = player.createModule();
    setRewinding(player, false);
    setFastForward(player, false);
    const LoadOutcome loaded = loadModuleFile(path, module);
    endStatusLine(s);
    reportLoad(s.err, "play", path, loaded);
    if (!loaded.loaded) {
        player.freeModule();
        return Outcome::next;
    }
    queue.moduleLoaded();
    applyOutputOptions(s.options, player);
    if (const std::string warning = missingChannelsWarning(s.options.render, module.channelCount);
        !warning.empty())
        notice(s, s.err, "tarvex-cli play: " + path + ": warning: " + warning);
    s.starts.reset();
    if (const std::string problem = applyStartPosition(s.options.render, player); !problem.empty()) {
        notice(s, s.err, path + ": " + problem + "; playing from the start");
    }
    s.songs = findSubsongs(module);
    s.song = 0;
    for (size_t i = 0; i < s.songs.size(); ++i) {
        if (s.songs[i].start == player.songStart) s.song = i;
    }
    if (!start(s)) return Outcome::deviceFailed;
    if (player.startFrame != 0 && player.playbackFinished.load()) {
        notice(s, s.err, "tarvex-cli play: " + path + ": the song ends before --from");
    }

    const std::string title = latin1ToUtf8(module.title.view());
    const std::string tracker = latin1ToUtf8(trackerLine(module));
    if (s.statusLine) {
        // One line on the terminal, as the status line below it.
        const int columns = terminalColumns();
        const size_t width = columns > 1 ? static_cast<size_t>(columns - 1) : 79;
        s.out << fitHeaderLine(path, title, tracker, width) << '\n' << std::flush;
    } else {
        s.out << path << ": \"" << title << "\", " << tracker << '\n' << std::flush;
    }

    bool paused = false;
    std::string lastStatus;
    Outcome outcome = Outcome::next;
    auto played = std::chrono::steady_clock::duration::zero();
    auto tick = std::chrono::steady_clock::now();
    for (;;) {
        int wait = s.statusLine ? static_cast<int>(kRefresh.count()) : -1;
        if (!paused) {
            // Not past --max-seconds.
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(
                std::chrono::microseconds(s.options.render.maxMicroseconds) - played);
            const int leftMs = static_cast<int>(std::clamp<int64_t>(left.count(), 1, 1 << 30));
            wait = wait < 0 ? leftMs : std::min(wait, leftMs);
        }
        s.keys.wait(wait);
        const auto now = std::chrono::steady_clock::now();
        if (!paused) played += now - tick;
        tick = now;

        if (const auto chosen = handleKeys(s, paused)) {
            outcome = *chosen;
            break;
        }
        if (InterruptGuard::received() != 0) {
            outcome = Outcome::quit;
            break;
        }
        // The status texts stand still once playback has stopped. The width is asked each time,
        // so the line follows a resized terminal.
        if (s.statusLine && !player.outputStopped.load()) {
            const int columns = terminalColumns();
            const size_t width = columns > 1 ? static_cast<size_t>(columns - 1) : 79;
            std::string status = statusText(s, paused, width);
#ifdef _WIN32
            // The console does not take escape sequences: blanks wipe what a longer line left.
            const size_t wiped = lastStatus.size() > status.size() ? lastStatus.size() - status.size() : 0;
            s.out << '\r' << status << std::string(wiped, ' ') << std::string(wiped, '\b') << std::flush;
#else
            s.out << '\r' << status << "\x1b[K" << std::flush;
#endif
            lastStatus = std::move(status);
            s.statusShown = true;
        }
        if (player.outputStopped.load()) break;  // the ring kind stopped after the song's last frame
        if (player.settings.UseWaveOut && player.playbackFinished.load()) break;
        if (played >= std::chrono::microseconds(s.options.render.maxMicroseconds)) {
            notice(s, s.err, "tarvex-cli play: " + path + ": stopped after --max-seconds");
            break;
        }
    }
    stopPlayback(player);
    endStatusLine(s);
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
    if (!parseOutputOptions(args, options, files, err, "play")) {
        err << usageText("play");
        return kExitUsage;
    }
    if (files.empty()) {
        err << "tarvex-cli play: no FILE given\n" << usageText("play");
        return kExitUsage;
    }
    for (const std::string& file : files) {
        if (capturesOnto(options, file)) {
            err << "tarvex-cli play: the capture file " << file
                << " is an input file; capture into another\n";
            return kExitFailed;
        }
    }

    // Only the real standard streams make an interactive player.
    const bool onTerminal = &out == &std::cout;
    const InterruptGuard interrupts;
    KeyInput keys(onTerminal && stdinIsTerminal());
    Session session{options, out, err, onTerminal && stdoutIsTerminal(), keys, {}, false, {}, {}, 0};
    session.player.device.backend = makeBackend(options.device);
    session.player.onStreamChange = [](void*) { wakeKeyWait(); };

    int status = kExitOk;
    bool failed = false;
    QueueOrder order;
    order.shuffle = options.shuffle;
    order.repeat = options.repeatList;
    if (order.shuffle) order.seed = std::random_device{}();
    PlayQueue queue(files, order);
    std::optional<std::string> path = queue.next(err, failed);
    while (path) {
        if (capturesOnto(options, *path)) {
            err << "tarvex-cli play: the capture file " << *path
                << " is an input file; capture into another\n";
            return kExitFailed;
        }
        const Outcome outcome = playFile(session, *path, queue);
        if (!session.player.module) status = kExitFailed;
        if (outcome == Outcome::deviceFailed) return kExitFailed;
        if (outcome == Outcome::quit) break;
        path = outcome == Outcome::back ? queue.previous() : queue.next(err, failed);
    }
    if (const int signal = InterruptGuard::received()) return interruptedStatus(signal);
    return failed ? kExitFailed : status;
}

}  // namespace tarvex::cli
