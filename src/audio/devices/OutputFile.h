// An output file that appears under its name only once it is complete, and that is written in
// place when the name is not an ordinary file.
//
// An ordinary file is written to a temporary file beside it ("song.wav.1a2b3c.part", in the same
// folder so that the final rename stays on one file system); commit renames it over the target,
// discard removes it. A failed or interrupted write therefore leaves the previous file, or none,
// but never a broken one. Dropping an OutputFile that was not committed discards it.
//
// What is not an ordinary file is never renamed over:
// - a symbolic link is followed (a chain of them too) and the target it names is written the same
//   way, so the link stays a link and the temporary file lies beside the real target;
// - a file with other names (hard links) gets the finished temporary file's bytes copied into it
//   at commit, so every name shows the new contents; a failed or interrupted write still leaves
//   it untouched;
// - a character or block device, a named pipe or a socket (on Windows the device names, "NUL",
//   "CON", ...) is opened and written in place: nothing is created, truncated or removed. Such an
//   output may not be rewindable (a pipe, a terminal): seekable() says so, and a writer must then
//   know its header before it starts.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace tarvex {

class OutputFile {
   public:
    OutputFile() = default;
    ~OutputFile() { discard(); }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates the temporary file for target, or opens target itself when it is a device, pipe or
    // socket (a pipe without a reader waits for one); on failure reason says why ("no such file or
    // directory").
    bool open(const std::string& target, std::string& reason);
    std::FILE* file() const { return file_; }
    bool isOpen() const { return file_ != nullptr; }
    const std::string& temporaryPath() const { return temporary_; }
    // Whether the output is written where it stands rather than through a temporary file.
    bool inPlace() const { return file_ != nullptr && temporary_.empty(); }
    // Whether the output can be rewound to fix a header: false for a pipe, a socket or a terminal.
    bool seekable() const { return seekable_; }
    // Whether the output is a terminal, which takes no binary data.
    bool isTerminal() const { return terminal_; }

    // Flushes and closes the file; an ordinary file is then renamed over (or, with other names,
    // copied into) the target. On failure the temporary file is removed, the target left as it
    // was, and reason says why.
    bool commit(std::string& reason);
    // Closes and removes the temporary file; harmless when nothing is open.
    void discard();

   private:
    bool openInPlace(const std::string& path, bool socket, std::string& reason);
    bool openBeside(std::string& reason);

    std::FILE* file_ = nullptr;
    std::string target_;  // the name finally written: links followed
    std::string temporary_;
    bool seekable_ = false;
    bool terminal_ = false;
};

// The system's text for an error number, starting lower-case: "no space left on device".
std::string systemReason(int error);

// Whether Windows reads path as a device rather than a file: the names it keeps in every folder
// ("NUL", "CON", "PRN", "AUX", "COM1".."COM9", "LPT1".."LPT9", "CONIN$", "CONOUT$"), in any case
// and with any extension ("nul.wav"), and anything under "\\.\". Pure text; used on Windows.
bool isWindowsDeviceName(std::string_view path);

}  // namespace tarvex
