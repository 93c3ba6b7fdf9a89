// List files: plain text, one module path per line, played entry after entry.
//
// A line ends at a line feed; carriage returns are dropped wherever they stand; the last line
// needs no line feed. An entry holds at most 499 characters: after 499 the entry ends and the rest
// of the line is read as the next entry. Entries are used unchanged (no trimming, no comments).
//
// A list named on the last line of a list is opened as the next list. Lists opened that way one
// after another, since a module last loaded, form a chain; a list that would come round again in
// its chain (by file identity, whatever its name), or a chain longer than kListChainMax, could only
// lead in a circle without playing anything, so it is refused and the chain ends there.
#pragma once

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvex {

inline constexpr size_t kListEntryMax = 499;
inline constexpr size_t kListChainMax = 64;

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
    // fromList: path is the last entry of the list before, so it continues that list's chain and
    // is refused (chainRefused()) when it would come round again; otherwise a new chain starts.
    bool open(const std::string& path, bool fromList = false);
    void close();
    bool isOpen() const { return file_ != nullptr; }

    // A module of this list has loaded: the lists opened so far have played something.
    void moduleLoaded() {
        chain_.clear();
        chainNames_.clear();
    }
    // The last open was refused because the list came round again or the chain grew too long.
    bool chainRefused() const { return chainRefused_; }
    // The lists of the current chain, as they were named, in the order they were opened.
    const std::vector<std::string>& chain() const { return chainNames_; }

    // Reads the next entry. The list closes as soon as its end is reached, so the entry read last
    // comes back with isOpen() already false. An empty line gives an empty entry, which loads
    // nothing. Nothing when no list is open.
    std::optional<std::string> readNextEntry();

   private:
    bool comesRoundAgain(const std::filesystem::path& path) const;

    std::FILE* file_ = nullptr;
    std::vector<std::filesystem::path> chain_;  // absolute paths, for the identity test
    std::vector<std::string> chainNames_;
    bool chainRefused_ = false;
};

}  // namespace tarvex
