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

std::string fileNameOf(std::string_view path) {
#ifdef _WIN32
    const size_t cut = path.rfind('\\');
#else
    const size_t cut = path.find_last_of("\\/");
#endif
    if (cut == std::string_view::npos) return std::string(path);
    return std::string(path.substr(cut + 1));
}

}  // namespace tarvex
