#include "audio/OutputFile.h"

#include <cerrno>
#include <filesystem>
#include <random>
#include <system_error>

namespace tarvex {

std::string systemReason(int error) {
    std::string text = error != 0 ? std::generic_category().message(error) : "unknown error";
    if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z') text[0] = static_cast<char>(text[0] - 'A' + 'a');
    return text;
}

bool OutputFile::open(const std::string& target, std::string& reason) {
    discard();
    target_ = target;
    std::random_device random;
    for (int attempt = 0; attempt < 16; ++attempt) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, ".%06x.part", static_cast<unsigned>(random() & 0xFFFFFF));
        const std::string candidate = target + suffix;
        std::error_code ignored;
        if (std::filesystem::exists(candidate, ignored)) continue;
        errno = 0;
        file_ = std::fopen(candidate.c_str(), "wb");
        if (file_ == nullptr) {
            reason = systemReason(errno);
            return false;
        }
        temporary_ = candidate;
        return true;
    }
    reason = "no free temporary name beside it";
    return false;
}

bool OutputFile::commit(std::string& reason) {
    if (file_ == nullptr) {
        reason = "not open";
        return false;
    }
    errno = 0;
    const bool written = std::fflush(file_) == 0 && std::ferror(file_) == 0;
    const int writeError = errno;
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!written || !closed) {
        reason = systemReason(writeError != 0 ? writeError : errno);
        discard();
        return false;
    }
    std::error_code error;
    std::filesystem::rename(temporary_, target_, error);
    if (error) {
        reason = error.message();
        if (!reason.empty() && reason[0] >= 'A' && reason[0] <= 'Z')
            reason[0] = static_cast<char>(reason[0] - 'A' + 'a');
        discard();
        return false;
    }
    temporary_.clear();
    return true;
}

void OutputFile::discard() {
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
    if (!temporary_.empty()) {
        std::error_code ignored;
        std::filesystem::remove(temporary_, ignored);
    }
    temporary_.clear();
}

}  // namespace tarvex
