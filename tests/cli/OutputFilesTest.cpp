// What render and capture leave behind when they are refused, fail or are interrupted: the input
// intact, the previous output file or none, never a broken one; a capture complete after SIGTERM.
// Failing writes and signals are real: they happen in a child process (write limit, kill).
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <optional>
#include <sstream>
#include <thread>

#ifdef __linux__
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#endif

#include "CommandRun.h"
#include "audio/StreamRig.h"
#include "audio/WavFile.h"
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

// Reads everything from fd until its writer closes, on a thread of its own.
class Drain {
   public:
    explicit Drain(int fd) : thread_([this, fd] { readAll(fd); }) {}
    // A named pipe, opened for reading on the thread: that waits for the writer.
    explicit Drain(const fs::path& fifo)
        : fifo_(fifo), thread_([this] { readAll(open(fifo_.c_str(), O_RDONLY)); }) {}
    std::vector<uint8_t> take() {
        if (!fifo_.empty()) {
            // Lets a reader still waiting for a writer that never came see the end.
            const int writer = open(fifo_.c_str(), O_WRONLY | O_NONBLOCK);
            if (writer >= 0) close(writer);
        }
        thread_.join();
        return bytes_;
    }

   private:
    void readAll(int fd) {
        if (fd < 0) return;
        char buffer[65536];
        for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;)
            bytes_.insert(bytes_.end(), buffer, buffer + n);
        close(fd);
    }

    fs::path fifo_;
    std::vector<uint8_t> bytes_;
    std::thread thread_;
};

enum class Kind { newFile, oldFile, link, danglingLink, linkChain, hardLink, fifo, socket, device, terminal };

// A target of the kind at path (with its helpers in dir); false when this system does not let
// the test make one.
struct Target {
    fs::path path;       // what -o names
    fs::path real;       // where the bytes end up
    fs::path otherName;  // a hard link's other name
    int readerFd = -1;   // the far end of a pipe or socket, or a terminal's master
    int listenFd = -1;
    int slaveFd = -1;  // a terminal's own end, held open so that the master shows only output
};

