// The terminal of the interactive player: whether stdin and stdout are one, and single keys
// without Enter while a Terminal object lives.
#pragma once

namespace tarvex::cli {

bool stdinIsTerminal();
bool stdoutIsTerminal();

class KeyInput {
   public:
    // Switches stdin to unbuffered, silent single-key input when it is a terminal.
    explicit KeyInput(bool enable);
    ~KeyInput();
    KeyInput(const KeyInput&) = delete;
    KeyInput& operator=(const KeyInput&) = delete;

    // The key pressed since the last call, or -1. Ctrl-C arrives as 3.
    int poll();

   private:
    bool active_ = false;
    unsigned char saved_[64] = {};  // the terminal mode to restore
};

}  // namespace tarvex::cli
