// What render and capture leave behind when they are refused, fail or are interrupted: the input
// intact, the previous output file or none, never a broken one; a capture complete after SIGTERM.
// Failing writes and signals are real: they happen in a child process (write limit, kill).
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <sstream>
#include <thread>

#ifdef __linux__
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "CommandRun.h"
#include "audio/StreamRig.h"
#include "cli/Commands.h"
#include "support/Corpus.h"
#include "support/ModWriter.h"

namespace tarvex::test {
namespace {

namespace fs = std::filesystem;

// One pattern that jumps back to itself: with --loops on the song never ends.
fs::path endlessSong(const std::string& name) {
    ModWriter mod = ModWriter::withSignature("M.K.");
    mod.samples[0].data.assign(512, 0);
    for (size_t i = 0; i < 512; ++i) mod.samples[0].data[i] = static_cast<int8_t>((i % 64) * 4 - 128);
    mod.samples[0].loopLengthWords = 256;
    mod.setCell(0, 0, 0, 1, 428, 0, 0);
    mod.setCell(0, 63, 1, 0, 0, 0xB, 0);
    return writeTempFile(name, mod.bytes());
}

// Files in dir whose names end in ".part": the temporary files of unfinished outputs.
std::vector<fs::path> partFiles(const fs::path& dir) {
    std::vector<fs::path> found;
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (entry.path().extension() == ".part") found.push_back(entry.path());
    }
    return found;
}

TEST(OutputFiles, AnOutputThatIsTheInputIsRefusedByIdentity) {
    const fs::path song = endlessSong("self.mod");
    const std::vector<uint8_t> original = readFileBytes(song);
    const fs::path dir = song.parent_path();
    fs::remove(dir / "self-link.mod");
    std::error_code noLinks;  // Wine makes no symbolic links
    fs::create_symlink(song, dir / "self-link.mod", noLinks);
    fs::remove(dir / "self-hard.wav");
    fs::create_hard_link(song, dir / "self-hard.wav");
    std::vector<fs::path> outputs = {song, dir / "self-hard.wav", dir / "." / song.filename()};
    if (!noLinks) outputs.push_back(dir / "self-link.mod");
    for (const fs::path& output : outputs) {
        SCOPED_TRACE(output.string());
        const CommandRun r = run(cli::renderCommand, {song.string(), "-o", output.string()});
        EXPECT_EQ(r.status, cli::kExitFailed);
        EXPECT_EQ(r.err, "tarvex-cli render: " + output.string() +
                             " is the input file; name another output with -o\n");
        EXPECT_TRUE(readFileBytes(song) == original);
    }
    // The capture device of play and preview is an output as well.
    const CommandRun played = run(cli::playCommand, {"--device", "capture=" + song.string(), song.string()});
    EXPECT_EQ(played.status, cli::kExitFailed);
    EXPECT_EQ(played.err, "tarvex-cli play: the capture file " + song.string() +
                              " is an input file; capture into another\n");
    const CommandRun previewed =
        run(cli::previewCommand,
            {"--device", "capture=" + (dir / (noLinks ? "self-hard.wav" : "self-link.mod")).string(),
             song.string(), "1"});
    EXPECT_EQ(previewed.status, cli::kExitFailed);
    EXPECT_TRUE(readFileBytes(song) == original);
    EXPECT_TRUE(partFiles(dir).empty());
}

#ifdef __linux__
enum class Failure { missingFolder, outputIsFolder, diskFull, interruptedInt, interruptedTerm };

// Runs render in a child process, makes it fail the given way, and returns its exit status and
// what it wrote to stderr (for the failures that end without a signal).
CommandRun renderFailing(Failure failure, const fs::path& song, const fs::path& output) {
    int fds[2];
    if (pipe(fds) != 0) return {-1, "", ""};
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        if (failure == Failure::diskFull) {
            // Writes beyond 64 KiB fail as on a full disk (EFBIG instead of the signal).
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{64 * 1024, 64 * 1024};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        const CommandRun r = run(cli::renderCommand, {"--loops", "on", "--max-seconds", "1200", song.string(),
                                                      "-o", output.string()});
        const ssize_t ignored = write(fds[1], r.err.data(), r.err.size());
        (void)ignored;
        _exit(r.status);
    }
    close(fds[1]);
    if (failure == Failure::interruptedInt || failure == Failure::interruptedTerm) {
        // Signal the child once its temporary file exists: it is writing then.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (partFiles(output.parent_path()).empty() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        kill(child, failure == Failure::interruptedInt ? SIGINT : SIGTERM);
    }
    std::string err;
    char buffer[512];
    for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;)
        err.append(buffer, static_cast<size_t>(n));
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status), "", err};
}