bool makeTarget(Kind kind, const fs::path& dir, Target& t) {
    t.path = dir / "out.wav";
    t.real = t.path;
    const std::vector<uint8_t> old = {'o', 'l', 'd'};
    switch (kind) {
        case Kind::newFile:
            return true;
        case Kind::oldFile:
            writeTempFile((dir.filename() / "out.wav").string(), old);
            return true;
        case Kind::link:
        case Kind::danglingLink:
            fs::create_directories(dir / "real");
            t.real = dir / "real" / "song.wav";
            if (kind == Kind::link) writeTempFile((dir.filename() / "real" / "song.wav").string(), old);
            fs::create_symlink("real/song.wav", t.path);
            return true;
        case Kind::linkChain:
            t.real = dir / "final.wav";
            writeTempFile((dir.filename() / "final.wav").string(), old);
            fs::create_symlink(t.real, dir / "middle.wav");
            fs::create_symlink("middle.wav", t.path);
            return true;
        case Kind::hardLink:
            writeTempFile((dir.filename() / "out.wav").string(), old);
            t.otherName = dir / "other-name.wav";
            fs::create_hard_link(t.path, t.otherName);
            return true;
        case Kind::fifo:
            return mkfifo(t.path.c_str(), 0600) == 0;
        case Kind::socket: {
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            std::strncpy(address.sun_path, t.path.c_str(), sizeof address.sun_path - 1);
            t.listenFd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            return t.listenFd >= 0 &&
                   bind(t.listenFd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
                   listen(t.listenFd, 1) == 0;
        }
        case Kind::device:
            // A node of the null device of our own: making one needs the right to (root, no
            // container rule against it).
            return mknod(t.path.c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0;
        case Kind::terminal: {
            int slave = -1;
            char name[256] = {};
            if (openpty(&t.readerFd, &slave, name, nullptr, nullptr) != 0) return false;
            t.slaveFd = slave;
            t.path = t.real = name;
            return true;
        }
    }
    return false;
}

// render -o onto every kind of target: an ordinary file gets the render by rename, a link is
// written through and stays a link, a hard link's names all show it, a pipe or socket reader gets
// the whole stream, a device stays a device, a terminal is refused. Never a system file.
TEST(OutputFiles, RenderWritesEveryKindOfTargetAsItExpects) {
    const fs::path song = endlessSong("kinds.mod");
    const fs::path reference = song.parent_path() / "kinds-reference.wav";
    const std::vector<std::string> options = {"--max-seconds", "2", "--rate", "22050"};
    cli::CommandArgs args = options;
    args.insert(args.end(), {song.string(), "-o", reference.string()});
    ASSERT_EQ(run(cli::renderCommand, args).status, cli::kExitOk);
    const std::vector<uint8_t> expected = readFileBytes(reference);
    ASSERT_GT(expected.size(), 44u);

    struct Case {
        Kind kind;
        const char* name;
        int status;
    };
    const std::vector<Case> cases = {
        {Kind::newFile, "new file", 0},         {Kind::oldFile, "old file", 0},
        {Kind::link, "symbolic link", 0},       {Kind::danglingLink, "dangling link", 0},
        {Kind::linkChain, "chain of links", 0}, {Kind::hardLink, "hard link", 0},
        {Kind::fifo, "named pipe", 0},          {Kind::socket, "socket", 0},
        {Kind::device, "device node", 0},       {Kind::terminal, "terminal", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path dir = song.parent_path() / (std::string("kind-") + std::to_string(int(c.kind)));
        fs::remove_all(dir);
        fs::create_directories(dir);
        Target t;
        if (!makeTarget(c.kind, dir, t)) {
            std::printf("[ NOTE     ] %s: cannot be made here (%s); not checked\n", c.name,
                        std::strerror(errno));
            continue;
        }
        std::optional<Drain> drain;
        if (c.kind == Kind::fifo) drain.emplace(t.path);
        std::thread acceptor;
        if (t.listenFd >= 0) {
            acceptor = std::thread([&] {
                const int connection = accept(t.listenFd, nullptr, nullptr);
                if (connection >= 0) drain.emplace(connection);
            });
        }
        cli::CommandArgs renderArgs = options;
        renderArgs.insert(renderArgs.end(), {song.string(), "-o", t.path.string()});
        const CommandRun r = run(cli::renderCommand, renderArgs);
        if (acceptor.joinable()) acceptor.join();
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_TRUE(partFiles(dir).empty());
        EXPECT_TRUE(partFiles(t.real.parent_path()).empty());
        switch (c.kind) {
            case Kind::newFile:
            case Kind::oldFile:
                EXPECT_TRUE(readFileBytes(t.path) == expected);
                break;
            case Kind::link:
            case Kind::danglingLink:
            case Kind::linkChain:
                EXPECT_TRUE(fs::is_symlink(t.path));
                EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(t.real)));
                EXPECT_TRUE(readFileBytes(t.real) == expected);
                break;
            case Kind::hardLink:
                EXPECT_TRUE(fs::equivalent(t.path, t.otherName));
                EXPECT_EQ(fs::hard_link_count(t.path), 2u);
                EXPECT_TRUE(readFileBytes(t.otherName) == expected);
                break;
            case Kind::fifo:
            case Kind::socket:
                ASSERT_TRUE(drain.has_value());
                // A stream cannot be rewound: the length comes first, and the bytes are the file's.
                EXPECT_TRUE(drain->take() == expected);
                drain.reset();
                EXPECT_EQ(fs::status(t.path).type(),
                          c.kind == Kind::fifo ? fs::file_type::fifo : fs::file_type::socket);
                break;
            case Kind::device:
                EXPECT_TRUE(fs::is_character_file(t.path));
                break;
            case Kind::terminal: {
                EXPECT_EQ(r.err,
                          "tarvex-cli render: will not write audio to a terminal: redirect the output "
                          "to a file or a pipe, or name a file with -o\n");
                // Nothing reached the terminal.
                pollfd fd{t.readerFd, POLLIN, 0};
                EXPECT_EQ(poll(&fd, 1, 50), 0);
                break;
            }
        }
        if (drain) drain->take();
        if (c.kind == Kind::terminal) {
            close(t.readerFd);
            close(t.slaveFd);
        }
        if (t.listenFd >= 0) close(t.listenFd);
    }
}

#ifdef TARVEX_CLI_PATH
// "-o -" with standard output on a terminal is refused before anything is written; through a pipe
// it is the render.
TEST(OutputFiles, StandardOutputOnATerminalIsRefused) {
    const fs::path song = endlessSong("stdout.mod");
    std::vector<std::string> all = {
        TARVEX_CLI_PATH, "render", "--max-seconds", "1", song.string(), "-o", "-"};
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    int master = -1;
    const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    if (pid == 0) {
        execv(argv[0], argv.data());
        _exit(127);
    }
    ASSERT_GT(pid, 0);
    std::string shown;
    char buffer[4096];
    for (ssize_t n; (n = read(master, buffer, sizeof buffer)) > 0;)
        shown.append(buffer, static_cast<size_t>(n));
    int status = 0;
    waitpid(pid, &status, 0);
    close(master);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 2);
    EXPECT_NE(shown.find("will not write audio to a terminal"), std::string::npos) << shown;
    EXPECT_EQ(shown.find("RIFF"), std::string::npos);
}
#endif

