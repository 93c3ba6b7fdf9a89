#include "cli/PlayQueue.h"

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <system_error>

namespace tarvex::cli {

PlayQueue::PlayQueue(std::vector<std::string> files, const QueueOrder& order)
    : files_(std::move(files)), order_(order), random_(order.seed) {}

std::optional<std::string> PlayQueue::next(std::ostream& err, bool& failed) {
    if (order_.shuffle && !sourceDone_) {
        // The whole sequence first, so that any of it can come first. Lists that lead round to one
        // read before have then given all they hold: that is no fault unless nothing came of them.
        std::ostringstream circles;
        bool circled = false;
        while (const std::optional<std::string> path = readNext(circles, circled)) played_.push_back(*path);
        if (played_.empty() && circled) {
            err << circles.str();
            failed = true;
        }
        std::shuffle(played_.begin(), played_.end(), random_);
        current_ = 0;
        if (played_.empty()) return std::nullopt;
        return played_.front();
    }
    const bool started = !played_.empty() || sourceDone_;
    if (started && current_ + 1 < played_.size()) return played_[++current_];
    if (!sourceDone_) {
        if (std::optional<std::string> path = readNext(err, failed)) {
            played_.push_back(*path);
            current_ = played_.size() - 1;
            return path;
        }
    }
    // A pass in which nothing loaded would only come round again without playing anything.
    if (!order_.repeat || played_.empty() || !passLoaded_) return std::nullopt;
    passLoaded_ = false;
    if (order_.shuffle) std::shuffle(played_.begin(), played_.end(), random_);
    current_ = 0;
    return played_.front();
}

std::optional<std::string> PlayQueue::previous() {
    if (played_.empty()) return std::nullopt;
    if (current_ > 0) --current_;
    return played_[current_];
}

void PlayQueue::moduleLoaded() {
    list_.moduleLoaded();
    passLoaded_ = true;
}

std::optional<std::string> PlayQueue::readNext(std::ostream& err, bool& failed) {
    for (;;) {
        std::string path;
        bool lastEntry = false;
        if (list_.isOpen()) {
            path = *list_.readNextEntry();
            if (path.empty()) continue;  // an empty line loads nothing
            lastEntry = !list_.isOpen();
        } else if (nextFile_ < files_.size()) {
            path = files_[nextFile_++];
        } else {
            sourceDone_ = true;
            return std::nullopt;
        }
        // While a list is open its entries are modules; the last entry, read after the list
        // has closed, may start the next list.
        if (!list_.isOpen()) {
            if (list_.open(path, lastEntry)) continue;
            if (list_.chainRefused()) {
                err << "tarvex-cli play: " << circleText(path) << "; the list ends\n";
                failed = true;
                continue;
            }
        }
        return path;
    }
}

std::string PlayQueue::circleText(const std::string& path) const {
    const std::vector<std::string>& chain = list_.chain();
    std::error_code error;
    if (!chain.empty() && std::filesystem::equivalent(chain.back(), path, error)) {
        return "list " + path + " names itself on its last line";
    }
    for (const std::string& opened : chain) {
        if (std::filesystem::equivalent(opened, path, error)) {
            return "list " + chain.back() + " leads back to " + path +
                   ", opened before it, with no module played";
        }
    }
    return "list " + path + ": " + std::to_string(chain.size()) + " lists in a row have played no module";
}

}  // namespace tarvex::cli
