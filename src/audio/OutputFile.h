// A file that appears under its name only once it is complete.
//
// Everything is written to a temporary file beside the target ("song.wav.1a2b3c.part", in the same
// folder so that the final rename stays on one file system); commit renames it over the target,
// discard removes it. A failed or interrupted write therefore leaves the previous file, or none,
// but never a broken one. Dropping an OutputFile that was not committed discards it.
#pragma once

#include <cstdio>
#include <string>

namespace tarvex {

class OutputFile {
   public:
    OutputFile() = default;
    ~OutputFile() { discard(); }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates the temporary file for target; on failure reason says why ("no such file or
    // directory").
    bool open(const std::string& target, std::string& reason);
    std::FILE* file() const { return file_; }
    bool isOpen() const { return file_ != nullptr; }
    const std::string& temporaryPath() const { return temporary_; }

    // Flushes and closes the file, then renames it over the target. On failure the temporary
    // file is removed, the target left as it was, and reason says why.
    bool commit(std::string& reason);
    // Closes and removes the temporary file; harmless when nothing is open.
    void discard();

   private:
    std::FILE* file_ = nullptr;
    std::string target_;
    std::string temporary_;
};

// The system's text for an error number, starting lower-case: "no space left on device".
std::string systemReason(int error);

}  // namespace tarvex
