#include "formats/Loader.h"

#include <cstdio>
#include <memory>
#include <vector>

#include "formats/ModReader.h"
#include "formats/S3mReader.h"
#include "formats/StmReader.h"
#include "model/ByteReader.h"

namespace tarvex {

namespace {

struct ReaderEntry {
    std::string_view extension;
    ModuleReader reader;
};

// The one table from extensions to readers.
constexpr ReaderEntry kReaders[] = {
    {"MOD", loadMod}, {"NST", loadMod}, {"WOW", loadMod}, {"STM", loadStm}, {"S3M", loadS3m},
};

ModuleReader findReader(std::string_view extension) {
    for (const ReaderEntry& entry : kReaders) {
        if (entry.extension == extension) return entry.reader;
    }
    return nullptr;
}

std::string upperCase(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return upper;
}

// Reads the whole file; false when it cannot be opened or read.
bool readWholeFile(const std::string& path, std::vector<uint8_t>& bytes) {
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file) return false;
    uint8_t chunk[65536];
    for (;;) {
        const size_t n = std::fread(chunk, 1, sizeof chunk, file.get());
        bytes.insert(bytes.end(), chunk, chunk + n);
        if (n < sizeof chunk) break;
    }
    return std::ferror(file.get()) == 0;  // a directory opens but cannot be read
}

// Runs the reader of an extension already found; module is reset when the load fails.
void runReader(std::span<const uint8_t> bytes, Module& module, LoadOutcome& outcome) {
    module = Module{};  // a reader fills a fresh record, whatever the caller passed
    const ModuleReader reader = findReader(outcome.extension);
    bool loaded = false;
    if (reader != nullptr) {
        ByteReader file(bytes);
        loaded = reader(file, module, outcome.result, outcome.sizeDetail, outcome.extension);
    }
    if (!loaded) {
        outcome.result = kResultUnsupported;
        outcome.sizeDetail = 0;
        module = Module{};
    }
    outcome.loaded = loaded;
}

}  // namespace

bool findExtension(std::string_view path, std::string& extension) {
    const size_t dot = path.rfind('.');
    if (dot == std::string_view::npos) return false;
    extension = upperCase(path.substr(dot + 1));
    return true;
}

LoadOutcome loadModuleFile(const std::string& path, Module& module) {
    LoadOutcome outcome;
    if (!findExtension(path, outcome.extension)) {
        outcome.result = kResultUnsupported;
        module = Module{};
        return outcome;
    }
    std::vector<uint8_t> bytes;
    if (!readWholeFile(path, bytes)) {
        outcome.result = kResultNotFound;
        module = Module{};
        return outcome;
    }
    runReader(bytes, module, outcome);
    return outcome;
}

LoadOutcome loadModuleBytes(std::span<const uint8_t> bytes, std::string_view extension, Module& module) {
    LoadOutcome outcome;
    outcome.extension = upperCase(extension);
    runReader(bytes, module, outcome);
    return outcome;
}

std::string resultMessage(int32_t result, int32_t sizeDetail) {
    switch (result) {
        case kResultOk:
            return "No Errors";
        case kResultSizeMismatch:
            if (sizeDetail < 0) return "Mod too short for " + std::to_string(-int64_t{sizeDetail}) + " Bytes";
            return "Mod too long for " + std::to_string(sizeDetail) + " Bytes";
        case kResultUnsupported:
            return "Unsupported File";
        case kResultNotFound:
            return "File not found";
        case kResultCorrupt:
            return "Mod is corrupt";
        default:
            return "";
    }
}

std::string trackerLine(const Module& module) {
    const std::string_view signature = module.signature.empty() ? "no ID" : module.signature.view();
    return std::string(module.trackerName.view()) + " [" + std::string(signature) + "]";
}

}  // namespace tarvex
