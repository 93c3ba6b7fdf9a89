#include "cli/Terminal.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstddef>
#include <cstring>
#include <iterator>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#else
#include <windows.h>
#endif

namespace tarvex::cli {

namespace {

size_t columnsOf(std::string_view utf8) {
    size_t count = 0;
    for (const char c : utf8) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return count;
}

// The first `columns` characters of a UTF-8 text.
std::string_view headOf(std::string_view utf8, size_t columns) {
    size_t seen = 0;
    for (size_t i = 0; i < utf8.size(); ++i) {
        if ((static_cast<unsigned char>(utf8[i]) & 0xC0) != 0x80 && seen++ == columns)
            return utf8.substr(0, i);
    }
    return utf8;
}

// The last `columns` characters of a UTF-8 text.
std::string_view tailOf(std::string_view utf8, size_t columns) {
    size_t seen = 0;
    for (size_t i = utf8.size(); i > 0; --i) {
        if ((static_cast<unsigned char>(utf8[i - 1]) & 0xC0) != 0x80 && ++seen == columns)
            return utf8.substr(i - 1);
    }
    return utf8;
}

}  // namespace

std::string fitHeaderLine(std::string_view path, std::string_view title, std::string_view tracker,
                          size_t width) {
    const std::string rest = ": \"" + std::string(title) + "\", " + std::string(tracker);
    std::string line = std::string(path) + rest;
    if (columnsOf(line) <= width) return line;
    // The path gives way first, down to its last dozen characters.
    constexpr size_t kPathKept = 12;
    constexpr std::string_view kCut = "...";
    const size_t restColumns = columnsOf(rest);
    const size_t room = width > restColumns + kCut.size() ? width - restColumns - kCut.size() : 0;
    const size_t kept = std::max(room, kPathKept);
    if (columnsOf(path) > kept) line = std::string(kCut) + std::string(tailOf(path, kept)) + rest;
    return std::string(headOf(line, width));
}

std::string fitStatusLine(const StatusTexts& t, std::string_view state, size_t width) {
    struct Field {
        std::string text;
        int keep;  // the lowest goes first
    };
    std::vector<Field> fields = {{"CPU " + t.cpu, 0},  {"Index " + t.index, 5}, {"Pattern " + t.pattern, 3},
                                 {"Row " + t.row, 4},  {"BPM " + t.bpm, 2},     {"Speed " + t.speed, 1},
                                 {"Time " + t.time, 6}};
    const auto join = [&] {
        std::string line;
        for (const Field& field : fields) line += (line.empty() ? "" : " | ") + field.text;
        if (!state.empty()) line += (line.empty() ? "" : "  ") + std::string(state);
        return line;
    };
    std::string line = join();
    while (line.size() > width && !fields.empty()) {
        fields.erase(std::min_element(fields.begin(), fields.end(),
                                      [](const Field& a, const Field& b) { return a.keep < b.keep; }));
        line = join();
    }
    if (line.size() > width) line.resize(width);
    return line;
}

namespace {

// Set by the handler on whichever thread the signal lands, read by the command's own thread.
std::atomic<int> receivedSignal{0};
static_assert(std::atomic<int>::is_always_lock_free, "safe to store from a signal handler");

// What wakes KeyInput::wait: a pipe on POSIX (written from signal handlers too), an event on
// Windows. Made by the first guard or key input and kept for the rest of the run.
#ifndef _WIN32
int wakeReadEnd = -1;
std::atomic<int> wakeWriteEnd{-1};
static_assert(std::atomic<int>::is_always_lock_free, "safe to load from a signal handler");

void makeWaker() {
    if (wakeReadEnd >= 0) return;
    int ends[2] = {-1, -1};
    if (pipe2(ends, O_NONBLOCK | O_CLOEXEC) != 0) return;
    wakeReadEnd = ends[0];
    wakeWriteEnd.store(ends[1], std::memory_order_relaxed);
}
#else
std::atomic<HANDLE> wakeEvent{nullptr};

void makeWaker() {
    if (wakeEvent.load(std::memory_order_relaxed) == nullptr)
        wakeEvent.store(CreateEventA(nullptr, FALSE, FALSE, nullptr), std::memory_order_relaxed);
}
#endif

extern "C" void recordSignal(int signal) {
    receivedSignal.store(signal, std::memory_order_relaxed);
    std::signal(signal, SIG_DFL);  // a second one is not held up by a stuck clean-up
    wakeKeyWait();
}

#ifdef SIGHUP
constexpr int kGuardedSignals[] = {SIGINT, SIGTERM, SIGHUP};
#else
constexpr int kGuardedSignals[] = {SIGINT, SIGTERM};
#endif
using Handler = void (*)(int);
Handler previousHandlers[std::size(kGuardedSignals)] = {};

}  // namespace

void wakeKeyWait() {
#ifndef _WIN32
    const int end = wakeWriteEnd.load(std::memory_order_relaxed);
    const char byte = 1;
    // A full pipe already wakes the wait.
    if (end >= 0 && ::write(end, &byte, 1) < 0) return;
#else
    if (HANDLE event = wakeEvent.load(std::memory_order_relaxed)) SetEvent(event);
#endif
}

InterruptGuard::InterruptGuard() {
    makeWaker();
    receivedSignal.store(0, std::memory_order_relaxed);
    for (size_t i = 0; i < std::size(kGuardedSignals); ++i) {
        previousHandlers[i] = std::signal(kGuardedSignals[i], recordSignal);
        if (previousHandlers[i] == SIG_IGN) std::signal(kGuardedSignals[i], SIG_IGN);
    }
}

InterruptGuard::~InterruptGuard() {
    for (size_t i = 0; i < std::size(kGuardedSignals); ++i) {
        if (previousHandlers[i] != SIG_ERR) std::signal(kGuardedSignals[i], previousHandlers[i]);
    }
}

int InterruptGuard::received() {
    return receivedSignal.load(std::memory_order_relaxed);
}

void InterruptGuard::raise(int signal) {
    receivedSignal.store(signal, std::memory_order_relaxed);
}

#ifndef _WIN32

bool stdinIsTerminal() {
    return isatty(STDIN_FILENO) != 0;
}
bool stdoutIsTerminal() {
    return isatty(STDOUT_FILENO) != 0;
}
int terminalColumns() {
    winsize size{};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0) return 0;
    return size.ws_col;
}

