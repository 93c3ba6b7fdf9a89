#include "cli/Terminal.h"

#include <cstring>

#ifndef _WIN32
#include <poll.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace tarvex::cli {

#ifndef _WIN32

bool stdinIsTerminal() {
    return isatty(STDIN_FILENO) != 0;
}
bool stdoutIsTerminal() {
    return isatty(STDOUT_FILENO) != 0;
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

#else

bool stdinIsTerminal() {
    return false;
}
bool stdoutIsTerminal() {
    return false;
}
KeyInput::KeyInput(bool) {}
KeyInput::~KeyInput() {}
int KeyInput::poll() {
    return -1;
}

#endif

}  // namespace tarvex::cli
