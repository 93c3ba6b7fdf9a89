#include "audio/devices/OutputFile.h"

#include <cerrno>
#include <filesystem>
#include <random>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <io.h>
#else
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#endif

namespace tarvex {

namespace fs = std::filesystem;

namespace {

std::string lowerFirst(std::string text) {
    if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z') text[0] = static_cast<char>(text[0] - 'A' + 'a');
    return text;
}

// The name a chain of symbolic links at the end of path finally names (it need not exist yet).
// Links in the folders above are left to the system: renaming inside a linked folder is fine.
bool followLinks(fs::path& path, std::string& reason) {
    constexpr int kMaxHops = 40;  // the system's own limit for a path
    for (int hop = 0; hop < kMaxHops; ++hop) {
        std::error_code error;
        if (!fs::is_symlink(fs::symlink_status(path, error))) return true;
        const fs::path next = fs::read_symlink(path, error);
        if (error) {
            reason = lowerFirst(error.message());
            return false;
        }
        path = next.is_absolute() ? next : path.parent_path() / next;
    }
    reason = lowerFirst(std::make_error_code(std::errc::too_many_symbolic_link_levels).message());
    return false;
}

#ifndef _WIN32
// A Unix-domain stream socket bound at path, connected to; -1 with errno set otherwise.
int connectSocket(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        errno = ENAMETOOLONG;
        return -1;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}
#endif

// Copies the file at from into the file at to, which keeps its identity (and so its other names).
bool copyInto(const std::string& from, const std::string& to, std::string& reason) {
    errno = 0;
    std::FILE* in = std::fopen(from.c_str(), "rb");
    if (in == nullptr) {
        reason = systemReason(errno);
        return false;
    }
    errno = 0;
    std::FILE* out = std::fopen(to.c_str(), "wb");
    if (out == nullptr) {
        reason = systemReason(errno);
        std::fclose(in);
        return false;
    }
    std::vector<char> buffer(1 << 16);
    bool ok = true;
    errno = 0;
    for (size_t n; ok && (n = std::fread(buffer.data(), 1, buffer.size(), in)) > 0;) {
        ok = std::fwrite(buffer.data(), 1, n, out) == n;
    }
    ok = ok && std::ferror(in) == 0 && std::fflush(out) == 0;
    const int error = errno;
    std::fclose(in);
    ok = std::fclose(out) == 0 && ok;
    if (!ok) reason = systemReason(error != 0 ? error : errno);
    return ok;
}

}  // namespace

std::string systemReason(int error) {
    return error != 0 ? lowerFirst(std::generic_category().message(error)) : "unknown error";
}

bool isWindowsDeviceName(std::string_view path) {
    if (path.substr(0, 4) == "\\\\.\\" || path.substr(0, 4) == "//./") return true;
    const size_t slash = path.find_last_of("/\\:");
    std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    // "nul.wav" and "nul " are NUL as well.
    name = name.substr(0, name.find('.'));
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    std::string upper(name);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    for (const std::string_view reserved : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
        if (upper == reserved) return true;
    }
    return upper.size() == 4 && (upper.compare(0, 3, "COM") == 0 || upper.compare(0, 3, "LPT") == 0) &&
           upper[3] >= '1' && upper[3] <= '9';
}

bool OutputFile::open(const std::string& target, std::string& reason) {
    discard();
    fs::path real = target;
    if (!followLinks(real, reason)) return false;
    target_ = real.string();
    std::error_code error;
    const fs::file_status status = fs::status(real, error);
#ifdef _WIN32
    const bool device =
        isWindowsDeviceName(target_) && !fs::is_regular_file(status) && !fs::is_directory(status);
#else
    const bool device = fs::exists(status) && !fs::is_regular_file(status) && !fs::is_directory(status);
#endif
    if (device) return openInPlace(target_, fs::is_socket(status), reason);
    return openBeside(reason);
}

// Devices, pipes and sockets: written where they stand, never created or truncated.
bool OutputFile::openInPlace(const std::string& path, bool socket, std::string& reason) {
    errno = 0;
#ifdef _WIN32
    (void)socket;
    file_ = std::fopen(path.c_str(), "wb");
    if (file_ == nullptr) {
        reason = systemReason(errno);
        return false;
    }
    terminal_ = _isatty(_fileno(file_)) != 0;
#else
    const int fd = socket ? connectSocket(path) : ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        reason = systemReason(errno);
        return false;
    }
    file_ = ::fdopen(fd, "wb");
    if (file_ == nullptr) {
        reason = systemReason(errno);
        ::close(fd);
        return false;
    }
    terminal_ = ::isatty(fd) != 0;
#endif
    seekable_ = !terminal_ && std::fseek(file_, 0, SEEK_CUR) == 0;
    std::clearerr(file_);
    return true;
}

bool OutputFile::openBeside(std::string& reason) {
    std::random_device random;
    for (int attempt = 0; attempt < 16; ++attempt) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, ".%06x.part", static_cast<unsigned>(random() & 0xFFFFFF));
        const std::string candidate = target_ + suffix;
        std::error_code ignored;
        if (fs::exists(fs::symlink_status(candidate, ignored))) continue;
        errno = 0;
        file_ = std::fopen(candidate.c_str(), "wb");
        if (file_ == nullptr) {
            reason = systemReason(errno);
            return false;
        }
        temporary_ = candidate;
        seekable_ = true;
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
    if (temporary_.empty()) return true;  // written in place
    std::error_code error;
    // Another name for the same file sees the new contents, as it would after any other edit.
    const bool linked =
        fs::is_regular_file(target_, error) && fs::hard_link_count(target_, error) > 1 && !error;
    if (linked) {
        const bool copied = copyInto(temporary_, target_, reason);
        discard();
        return copied;
    }
    fs::rename(temporary_, target_, error);
    if (error) {
        reason = lowerFirst(error.message());
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
        fs::remove(temporary_, ignored);
    }
    temporary_.clear();
    seekable_ = false;
    terminal_ = false;
}

}  // namespace tarvex
