// Access to the module files the tests read from disk.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tarvex::test {

// The shared corpus of real module files (read-only). Empty when the corpus is not present.
std::filesystem::path corpusDir();
// Every regular file below corpusDir()/sub (or the whole corpus when sub is empty), sorted.
std::vector<std::filesystem::path> corpusFiles(const std::string& sub = "");
std::vector<uint8_t> readFileBytes(const std::filesystem::path& path);
// Writes bytes to a fresh file in a per-test temporary directory and returns its path.
std::filesystem::path writeTempFile(const std::string& name, const std::vector<uint8_t>& bytes);

}  // namespace tarvex::test
