// The paths `play` loads, in order: the files named, each list file giving its entries in its
// place, read as they are needed. Every path handed out is remembered, so that playback can go
// back to the file before (key b) and, with --repeat-list, start the whole sequence again.
//
// With shuffle the lists are read in full first and the paths played in a random order; with
// repeat-list a new random order is drawn for each pass. A list chain that comes round again then
// ends quietly, its entries all read, unless no path came of it at all.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "ui/ListFile.h"

namespace tarvex::cli {

struct QueueOrder {
    bool shuffle = false;
    bool repeat = false;  // start again after the last path, as long as a pass loaded a module
    uint32_t seed = 0;    // of the shuffle
};

class PlayQueue {
   public:
    PlayQueue(std::vector<std::string> files, const QueueOrder& order);

    // The next path, or nothing at the end. A list that would lead round in a circle ends with
    // a line on err and counts as a failure.
    std::optional<std::string> next(std::ostream& err, bool& failed);
    // The path played before the current one; the current one again when it is the first.
    // Nothing when no path has been handed out.
    std::optional<std::string> previous();

    // The path last handed out has loaded as a module.
    void moduleLoaded();

   private:
    std::optional<std::string> readNext(std::ostream& err, bool& failed);
    // Why path, named on the last line of the list before, is not opened again.
    std::string circleText(const std::string& path) const;

    std::vector<std::string> files_;
    size_t nextFile_ = 0;
    ListFile list_;

    QueueOrder order_;
    std::mt19937 random_;
    std::vector<std::string> played_;  // every path handed out, in the order of this pass
    size_t current_ = 0;               // index into played_ of the path handed out last
    bool sourceDone_ = false;          // files and lists all read
    bool passLoaded_ = false;          // a module loaded in this pass
};

}  // namespace tarvex::cli
