// How paths reach the player: the command line's first argument and list files.
//
// A list file is plain 8-bit text, one module path per line. A line ends at a line feed;
// carriage returns are dropped wherever they stand; an entry holds at most 499 characters, after
// which the rest of the line is read as the next entry. Entries are used as they stand: no
// trimming, no comments, no quoting.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace tarvex {

inline constexpr size_t kListEntryMax = 499;

// The first argument of a whole command line: leading blanks skipped; it runs to the first blank
// outside double quotes (each quote toggles); a quote at its first and one at its last position
// are removed, inner quotes stay. A line of blanks gives an empty path.
std::string firstArgument(std::string_view commandLine);

// True when the first three characters after the last dot (fewer if the path ends sooner),
// upper-cased, are "LST": "a.lst", "A.LST" and "a.lstx" name list files, "a.ls" and "a" do not.
bool namesListFile(std::string_view path);

// The part of a path after its last separator, or the whole path when it has none. Backslash
// separates on every platform; the slash as well where the platform uses it.
std::string fileNameOf(std::string_view path);

// An open list file, read one entry at a time.
class ListFile {
   public:
    ListFile() = default;
    ListFile(const ListFile&) = delete;
    ListFile& operator=(const ListFile&) = delete;
    ~ListFile() { close(); }

    // Opens path for reading without text translation; false when it cannot be opened.
    bool open(const std::string& path);
    void close();
    bool isOpen() const { return file_ != nullptr; }
    // True once every byte has been read (a closed list is at its end).
    bool atEnd();
    // Reads the next entry: up to 499 stored characters, ended by a consumed line feed or the end
    // of the file; carriage returns are skipped. May be empty (an empty line).
    std::string readEntry();

   private:
    std::FILE* file_ = nullptr;
};

}  // namespace tarvex
