#include "support/Corpus.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <system_error>

namespace tarvex::test {

std::filesystem::path corpusDir() {
    const char* fromEnvironment = std::getenv("TARVEX_CORPUS");
    if (fromEnvironment != nullptr && *fromEnvironment != '\0') return fromEnvironment;
    return TARVEX_CORPUS;
}

std::string noCorpusMessage() {
    const std::filesystem::path dir = corpusDir();
    return std::string(kNeedsCorpus) + ": set TARVEX_CORPUS (environment or CMake cache) to a directory of " +
           "module files" + (dir.empty() ? std::string() : " (none found in " + dir.string() + ")");
}

std::vector<std::filesystem::path> corpusFiles(const std::string& sub) {
    std::vector<std::filesystem::path> files;
    std::error_code error;
    const std::filesystem::path root = sub.empty() ? corpusDir() : corpusDir() / sub;
    for (auto it = std::filesystem::recursive_directory_iterator(root, error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        if (it->is_regular_file() && it->path().filename() != "README.md") files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::filesystem::path corpusXmItDir() {
    const char* fromEnvironment = std::getenv("TARVEX_CORPUS_XMIT");
    if (fromEnvironment != nullptr && *fromEnvironment != '\0') return fromEnvironment;
    return TARVEX_CORPUS_XMIT;
}

std::string noXmItCorpusMessage() {
    const std::filesystem::path dir = corpusXmItDir();
    return std::string(kNeedsCorpus) +
           ": set TARVEX_CORPUS_XMIT (environment or CMake cache) to a directory of " + "XM and IT files" +
           (dir.empty() ? std::string() : " (none found in " + dir.string() + ")");
}

std::vector<std::filesystem::path> corpusXmItFiles(const std::string& sub, const std::string& extension) {
    std::vector<std::filesystem::path> files;
    const std::filesystem::path base = corpusXmItDir();
    if (base.empty()) return files;
    const auto lower = [](std::string text) {
        for (char& c : text) {
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        }
        return text;
    };
    std::error_code error;
    for (auto it = std::filesystem::recursive_directory_iterator(base / sub, error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        if (it->is_regular_file() && lower(it->path().extension().string()) == lower(extension))
            files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<uint8_t> readFileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::filesystem::path writeTempFile(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("tarvex-test-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::filesystem::path path = dir / name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
}

}  // namespace tarvex::test
