#include "formats/Loader.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <system_error>

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

// A module file on disk, read only where a reader looks. Its length comes from the file system,
// so the size checks need no reading.
class FileSource : public ByteSource {
   public:
    // Opens path; on failure says why in the system's words ("no such file or directory").
    bool open(const std::string& path, std::string& reason) {
        std::error_code error;
        const std::filesystem::file_status status = std::filesystem::status(path, error);
        if (error) {
            reason = lowerFirst(error.message());
            return false;
        }
        if (std::filesystem::is_directory(status)) {
            reason = "is a directory";
            return false;
        }
        // A pipe or a device has no length and may never end.
        if (!std::filesystem::is_regular_file(status)) {
            reason = "not a regular file";
            return false;
        }
        errno = 0;
        file_.open(path, std::ios::binary);
        if (!file_) {
            reason = errno != 0 ? lowerFirst(std::generic_category().message(errno)) : "cannot be opened";
            return false;
        }
        const std::uintmax_t length = std::filesystem::file_size(path, error);
        if (error) {
            reason = lowerFirst(error.message());
            return false;
        }
        size_ = static_cast<int64_t>(std::min<std::uintmax_t>(length, INT64_MAX));
        return true;
    }

    int64_t size() const override { return size_; }

    size_t readAt(int64_t offset, uint8_t* out, size_t count) override {
        file_.clear();
        file_.seekg(offset);
        if (!file_) return 0;
        file_.read(reinterpret_cast<char*>(out), static_cast<std::streamsize>(count));
        return static_cast<size_t>(file_.gcount());
    }

   private:
    static std::string lowerFirst(std::string text) {
        if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z')
            text[0] = static_cast<char>(text[0] - 'A' + 'a');
        return text;
    }

    std::ifstream file_;
    int64_t size_ = 0;
};

// Runs the reader of an extension already found; module is reset when the load fails.
void runReader(ByteReader& file, Module& module, LoadOutcome& outcome) {
    module = Module{};  // a reader fills a fresh record, whatever the caller passed
    const ModuleReader reader = findReader(outcome.extension);
    bool loaded = false;
    if (reader != nullptr) {
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
    FileSource source;
    if (!source.open(path, outcome.reason)) {
        outcome.result = kResultNotFound;
        module = Module{};
        return outcome;
    }
    ByteReader file(source);
    runReader(file, module, outcome);
    return outcome;
}

LoadOutcome loadModuleBytes(std::span<const uint8_t> bytes, std::string_view extension, Module& module) {
    LoadOutcome outcome;
    outcome.extension = upperCase(extension);
    ByteReader file(bytes);
    runReader(file, module, outcome);
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