TEST(OutputFiles, AFailedOrInterruptedRenderLeavesThePreviousFileOrNone) {
    const fs::path song = endlessSong("long.mod");
    const fs::path dir = song.parent_path() / "renders";
    fs::remove_all(dir);
    fs::create_directories(dir / "folder.wav");
    const std::vector<uint8_t> old = {'o', 'l', 'd'};
    struct Case {
        Failure failure;
        std::string output;  // in dir
        bool oldFile;        // a previous file stands at the output's name
        int status;
        std::string err;  // after "tarvex-cli render: " + the output's path; empty: not checked
    };
    const std::vector<Case> cases = {
        {Failure::missingFolder, "missing/x.wav", false, 1, "cannot write %s (no such file or directory)\n"},
        {Failure::outputIsFolder, "folder.wav", false, 1, "cannot write %s (is a directory)\n"},
        {Failure::diskFull, "full.wav", true, 1, "writing %s failed (file too large)\n"},
        {Failure::interruptedInt, "int.wav", false, 130, ""},
        {Failure::interruptedTerm, "term.wav", true, 143, ""},
    };
    for (const Case& c : cases) {
        const fs::path output = dir / c.output;
        SCOPED_TRACE(output.string());
        if (c.oldFile) writeTempFile("renders/" + c.output, old);
        const CommandRun r = renderFailing(c.failure, song, output);
        EXPECT_EQ(r.status, c.status) << r.err;
        if (!c.err.empty()) {
            std::string expected = c.err;
            expected.replace(expected.find("%s"), 2, output.string());
            EXPECT_EQ(r.err, "tarvex-cli render: " + expected);
        }
        if (c.oldFile) {
            EXPECT_TRUE(readFileBytes(output) == old);
        } else if (c.failure != Failure::outputIsFolder) {
            EXPECT_FALSE(fs::exists(output));
        }
        EXPECT_TRUE(partFiles(dir).empty());
    }
}

TEST(OutputFiles, ACaptureIsCompleteAfterSIGTERM) {
    const fs::path song = endlessSong("captured.mod");
    const fs::path dir = song.parent_path() / "captures";
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path wav = dir / "play.wav";
    writeTempFile("captures/play.wav", {'o', 'l', 'd'});
    const pid_t child = fork();
    if (child == 0) {
        const CommandRun r = run(cli::playCommand, {"--device", "capture=" + wav.string(), "--loops", "on",
                                                    "--max-seconds", "60", song.string()});
        _exit(r.status);
    }
    // Until the device closes the capture grows beside its name; the old file stays meanwhile.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (partFiles(dir).empty() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(readFileBytes(wav) == std::vector<uint8_t>({'o', 'l', 'd'}));
    kill(child, SIGTERM);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 143);

    // A header that states exactly the data that follows it.
    const std::vector<uint8_t> file = readFileBytes(wav);
    ASSERT_GE(file.size(), 44u);
    const uint32_t dataBytes = file[40] | file[41] << 8 | file[42] << 16 | uint32_t{file[43]} << 24;
    EXPECT_GT(dataBytes, 0u);
    EXPECT_EQ(file.size(), 44u + dataBytes + (dataBytes & 1));
    EXPECT_EQ(wavData(wav).size(), dataBytes);
    EXPECT_TRUE(partFiles(dir).empty());
}
#endif

}  // namespace
}  // namespace tarvex::test
