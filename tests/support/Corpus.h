// Access to the module files the tests read from disk.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tarvex::test {

// The corpus of real-world module files (read-only): the directory TARVEX_CORPUS names in the
// environment, else the one the build was configured with; empty when neither is set.
std::filesystem::path corpusDir();
// Tests that need the corpus skip without it, with this message; scripts/test counts them by kNeedsCorpus.
inline constexpr const char* kNeedsCorpus = "needs the module corpus";
std::string noCorpusMessage();
// Every regular file below corpusDir()/sub (or the whole corpus when sub is empty), sorted.
std::vector<std::filesystem::path> corpusFiles(const std::string& sub = "");
// The XM and IT corpus (xm/, it/, malformed/): TARVEX_CORPUS_XMIT in the environment, else the one
// the build was configured with; empty when neither is set. Its tests skip with kNeedsCorpus too.
std::filesystem::path corpusXmItDir();
std::string noXmItCorpusMessage();
// Every regular file below corpusXmItDir()/sub whose extension is extension (any case), sorted.
std::vector<std::filesystem::path> corpusXmItFiles(const std::string& sub, const std::string& extension);
std::vector<uint8_t> readFileBytes(const std::filesystem::path& path);
// Writes bytes to a fresh file in a per-test temporary directory and returns its path.
std::filesystem::path writeTempFile(const std::string& name, const std::vector<uint8_t>& bytes);

}  // namespace tarvex::test