static_assert(sizeof(termios) <= 64, "room for the saved terminal mode");

KeyInput::KeyInput(bool enable) {
    termios mode{};
    if (!enable || tcgetattr(STDIN_FILENO, &mode) != 0) return;
    std::memcpy(saved_, &mode, sizeof mode);
    // No line editing, no echo; Ctrl-C comes as a key so the mode is always restored.
    mode.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG);
    mode.c_cc[VMIN] = 0;
    mode.c_cc[VTIME] = 0;
    active_ = tcsetattr(STDIN_FILENO, TCSANOW, &mode) == 0;
}

KeyInput::~KeyInput() {
    if (!active_) return;
    termios mode{};
    std::memcpy(&mode, saved_, sizeof mode);
    tcsetattr(STDIN_FILENO, TCSANOW, &mode);
}

int KeyInput::poll() {
    if (!active_) return -1;
    pollfd fd{STDIN_FILENO, POLLIN, 0};
    if (::poll(&fd, 1, 0) <= 0) return -1;
    unsigned char c = 0;
    return read(STDIN_FILENO, &c, 1) == 1 ? c : -1;
}

void KeyInput::wait(int milliseconds) {
    makeWaker();
    pollfd fds[2] = {{wakeReadEnd, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
    ::poll(fds, active_ ? 2 : 1, milliseconds);
    char bytes[64];
    while (wakeReadEnd >= 0 && ::read(wakeReadEnd, bytes, sizeof bytes) > 0) {
    }
}

#else

namespace {

bool isConsole(DWORD which, DWORD* mode) {
    HANDLE handle = GetStdHandle(which);
    DWORD m = 0;
    const bool console =
        handle != INVALID_HANDLE_VALUE && handle != nullptr && GetConsoleMode(handle, &m) != 0;
    if (mode) *mode = m;
    return console;
}

}  // namespace

bool stdinIsTerminal() {
    return isConsole(STD_INPUT_HANDLE, nullptr);
}

// The status line clears its rest with an escape sequence, which the console takes once asked to.
bool stdoutIsTerminal() {
    DWORD mode = 0;
    if (!isConsole(STD_OUTPUT_HANDLE, &mode)) return false;
    SetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE),
                   mode | ENABLE_PROCESSED_OUTPUT | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
    return true;
}

// Columns of the console window (not of its buffer, which is often far wider).
int terminalColumns() {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info)) return 0;
    return info.srWindow.Right - info.srWindow.Left + 1;
}

static_assert(sizeof(DWORD) <= 64, "room for the saved console mode");

KeyInput::KeyInput(bool enable) {
    DWORD mode = 0;
    if (!enable || !isConsole(STD_INPUT_HANDLE, &mode)) return;
    std::memcpy(saved_, &mode, sizeof mode);
    // No line editing, no echo; Ctrl-C comes as a key so the mode is always restored.
    const DWORD keys =
        mode & ~static_cast<DWORD>(ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT | ENABLE_PROCESSED_INPUT);
    active_ = SetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), keys) != 0;
}

KeyInput::~KeyInput() {
    if (!active_) return;
    DWORD mode = 0;
    std::memcpy(&mode, saved_, sizeof mode);
    SetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), mode);
}

// Takes the console's waiting input events without blocking; the first key press with a
// character is the key.
int KeyInput::poll() {
    if (!active_) return -1;
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    // A console over a terminal takes in what was typed only when its handle is waited on.
    WaitForSingleObject(input, 0);
    for (;;) {
        DWORD waiting = 0;
        if (!GetNumberOfConsoleInputEvents(input, &waiting) || waiting == 0) return -1;
        INPUT_RECORD record{};
        DWORD read = 0;
        if (!ReadConsoleInputA(input, &record, 1, &read) || read == 0) return -1;
        if (record.EventType != KEY_EVENT || !record.Event.KeyEvent.bKeyDown) continue;
        const unsigned char c = static_cast<unsigned char>(record.Event.KeyEvent.uChar.AsciiChar);
        if (c != 0) return c;
    }
}

// The console's handle is signalled while input events wait, key releases too: those are read
// away by poll, so a wait after it sleeps again.
void KeyInput::wait(int milliseconds) {
    makeWaker();
    const HANDLE handles[2] = {wakeEvent.load(std::memory_order_relaxed), GetStdHandle(STD_INPUT_HANDLE)};
    const DWORD limit = milliseconds < 0 ? INFINITE : static_cast<DWORD>(milliseconds);
    if (handles[0] == nullptr) {
        Sleep(limit == INFINITE ? 100 : limit);
        return;
    }
    WaitForMultipleObjects(active_ ? 2 : 1, handles, FALSE, limit);
}

#endif

}  // namespace tarvex::cli
