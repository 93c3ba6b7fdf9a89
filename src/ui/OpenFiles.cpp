#include "ui/OpenFiles.h"

namespace tarvex {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

}  // namespace

std::string firstArgument(std::string_view commandLine) {
    size_t begin = 0;
    while (begin < commandLine.size() && isBlank(commandLine[begin])) ++begin;
    size_t end = begin;
    bool quoted = false;
    while (end < commandLine.size()) {
        const char c = commandLine[end];
        if (c == '"') quoted = !quoted;
        if (isBlank(c) && !quoted) break;
        ++end;
    }
    std::string argument(commandLine.substr(begin, end - begin));
    if (!argument.empty() && argument.front() == '"') argument.erase(0, 1);
    if (!argument.empty() && argument.back() == '"') argument.pop_back();
    return argument;
}

bool namesListFile(std::string_view path) {
    const size_t dot = path.rfind('.');
    if (dot == std::string_view::npos) return false;
    const std::string_view after = path.substr(dot + 1, 3);
    if (after.size() != 3) return false;
    const char* expected = "LST";
    for (size_t i = 0; i < 3; ++i) {
        char c = after[i];
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
        if (c != expected[i]) return false;
    }
    return true;
}

std::string fileNameOf(std::string_view path) {
#ifdef _WIN32
    const size_t cut = path.rfind('\\');
#else
    const size_t cut = path.find_last_of("\\/");
#endif
    if (cut == std::string_view::npos) return std::string(path);
    return std::string(path.substr(cut + 1));
}

bool ListFile::open(const std::string& path) {
    close();
    file_ = std::fopen(path.c_str(), "rb");
    return file_ != nullptr;
}

void ListFile::close() {
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
}

bool ListFile::atEnd() {
    if (file_ == nullptr) return true;
    const int c = std::getc(file_);
    if (c == EOF) return true;
    std::ungetc(c, file_);
    return false;
}

std::string ListFile::readEntry() {
    std::string entry;
    while (entry.size() < kListEntryMax && !atEnd()) {
        const int c = std::getc(file_);
        if (c == '\n') break;
        if (c == '\r') continue;
        entry.push_back(char(c));
    }
    return entry;
}

}  // namespace tarvex
