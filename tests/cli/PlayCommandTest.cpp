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

#include "audio/StreamRig.h"
#include "cli/Commands.h"
#include "formats/Loader.h"
#include "support/Corpus.h"
#include "support/ModWriter.h"
#include "ui/ListFile.h"

namespace tarvex::test {
namespace {

struct CommandRun {
    int status;
    std::string out, err;
};

CommandRun run(cli::CommandFunction command, std::vector<std::string> args) {
    std::ostringstream out, err;
    const int status = command(args, out, err);
    return {status, out.str(), err.str()};
}

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
// Runs `tarvex-cli play` on a terminal of its own; presses space at pauseAt and again at
// resumeAt. Returns its exit status (-1 when it had to be killed) and what it showed.
std::pair<int, std::string> runOnTerminal(const std::vector<std::string>& args,
                                          std::chrono::milliseconds pauseAt,
                                          std::chrono::milliseconds resumeAt) {
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
        if ((keysSent == 0 && now >= pauseAt) || (keysSent == 1 && now >= resumeAt)) {
            if (write(master, " ", 1) == 1) ++keysSent;
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
        const auto [status, shown] = runOnTerminal(args, 500ms, 900ms);
        ASSERT_EQ(status, 0) << shown;
        EXPECT_NE(shown.find("[paused]"), std::string::npos) << shown;
        expectCaptureOfRender(song, options, wavData(wav), queued);
    }
}
#endif

TEST(PlayCommand, FailuresOfFilesAndDevices) {
    const auto song = shortMod("fails.mod");
    const std::string nowhere =
        "capture=" + (std::filesystem::temp_directory_path() / "no-such-dir" / "x.wav").string();

    // A file that does not load is reported and skipped.
    CommandRun r = run(cli::playCommand, {"--device", "null", "missing.mod", song.string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "missing.mod: File not found\n");
    EXPECT_NE(r.out.find(song.string()), std::string::npos);

    // A device that cannot be opened ends the command with the device kind's message.
    r = run(cli::playCommand, {"--device", nowhere, song.string(), song.string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Error: Failed to inititialize DirectSound\n");
    r = run(cli::playCommand, {"--waveout", "--device", nowhere, song.string()});
    EXPECT_EQ(r.err, "Error: Failed to open wave out device\n");

    // With a fallback the song plays there after a one-line notice.
    r = run(cli::playCommand, {"--device", nowhere, "--fallback-device", "null", song.string()});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err,
              "tarvex-cli: no audio device could be opened (Error: Failed to inititialize DirectSound); "
              "playing on the null device instead\n");

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

}  // namespace
}  // namespace tarvex::test