// The capture device writes through links and into pipes as render does; a pipe's header states
// the largest size, since it cannot be fixed at the end, and the data is what was played.
TEST(OutputFiles, CaptureWritesThroughLinksAndIntoPipes) {
    const fs::path song = endlessSong("capture-kinds.mod");
    for (const Kind kind : {Kind::link, Kind::fifo, Kind::hardLink}) {
        SCOPED_TRACE(int(kind));
        const fs::path dir = song.parent_path() / ("capture-kind-" + std::to_string(int(kind)));
        fs::remove_all(dir);
        fs::create_directories(dir);
        Target t;
        ASSERT_TRUE(makeTarget(kind, dir, t));
        std::optional<Drain> drain;
        if (kind == Kind::fifo) drain.emplace(t.path);
        const CommandRun r = run(cli::playCommand, {"--device", "capture=" + t.path.string(), "--max-seconds",
                                                    "0.3", "--rate", "8000", song.string()});
        EXPECT_EQ(r.status, 0) << r.err;
        std::vector<uint8_t> captured;
        if (kind == Kind::fifo) {
            captured = drain->take();
            ASSERT_GT(captured.size(), 44u);
            const uint32_t stated =
                captured[40] | captured[41] << 8 | captured[42] << 16 | uint32_t{captured[43]} << 24;
            EXPECT_EQ(stated, static_cast<uint32_t>(kMaxWavDataBytes));
            EXPECT_EQ(fs::status(t.path).type(), fs::file_type::fifo);
        } else {
            captured = readFileBytes(t.real);
            ASSERT_GT(captured.size(), 44u);
            const uint32_t stated =
                captured[40] | captured[41] << 8 | captured[42] << 16 | uint32_t{captured[43]} << 24;
            EXPECT_EQ(captured.size(), 44u + stated);
            if (kind == Kind::link) {
                EXPECT_TRUE(fs::is_symlink(t.path));
            } else {
                EXPECT_TRUE(readFileBytes(t.otherName) == captured);
            }
        }
        // 0.3 s at 8000 Hz, 16-bit stereo, and whatever the last segments held.
        EXPECT_GE(captured.size() - 44, 2400u * 4);
        EXPECT_TRUE(partFiles(dir).empty());
    }
}
#endif

}  // namespace
}  // namespace tarvex::test
