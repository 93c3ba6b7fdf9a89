#include "ui/ListFile.h"

namespace tarvex {

bool isListPath(std::string_view path) {
    const size_t dot = path.rfind('.');
    if (dot == std::string_view::npos || dot + 1 == path.size()) return false;
    const std::string_view ext = path.substr(dot + 1, 3);
    constexpr std::string_view kList = "LST";
    if (ext.size() != kList.size()) return false;
    for (size_t i = 0; i < ext.size(); ++i) {
        char c = ext[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != kList[i]) return false;
    }
    return true;
}

bool ListFile::comesRoundAgain(const std::filesystem::path& path) const {
    if (chain_.size() >= kListChainMax) return true;
    for (const std::filesystem::path& opened : chain_) {
        std::error_code error;
        if (std::filesystem::equivalent(opened, path, error)) return true;
    }
    return false;
}

bool ListFile::open(const std::string& path, bool fromList) {
    chainRefused_ = false;
    if (isOpen() || !isListPath(path)) return false;
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(path, error);
    if (error) absolute = path;
    if (!fromList) moduleLoaded();  // a list opened by itself starts a chain of its own
    if (fromList && comesRoundAgain(absolute)) {
        chainRefused_ = true;
        return false;
    }
    file_ = std::fopen(path.c_str(), "rb");
    if (file_ == nullptr) return false;
    chain_.push_back(std::move(absolute));
    chainNames_.push_back(path);
    return true;
}

void ListFile::close() {
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
}

std::optional<std::string> ListFile::readNextEntry() {
    if (!isOpen()) return std::nullopt;
    std::string entry;
    while (entry.size() < kListEntryMax) {
        const int c = std::fgetc(file_);
        if (c == EOF || c == '\n') break;
        if (c == '\r') continue;
        entry.push_back(static_cast<char>(c));
    }
    // At its end the list closes now; the entry just read is still loaded.
    const int next = std::fgetc(file_);
    if (next == EOF) {
        close();
    } else {
        std::ungetc(next, file_);
    }
    return entry;
}

}  // namespace tarvex
