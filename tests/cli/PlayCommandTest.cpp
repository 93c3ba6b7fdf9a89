// tarvex-cli play and preview, run in-process on the null and capture devices; list files.
#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <string>
#include <utility>

#ifndef _WIN32
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "CommandRun.h"
#include "audio/StreamRig.h"
#include "cli/Commands.h"
#include "cli/Terminal.h"
#include "formats/Loader.h"
#include "support/Corpus.h"
#include "support/ItWriter.h"
#include "support/ModWriter.h"
#include "support/XmWriter.h"
#include "ui/ListFile.h"

namespace tarvex::test {
namespace {

// A MOD of `rows` rows at `speed` (20 ms a tick), one looped and one plain sample.
std::filesystem::path shortMod(const std::string& name, uint32_t rows = 12, std::string title = "short",
                               uint8_t speed = 1) {
    ModWriter mod = ModWriter::withSignature("M.K.");
    mod.title = title;
    mod.samples[0].data.assign(1200, 0);
    for (size_t i = 0; i < 1200; ++i) mod.samples[0].data[i] = static_cast<int8_t>((i * 7) % 200 - 100);
    mod.samples[1].data.assign(64, 0);
    for (size_t i = 0; i < 64; ++i) mod.samples[1].data[i] = static_cast<int8_t>(i < 32 ? 90 : -90);
    mod.samples[1].loopLengthWords = 32;
    mod.setCell(0, 0, 0, 0, 0, 0xF, speed);
    for (uint32_t row = 0; row < rows; row += 3) mod.setCell(0, row, 1, 1, 428, 0, 0);
    mod.setCell(0, 1, 2, 2, 214, 0x4, 0x46);
    mod.setCell(0, rows - 1, 3, 0, 0, 0xD, 0);
    return writeTempFile(name, mod.bytes());
}

std::unique_ptr<Module> load(const std::filesystem::path& path) {
    auto module = std::make_unique<Module>();
    EXPECT_TRUE(loadModuleFile(path.string(), *module).loaded);
    return module;
}

TEST(ListFile, EntriesFollowTheLineRules) {
    const std::string longLine(600, 'x');
    const std::string text = "a.mod\r\n\r\nb.mod\r\n" + longLine + "\nlast.mod\n";
    const auto path = writeTempFile("rules.lst", std::vector<uint8_t>(text.begin(), text.end()));
    ListFile list;
    ASSERT_TRUE(list.open(path.string()));
    EXPECT_FALSE(list.open(path.string()));  // one list at a time
    const std::vector<std::string> expected = {
        "a.mod", "", "b.mod", std::string(499, 'x'), std::string(101, 'x'), "last.mod"};
    for (const std::string& entry : expected) {
        ASSERT_TRUE(list.isOpen());
        EXPECT_EQ(list.readNextEntry(), entry);
    }
    // The line feed ending the last line leaves nothing more: the list closed with that entry.
    EXPECT_FALSE(list.isOpen());
    EXPECT_EQ(list.readNextEntry(), std::nullopt);
}

TEST(ListFile, ExtensionRule) {
    EXPECT_TRUE(isListPath("a.lst"));
    EXPECT_TRUE(isListPath("dir.x/a.LST"));
    EXPECT_TRUE(isListPath("a.lstx"));
    EXPECT_FALSE(isListPath("a.ls"));
    EXPECT_FALSE(isListPath("a.lst.mod"));
    EXPECT_FALSE(isListPath("lst"));
    EXPECT_FALSE(isListPath("a."));
}

TEST(PlayCommand, PlaysFilesAndListEntriesInOrderOneLineEach) {
    const auto a = shortMod("a.mod", 9, "song a");
    const auto b = shortMod("b.mod", 6, "song b");
    const std::string lines = a.string() + "\r\n\r\n" + b.string() + "\r\n";
    const auto list = writeTempFile("two.lst", std::vector<uint8_t>(lines.begin(), lines.end()));
    // A list named on the last line of a list is opened as the next list.
    const std::string outer = a.string() + "\n" + list.string();
    const auto nested = writeTempFile("outer.lst", std::vector<uint8_t>(outer.begin(), outer.end()));

    const CommandRun r =
        run(cli::playCommand, {"--device", "null", "--buffer", "15", b.string(), nested.string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, b.string() + ": \"song b\", ProTracker [M.K.]\n" + a.string() +
                         ": \"song a\", ProTracker [M.K.]\n" + a.string() +
                         ": \"song a\", ProTracker [M.K.]\n" + b.string() +
                         ": \"song b\", ProTracker [M.K.]\n");
    EXPECT_EQ(r.err, "");
}

// What `render` writes for the song with the options, and what a capture of `play` must hold
// (the ring kind: exactly that; the queued kind: that, then the channels sounding on as they stood).
void expectCaptureOfRender(const std::filesystem::path& song, const std::vector<std::string>& options,
                           const std::vector<uint8_t>& captured, bool queued) {
    const auto renderWav = writeTempFile("render.wav", {});
    std::vector<std::string> renderArgs = options;
    renderArgs.insert(renderArgs.end(), {song.string(), "-o", renderWav.string()});
    ASSERT_EQ(run(cli::renderCommand, renderArgs).status, 0);
    const auto rendered = wavData(renderWav);
    ASSERT_GT(rendered.size(), 22050u);
    if (!queued) {
        EXPECT_EQ(captured.size(), rendered.size());
        EXPECT_TRUE(captured == rendered) << "the capture differs from the render";
        return;
    }
    ASSERT_GE(captured.size(), rendered.size());
    EXPECT_TRUE(slice(captured, 0, rendered.size()) == rendered) << "the render is not the capture's start";
}

TEST(PlayCommand, ACaptureHoldsWhatRenderWritesForTheSameOptions) {
    const auto song = shortMod("capture.mod");
    const std::vector<std::string> options = {"--rate", "22050", "--preamp", "700", "--wide", "off"};
    // 50 ms segments, and 250 ms ones, with which the whole song fits into the first 7.
    for (const char* buffer : {"50", "250"}) {
        for (bool queued : {false, true}) {
            SCOPED_TRACE(std::string(queued ? "queued, " : "ring, ") + buffer + " ms");
            const auto wav = writeTempFile("play.wav", {});
            std::vector<std::string> args = options;
            args.insert(args.end(),
                        {"--device", "capture=" + wav.string(), "--buffer", buffer, song.string()});
            if (queued) args.insert(args.begin(), "--waveout");
            const CommandRun r = run(cli::playCommand, args);
            ASSERT_EQ(r.status, 0) << r.err;
            const auto captured = wavData(wav);
            expectCaptureOfRender(song, options, captured, queued);
            if (queued) {
                // After the song, the channels as they stood, with no further ticks.
                auto module = load(song);
                const uint32_t bufferLength = std::stoul(buffer) * 8;
                const StreamOptions same{.rate = 22050, .bufferLength = bufferLength, .queued = true};
                const size_t songBytes = referenceRender(load(song), same, 0, 700, false).size();
                EXPECT_TRUE(captured == referenceRender(std::move(module), same, captured.size() - songBytes,
                                                        700, /*wide=*/false));
            }
        }
    }
}

#if !defined(_WIN32) && defined(TARVEX_CLI_PATH)
struct KeyPress {
    std::chrono::milliseconds at;
    char key;
};

// Runs `tarvex-cli play` on a terminal of its own and presses the keys at their times. Returns
// its exit status (-1 when it had to be killed) and what it showed.
std::pair<int, std::string> runOnTerminal(const std::vector<std::string>& args,
                                          const std::vector<KeyPress>& keys) {
    std::vector<std::string> all = {TARVEX_CLI_PATH, "play"};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    int master = -1;
    const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    if (pid == 0) {
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (pid < 0) return {-1, "forkpty failed"};
    const auto start = std::chrono::steady_clock::now();
    std::string shown;
    int keysSent = 0;
    int status = -1;
    for (;;) {
        pollfd fd{master, POLLIN, 0};
        if (poll(&fd, 1, 5) > 0) {
            char buffer[4096];
            const ssize_t n = read(master, buffer, sizeof buffer);
            if (n > 0) shown.append(buffer, static_cast<size_t>(n));
        }
        const auto now = std::chrono::steady_clock::now() - start;
        const size_t sent = static_cast<size_t>(keysSent);
        if (sent < keys.size() && now >= keys[sent].at) {
            if (write(master, &keys[sent].key, 1) == 1) ++keysSent;
        }
        int waited = 0;
        if (waitpid(pid, &waited, WNOHANG) == pid) {
            status = WIFEXITED(waited) ? WEXITSTATUS(waited) : -1;
            break;
        }
        if (now > std::chrono::seconds(30)) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
            break;
        }
    }
    close(master);
    return {status, shown};
}

// On an 80-column terminal (the size a terminal of unknown size counts as) the key help and the
// line that names the file fit: the file's long path loses its start, not its name.
TEST(PlayCommand, KeyHelpAndFileLineFitEightyColumns) {
    using namespace std::chrono_literals;
    const std::string deep = "deep/" + std::string(70, 'd');
    std::filesystem::create_directories(writeTempFile("x", {}).parent_path() / deep);
    const auto song = shortMod(deep + "/long-named-song.mod", 64, "a title of twenty ch", 3);
    const auto [status, shown] =
        runOnTerminal({"--device", "null", song.string()}, {{300ms, 'h'}, {600ms, 'q'}});
    EXPECT_EQ(status, 0) << shown;
    EXPECT_NE(shown.find("Keys: "), std::string::npos) << shown;
    EXPECT_NE(shown.find("..."), std::string::npos) << shown;
    EXPECT_NE(shown.find("long-named-song.mod: \"a title of twenty ch\", ProTracker [M.K.]"),
              std::string::npos)
        << shown;
    // Every line as the terminal shows it: after the last carriage return, escapes left out.
    std::istringstream lines(shown);
    for (std::string line; std::getline(lines, line, '\n');) {
        while (!line.empty() && line.back() == '\r') line.pop_back();
        const size_t cr = line.rfind('\r');
        if (cr != std::string::npos) line = line.substr(cr + 1);
        for (size_t escape; (escape = line.find("\x1b[K")) != std::string::npos;) line.erase(escape, 3);
        EXPECT_LE(line.size(), 80u) << line;
    }
}

TEST(PlayCommand, AFileLineIsCutFromTheLeftOfItsPath) {
    struct Row {
        std::string path;
        size_t width;
        std::string line;
    };
    const std::string rest = ": \"Title\", ProTracker [M.K.]";  // 28 characters
    const std::vector<Row> rows = {
        {"short.mod", 79, "short.mod" + rest},
        {"/a/b/c.mod", 38, "/a/b/c.mod" + rest},                             // exactly fits
        {"/mods/deep/c.mod", 43, "...s/deep/c.mod" + rest},                  // the path loses its start
        {"/mods/deep/c.mod", 39, ("...s/deep/c.mod" + rest).substr(0, 39)},  // a dozen kept, then cut
        {"/mods/deep/a-long-name.mod", 30, "...ong-name.mod" + rest.substr(0, 15)},
        {"/mods/m\xC3\xBCsik/\xC3\xA4.mod", 43,
         ".../m\xC3\xBCsik/\xC3\xA4.mod" + rest},  // characters, not bytes
    };
    for (const Row& row : rows) {
        EXPECT_EQ(cli::fitHeaderLine(row.path, "Title", "ProTracker [M.K.]", row.width), row.line)
            << row.path;
    }
}

// A channel the song does not have is a warning, and the song plays; --mute with --solo hears the
// solo channels less the muted ones.
TEST(PlayCommand, MuteAndSoloOfChannelsTheSongLacksWarn) {
    const auto song = shortMod("fourchannels.mod");
    struct Row {
        std::vector<std::string> options;
        std::string warning;  // after "tarvex-cli render: SONG: warning: "; empty: none
    };
    const std::vector<Row> rows = {
        {{"--mute", "2,4"}, ""},
        {{"--mute", "5"}, "--mute names channel 5, which the song does not have (4 channels)"},
        {{"--solo", "1,7-9"}, "--solo names channels 7, 8, 9, which the song does not have (4 channels)"},
        {{"--mute", "6", "--solo", "5"},
         "--mute names channel 6, which the song does not have (4 channels); --solo names channel 5, which "
         "the song does not have (4 channels)"},
    };
    for (const Row& row : rows) {
        cli::CommandArgs args = row.options;
        args.insert(args.end(), {song.string(), "-o", "-", "--format", "raw"});
        const CommandRun r = run(cli::renderCommand, args);
        EXPECT_EQ(r.status, 0);
        EXPECT_FALSE(r.out.empty());
        EXPECT_EQ(r.err, row.warning.empty()
                             ? ""
                             : "tarvex-cli render: " + song.string() + ": warning: " + row.warning + "\n");
        const CommandRun played = run(cli::playCommand, [&] {
            cli::CommandArgs a = row.options;
            a.insert(a.end(), {"--device", "null", song.string()});
            return a;
        }());
        EXPECT_EQ(played.status, 0);
        EXPECT_EQ(played.err.find("warning: " + row.warning) != std::string::npos, !row.warning.empty())
            << played.err;
    }
    // --solo 1,2 --mute 2 sounds as --solo 1.
    const CommandRun both = run(
        cli::renderCommand, {"--solo", "1,2", "--mute", "2", song.string(), "-o", "-", "--format", "raw"});
    const CommandRun one =
        run(cli::renderCommand, {"--solo", "1", song.string(), "-o", "-", "--format", "raw"});
    const CommandRun two =
        run(cli::renderCommand, {"--solo", "1,2", song.string(), "-o", "-", "--format", "raw"});
    EXPECT_EQ(both.out, one.out);
    EXPECT_NE(both.out, two.out);
}

TEST(PlayCommand, APauseInTheMiddleLeavesTheCaptureAsTheRender) {
    using namespace std::chrono_literals;
    // 64 rows at speed 2: 2.56 s, longer than the 1.75 s the 250 ms segments render ahead, so the
    // pause comes before the end has been rendered, for the queued kind too.
    const auto song = shortMod("paused.mod", 64, "paused", 2);
    const std::vector<std::string> options = {"--rate", "22050"};
    for (bool queued : {false, true}) {
        SCOPED_TRACE(queued ? "queued" : "ring");
        const auto wav = writeTempFile("paused.wav", {});
        std::vector<std::string> args = options;
        args.insert(args.end(), {"--buffer", "250", "--device", "capture=" + wav.string(), song.string()});
        if (queued) args.insert(args.begin(), "--waveout");
        const auto [status, shown] = runOnTerminal(args, {{500ms, ' '}, {900ms, ' '}});
        ASSERT_EQ(status, 0) << shown;
        EXPECT_NE(shown.find("[paused]"), std::string::npos) << shown;
        expectCaptureOfRender(song, options, wavData(wav), queued);
    }
}
TEST(PlayCommand, KeysShowTheSampleNamesAndGoBackAFile) {
    using namespace std::chrono_literals;
    ModWriter named = ModWriter::withSignature("M.K.");
    named.samples[0].name = "kick";
    named.samples[2].name = "bass line";
    named.samples[0].data.assign(64, 30);
    named.setCell(0, 0, 0, 0, 0, 0xF, 8);  // 64 rows at speed 8: 10 s
    const auto first = writeTempFile("first.mod", named.bytes());
    const auto second = shortMod("second.mod", 64, "second", 8);
    const auto [status, shown] = runOnTerminal({"--device", "null", first.string(), second.string()},
                                               {{400ms, 'i'}, {800ms, 'n'}, {1300ms, 'b'}, {1800ms, 'q'}});
    EXPECT_EQ(status, 0) << shown;
    const size_t samples = shown.find("Samples:\r\n  1  kick\r\n  2  \r\n  3  bass line\r\n  4  \r\n");
    EXPECT_NE(samples, std::string::npos) << shown;
    const size_t a = shown.find(first.string() + ": ");
    const size_t b = shown.find(second.string() + ": ", a);
    const size_t again = shown.find(first.string() + ": ", b);
    EXPECT_LT(a, samples);
    EXPECT_LT(samples, b);
    EXPECT_NE(b, std::string::npos) << shown;
    EXPECT_NE(again, std::string::npos) << shown;  // b went back to the first file
}
#endif

TEST(PlayCommand, FailuresOfFilesAndDevices) {
    const auto song = shortMod("fails.mod");
    const std::string nowhere =
        "capture=" + (std::filesystem::temp_directory_path() / "no-such-dir" / "x.wav").string();

    const std::string why = " (cannot write " + nowhere.substr(8) + ": no such file or directory)";

    // A file that does not load is reported and skipped.
    CommandRun r = run(cli::playCommand, {"--device", "null", "missing.mod", song.string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "tarvex-cli play: missing.mod: File not found (no such file or directory)\n");
    EXPECT_NE(r.out.find(song.string()), std::string::npos);

    // A device that cannot be opened ends the command with the device's message and why, for
    // either kind.
    r = run(cli::playCommand, {"--device", nowhere, song.string(), song.string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "tarvex-cli play: Error: Failed to open the capture file" + why + "\n");
    r = run(cli::playCommand, {"--waveout", "--device", nowhere, song.string()});
    EXPECT_EQ(r.err, "tarvex-cli play: Error: Failed to open the capture file" + why + "\n");

    // With a fallback the song plays there after a one-line notice.
    r = run(cli::playCommand, {"--device", nowhere, "--fallback-device", "null", song.string()});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "tarvex-cli play: Error: Failed to open the capture file" + why +
                         "; playing on the null device instead\n");

    EXPECT_EQ(run(cli::playCommand, {"--device", "speakers", song.string()}).status, 2);
    EXPECT_EQ(run(cli::playCommand, {"--buffer", "30", song.string()}).status, 2);
    EXPECT_EQ(run(cli::playCommand, {}).status, 2);
}

TEST(PreviewCommand, PlaysTheSampleOnceAtTheNoteAsked) {
    const auto song = shortMod("preview.mod");
    // Sample 1: 1200 frames at 8363 Hz; at C-6 it lasts 1200 * 1024 / 194 output frames at 44100
    // Hz, at C-7 half as long.
    for (const auto& [note, frames] :
         {std::pair{"C-6", 1200 * 1024 / 194}, std::pair{"C-7", 1200 * 1024 / 388}}) {
        SCOPED_TRACE(note);
        const auto wav = writeTempFile("preview.wav", {});
        const CommandRun r = run(cli::previewCommand, {"--device", "capture=" + wav.string(), "--isp", "off",
                                                       song.string(), "1", "--note", note});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, song.string() + ": sample 1 \"\" at " + note + "\n");
        const auto data = wavData(wav);
        size_t lastSound = 0;
        for (size_t i = 0; i + 1 < data.size(); i += 2) {
            if (data[i] != 0 || data[i + 1] != 0) lastSound = i / 2;
        }
        EXPECT_NEAR(static_cast<double>(lastSound), frames, 2.0);
        // Sample value v (8-bit file data, v * 256) plays at half scale: v * 128 in 16 bits.
        const int16_t first = static_cast<int16_t>(data[2] | data[3] << 8);
        EXPECT_EQ(first, -100 * 128);
    }
    EXPECT_EQ(run(cli::previewCommand, {"--device", "null", song.string(), "3"}).status, 1);  // no data
    EXPECT_EQ(run(cli::previewCommand, {"--device", "null", song.string(), "40"}).status,
              1);  // no such sample
    EXPECT_EQ(run(cli::previewCommand, {"--device", "null", song.string(), "1", "--note", "X-9"}).status, 2);
    EXPECT_EQ(run(cli::previewCommand, {"--device", "null", song.string()}).status, 2);
}

TEST(PreviewCommand, NamesASampleOfAnInstrument) {
    // Instrument 1 holds one sample of 400 frames, instrument 2 two, of 800 and 1600: I.S picks
    // one by its length heard at C-6.
    XmWriter xm;
    const auto sampleOf = [](size_t frames) {
        XmSampleSpec sample;
        sample.frames.assign(frames, 60);
        return sample;
    };
    xm.instruments.push_back(XmInstrumentSpec::single("one", {sampleOf(400)}));
    xm.instruments.push_back(XmInstrumentSpec::single("two", {sampleOf(800), sampleOf(1600)}));
    const auto song = writeTempFile("instruments.xm", xm.bytes());
    struct Case {
        const char* sample;
        int status;
        size_t frames;
    };
    for (const Case& c : {Case{"2.2", 0, 1600}, Case{"2.1", 0, 800}, Case{"1.1", 0, 400}, Case{"3", 0, 1600},
                          Case{"2.3", 1, 0}, Case{"3.1", 1, 0}, Case{"2.", 2, 0}, Case{"0.1", 2, 0}}) {
        SCOPED_TRACE(c.sample);
        const auto wav = writeTempFile("instrument.wav", {});
        const CommandRun r = run(cli::previewCommand, {"--device", "capture=" + wav.string(), "--isp", "off",
                                                       song.string(), c.sample});
        EXPECT_EQ(r.status, c.status) << r.err;
        if (c.status != 0) continue;
        const auto data = wavData(wav);
        size_t lastSound = 0;
        for (size_t i = 0; i + 1 < data.size(); i += 2) {
            if (data[i] != 0 || data[i + 1] != 0) lastSound = i / 2;
        }
        EXPECT_NEAR(static_cast<double>(lastSound), c.frames * 1024 / 194, 2.0);
    }
    EXPECT_EQ(run(cli::previewCommand, {"--device", "null", shortMod("plain.mod").string(), "1.1"}).status,
              1);
}

TEST(PreviewCommand, NamesASampleAnItInstrumentsKeysPlay) {
    // Instrument 1's low keys play sample 3, its high keys sample 1; instrument 2 plays none. Its
    // samples are those in key order: 1.1 is sample 3, 1.2 sample 1.
    ItWriter it;
    it.flags = 1 | 4;
    const auto sampleOf = [](const char* name, size_t frames) {
        ItSample sample;
        sample.name = name;
        sample.frames.assign(frames, 60);
        return sample;
    };
    it.samples = {sampleOf("short", 400), sampleOf("unused", 800), sampleOf("long", 1600)};
    ItInstrument keys;
    for (size_t key = 0; key < keys.keyboard.size(); ++key) keys.keyboard[key].second = key < 60 ? 3 : 1;
    it.instruments = {keys, ItInstrument{}};
    const auto song = writeTempFile("instruments.it", it.bytes());
    const auto lengthHeard = [&song](const char* sample) {
        const auto wav = writeTempFile("instrument.wav", {});
        const CommandRun r = run(cli::previewCommand, {"--device", "capture=" + wav.string(), "--isp", "off",
                                                       song.string(), sample});
        EXPECT_EQ(r.status, 0) << sample << ": " << r.err;
        const auto data = wavData(wav);
        size_t lastSound = 0;
        for (size_t i = 0; i + 1 < data.size(); i += 2) {
            if (data[i] != 0 || data[i + 1] != 0) lastSound = i / 2;
        }
        return static_cast<double>(lastSound);
    };
    const double first = lengthHeard("1.1");
    const double second = lengthHeard("1.2");
    ASSERT_GT(second, 0.0);
    EXPECT_NEAR(first / second, 4.0, 0.05);
    EXPECT_NEAR(lengthHeard("3") / first, 1.0, 0.01);
    for (const char* missing : {"1.3", "2.1", "3.1"}) {
        const CommandRun r = run(cli::previewCommand, {"--device", "null", song.string(), missing});
        EXPECT_EQ(r.status, 1) << missing;
        EXPECT_NE(r.err.find("no "), std::string::npos) << missing << ": " << r.err;
    }
}

TEST(PlayCommand, ListsThatLeadRoundInACircleEndAtOnce) {
    const std::filesystem::path dir = writeTempFile("x", {}).parent_path() / "circles";
    std::filesystem::create_directories(dir);
    const auto write = [&](const std::string& name, const std::string& text) {
        writeTempFile("circles/" + name, std::vector<uint8_t>(text.begin(), text.end()));
        return (dir / name).string();
    };
    const std::string song = shortMod("circles/song.mod").string();
    const std::string self = write("self.lst", (dir / "self.lst").string() + "\n");
    const std::string a = write("a.lst", (dir / "b.lst").string() + "\n");
    const std::string b = write("b.lst", a + "\n");
    const std::string failing = write("failing.lst", "missing.mod\n" + (dir / "failing.lst").string());
    std::filesystem::remove(dir / "alias.lst");
    std::error_code noLinks;  // Wine makes no symbolic links
    std::filesystem::create_symlink(dir / "aliased.lst", dir / "alias.lst", noLinks);
    const std::string aliased = write("aliased.lst", (dir / "alias.lst").string() + "\n");
    // 70 lists, each naming the next on its only line, the last a module: the chain is cut.
    for (int i = 69; i >= 0; --i) {
        write("chain" + std::to_string(i) + ".lst",
              i == 69 ? song + "\n" : (dir / ("chain" + std::to_string(i + 1) + ".lst")).string() + "\n");
    }
    const std::string chain0 = (dir / "chain0.lst").string();
    struct Case {
        std::vector<std::string> files;
        std::string err;
    };
    std::vector<Case> cases = {
        {{self}, "tarvex-cli play: list " + self + " names itself on its last line; the list ends\n"},
        {{a},
         "tarvex-cli play: list " + b + " leads back to " + a +
             ", opened before it, with no module played; the list ends\n"},
        {{failing},
         "tarvex-cli play: missing.mod: File not found (no such file or directory)\n"
         "tarvex-cli play: list " +
             failing + " names itself on its last line; the list ends\n"},
        {{chain0},
         "tarvex-cli play: list " + (dir / "chain64.lst").string() +
             ": 64 lists in a row have played no module; the list ends\n"},
        // The files after a list that ended so still play.
        {{self, song}, "tarvex-cli play: list " + self + " names itself on its last line; the list ends\n"},
    };
    if (!noLinks) {
        cases.push_back({{aliased},
                         "tarvex-cli play: list " + (dir / "alias.lst").string() +
                             " names itself on its last line; the list ends\n"});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.files.front());
        std::vector<std::string> args = {"--device", "null", "--buffer", "15"};
        args.insert(args.end(), c.files.begin(), c.files.end());
        const auto start = std::chrono::steady_clock::now();
        const CommandRun r = run(cli::playCommand, args);
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.out, c.files.size() > 1 ? song + ": \"short\", ProTracker [M.K.]\n" : "");
        if (c.files.size() == 1) {
#ifdef _WIN32
            // Under Wine each comparison of two files' identities opens both, in milliseconds.
            EXPECT_LT(took, std::chrono::seconds(30));
#else
            EXPECT_LT(took, std::chrono::seconds(1));
#endif
        }
    }
}

TEST(StatusLine, FitsTheTerminalDroppingTheLeastUsefulFieldsFirst) {
    const StatusTexts t{"2%", "03/07", "02", "1C", "125", "6", " 0:19"};
    const std::string full = "CPU 2% | Index 03/07 | Pattern 02 | Row 1C | BPM 125 | Speed 6 | Time  0:19";
    struct Row {
        std::string_view state;
        size_t width;
        std::string line;
    };
    const std::vector<Row> rows = {
        {"", 200, full},
        {"", full.size(), full},
        {"[paused]", 200, full + "  [paused]"},
        // 84 characters paused: on 80 columns (79 usable) the render load goes first.
        {"[paused]", 79, "Index 03/07 | Pattern 02 | Row 1C | BPM 125 | Speed 6 | Time  0:19  [paused]"},
        {"[>>]", 62, "Index 03/07 | Pattern 02 | Row 1C | BPM 125 | Time  0:19  [>>]"},
        {"[paused]", 61, "Index 03/07 | Pattern 02 | Row 1C | Time  0:19  [paused]"},
        {"[paused]", 55, "Index 03/07 | Row 1C | Time  0:19  [paused]"},
        {"[paused]", 42, "Index 03/07 | Time  0:19  [paused]"},
        {"", 24, "Index 03/07 | Time  0:19"},
        {"[paused]", 33, "Time  0:19  [paused]"},
        {"[paused]", 8, "[paused]"},
        {"[paused]", 5, "[paus"},
    };
    for (const Row& row : rows) {
        const std::string line = cli::fitStatusLine(t, row.state, row.width);
        EXPECT_EQ(line, row.line) << row.width;
        EXPECT_LE(line.size(), row.width);
    }
}

TEST(PlayCommand, LoadWarningsAndOptionsThatDoNotApply) {
    const auto song = shortMod("warned.mod");
    std::vector<uint8_t> cut = readFileBytes(song);
    cut.resize(cut.size() - 100);
    const auto shortFile = writeTempFile("cut.mod", cut);
    // A module that loads with a warning still plays; the warning names the command.
    CommandRun r = run(cli::playCommand, {"--device", "null", "--max-seconds", "0.5", shortFile.string()});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "tarvex-cli play: " + shortFile.string() + ": warning: Mod too short for 100 Bytes\n");
    r = run(cli::previewCommand, {"--device", "null", "--max-seconds", "0.5", shortFile.string(), "1"});
    EXPECT_EQ(r.err,
              "tarvex-cli preview: " + shortFile.string() + ": warning: Mod too short for 100 Bytes\n");

    // The sample preview plays one sample once, mono: options of the mix are refused.
    for (const std::string option :
         {"--channels", "--click", "--wide", "--clipping", "--loops", "--preamp"}) {
        r = run(cli::previewCommand, {"--device", "null", option + "=1", song.string(), "1"});
        EXPECT_EQ(r.status, 2) << option;
        // The reason first, then the usage line.
        EXPECT_EQ(r.err.substr(0, r.err.find("Usage: tarvex-cli preview")),
                  "tarvex-cli preview: option " + option +
                      " does not apply to preview (one sample, played once, mono)\n");
    }
    r = run(cli::playCommand, {"--device", "null", "--note", "C-5", song.string()});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err.substr(0, r.err.find("Usage: tarvex-cli play")),
              "tarvex-cli play: unknown option --note\n");
}

}  // namespace
}  // namespace tarvex::test
