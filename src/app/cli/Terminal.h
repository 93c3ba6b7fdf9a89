// The terminal of the interactive player: whether stdin and stdout are one, its width, single
// keys without Enter while a KeyInput lives, and interruptions by signal.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "ui/StatusDisplay.h"

namespace tarvex::cli {

// The player's status line, "CPU 2% | Index 03/07 | Pattern 02 | Row 1C | BPM 125 | Speed 6 |
// Time  0:19", then the play state ("[paused]") when there is one, in at most width columns: the
// least useful fields go first (render load, speed, tempo, pattern, row), the time and the state
// last; whatever still does not fit is cut off.
std::string fitStatusLine(const StatusTexts& texts, std::string_view state, size_t width);

// The line that names each file as it starts, `PATH: "TITLE", TRACKER`, in at most width columns
// (characters): a long path loses its start ("...mods/song.mod"), the end of the file name stays;
// whatever still does not fit is cut off.
std::string fitHeaderLine(std::string_view path, std::string_view title, std::string_view tracker,
                          size_t width);

bool stdinIsTerminal();
bool stdoutIsTerminal();
// Columns of the terminal on standard output; 0 when it cannot tell.
int terminalColumns();

// While one lives, SIGINT and SIGTERM (and SIGHUP where there is one) only record that they came,
// so that the command can end cleanly: terminal restored, temporary files removed, captures
// completed. A second such signal ends the program at once. A signal the program was started
// with ignored (a background job's SIGINT) stays ignored.
class InterruptGuard {
   public:
    InterruptGuard();
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

    // The signal that came since the guard was made, or 0.
    static int received();
    // Records signal as if it had come (Ctrl-C read as a key is SIGINT).
    static void raise(int signal);
};

// The exit status of a command a signal ended: 128 + its number (130 for SIGINT, 143 for SIGTERM).
inline int interruptedStatus(int signal) {
    return 128 + signal;
}

// Ends a KeyInput::wait in progress at once, or else the next one. From any thread.
void wakeKeyWait();

class KeyInput {
   public:
    // Switches stdin to unbuffered, silent single-key input when it is a terminal.
    explicit KeyInput(bool enable);
    ~KeyInput();
    KeyInput(const KeyInput&) = delete;
    KeyInput& operator=(const KeyInput&) = delete;

    // The key pressed since the last call, or -1. Ctrl-C arrives as 3.
    int poll();
    // Sleeps for up to milliseconds (-1: no limit), until a key is pressed, a guarded signal comes
    // or wakeKeyWait is called.
    void wait(int milliseconds);

   private:
    bool active_ = false;
    unsigned char saved_[64] = {};  // the terminal mode to restore
};

}  // namespace tarvex::cli
