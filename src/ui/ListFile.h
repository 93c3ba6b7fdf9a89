// List files: plain text, one module path per line, played entry after entry.
//
// A line ends at a line feed; carriage returns are dropped wherever they stand; the last line
// needs no line feed. An entry holds at most 499 characters: after 499 the entry ends and the rest
// of the line is read as the next entry. Entries are used unchanged (no trimming, no comments).
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace tarvex {

inline constexpr size_t kListEntryMax = 499;

// A path names a list file when the first three characters after its last dot (fewer if the path
// ends sooner), upper-cased, are "LST": "a.lst", "a.LST" and "a.lstx" do, "a.ls" and "a" do not.
bool isListPath(std::string_view path);

class ListFile {
   public:
    ListFile() = default;
    ~ListFile() { close(); }
    ListFile(const ListFile&) = delete;
    ListFile& operator=(const ListFile&) = delete;

    // Opens path for reading when it names a list file and no list is open; whether it did.
    bool open(const std::string& path);
    void close();
    bool isOpen() const { return file_ != nullptr; }

    // Reads the next entry. The list closes as soon as its end is reached, so the entry read last
    // comes back with isOpen() already false. An empty line gives an empty entry, which loads
    // nothing. Nothing when no list is open.
    std::optional<std::string> readNextEntry();

   private:
    std::FILE* file_ = nullptr;
};

}  // namespace tarvex
