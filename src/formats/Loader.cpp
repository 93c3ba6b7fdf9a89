#include "formats/Loader.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "formats/ItReader.h"
#include "formats/ModReader.h"
#include "formats/S3mReader.h"
#include "formats/StmReader.h"
#include "formats/XmReader.h"
#include "model/ByteReader.h"

namespace tarvex {

namespace {

struct ReaderEntry {
    std::string_view extension;
    ModuleReader reader;
};

// The one table from extensions to readers.
constexpr ReaderEntry kReaders[] = {
    {"MOD", loadMod}, {"NST", loadMod}, {"WOW", loadMod}, {"STM", loadStm},
    {"S3M", loadS3m}, {"XM", loadXm},   {"IT", loadIt},
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

// Whether the file holds text at offset (bytes past its end read as zero, which no mark has).
bool bytesAt(ByteReader& file, int64_t offset, std::string_view text) {
    uint8_t found[24] = {};
    if (text.size() > sizeof found) return false;
    file.seek(offset);
    file.read(found, text.size());
    file.seek(0);
    return std::equal(text.begin(), text.end(), found,
                      [](char c, uint8_t b) { return static_cast<uint8_t>(c) == b; });
}

// "SCRM" at offset 44.
bool hasS3mMark(ByteReader& bytes) {
    return bytesAt(bytes, 44, "SCRM");
}

// "!Scream!" or "BMOD2STM" at offset 20, then 0x1A and the type byte 2.
bool hasStmMark(ByteReader& bytes) {
    return (bytesAt(bytes, 20, "!Scream!") || bytesAt(bytes, 20, "BMOD2STM")) &&
           bytesAt(bytes, 28, "\x1A\x02");
}

// The marks of formats no reader here reads yet, so that such a file is named rather than played
// as noise by the MOD reader, which takes almost anything. Each is long or rare enough that no
// MOD title plausibly starts with it, and a MOD signature at 1080 overrules them all. A format
// leaves this table when its reader joins kReaders.
struct ForeignMark {
    std::string_view mark;  // at offset 0
    std::string_view more;  // at offset 8 as well, when not empty
    std::string_view format;
};

constexpr ForeignMark kForeignMarks[] = {
    {"MTM\x10", "", "MultiTracker MTM"},
    {"OKTASONG", "", "Oktalyzer"},
    {"MMD0", "", "OctaMED MMD0"},
    {"MMD1", "", "OctaMED MMD1"},
    {"MMD2", "", "OctaMED MMD2"},
    {"MMD3", "", "OctaMED MMD3"},
    {"DBM0", "", "DigiBooster Pro DBM"},
    {"DMDL", "", "Digitrakker MDL"},
    {"MAS_UTrack_V00", "", "UltraTracker ULT"},
    {"FAR\xFE", "", "Farandole FAR"},
    {"PSM ", "FILE", "Epic MegaGames PSM"},
    {"MO3", "", "MO3"},
    {"ziRCONia", "", "MMCMP packed"},
    {"MThd", "", "Standard MIDI"},
    {"RIFF", "RMID", "RIFF MIDI"},
    {"RIFF", "WAVE", "WAVE audio"},
    {"OggS", "", "Ogg"},
    {"fLaC", "", "FLAC audio"},
    {"ID3", "", "MP3 audio"},
    {"PK\x03\x04", "", "ZIP archive"},
};

// The format a file's mark names among those no reader reads; empty when it carries none.
std::string_view foreignFormat(ByteReader& bytes) {
    for (const ForeignMark& entry : kForeignMarks) {
        if (bytesAt(bytes, 0, entry.mark) && (entry.more.empty() || bytesAt(bytes, 8, entry.more)))
            return entry.format;
    }
    return {};
}

// The smallest file each reader can find a song in: the 15-sample MOD header with its order list,
// the S3M header before its order list, the STM file header, the XM head, the IT header.
struct ReaderHeader {
    ModuleReader reader;
    int64_t bytes;
    std::string_view format;
};

constexpr ReaderHeader kHeaders[] = {{loadMod, 600, "MOD"},
                                     {loadS3m, 96, "S3M"},
                                     {loadStm, 48, "STM"},
                                     {loadXm, 60, "XM"},
                                     {loadIt, 192, "IT"}};

// The largest header any reader reads before its patterns: the 31-sample MOD header with its
// signature. A file whose first bytes up to there are all zero has no samples, no order list and
// no format mark for any reader, whatever follows: nothing in it could play.
constexpr int64_t kLargestHeaderBytes = 1084;

bool headerAllZero(ByteReader& bytes) {
    uint8_t header[kLargestHeaderBytes] = {};
    const size_t count = static_cast<size_t>(std::min(bytes.size(), kLargestHeaderBytes));
    bytes.seek(0);
    bytes.read(header, count);
    bytes.seek(0);
    return std::all_of(header, header + count, [](uint8_t b) { return b == 0; });
}

// Why a file holds no module for reader to find ("empty file"); empty when it may hold one.
std::string nothingToRead(ByteReader& bytes, ModuleReader reader) {
    if (bytes.size() == 0) return "empty file";
    if (headerAllZero(bytes)) {
        return bytes.size() <= kLargestHeaderBytes ? "no module in it: every byte is zero"
                                                   : "no module in it: its header is all zero bytes";
    }
    for (const ReaderHeader& header : kHeaders) {
        if (header.reader == reader && bytes.size() < header.bytes) {
            return std::to_string(bytes.size()) + " bytes: too short for a " + std::string(header.format) +
                   " header";
        }
    }
    return {};
}

// The extension decides, unless the bytes carry another format's mark: an S3M file named .mod
// goes to the S3M reader. Where the extension names no reader, the marks decide, then a MOD
// signature at 1080 or the Amiga-style name "mod.title". List files are never modules, and a file
// with the mark of a format no reader reads (and no MOD signature) is none of these.
ModuleReader chooseReader(ByteReader& bytes, std::string_view extension, std::string_view fileName) {
    const ModuleReader named = findReader(extension);
    if (named == loadS3m && hasS3mMark(bytes)) return named;
    if (named == loadStm && hasStmMark(bytes)) return named;
    if (named == nullptr && extension.substr(0, 3) == "LST") return nullptr;
    // A MOD whose title happens to begin with the XM or IT mark keeps its signature at 1080.
    if (hasXmMark(bytes) && (named == loadXm || !hasModSignature(bytes))) return loadXm;
    if (hasItMark(bytes) && (named == loadIt || !hasModSignature(bytes))) return loadIt;
    if (hasS3mMark(bytes)) return loadS3m;
    if (hasStmMark(bytes)) return loadStm;
    if (!foreignFormat(bytes).empty() && !hasModSignature(bytes)) return nullptr;
    if (named != nullptr) return named;
    if (hasModSignature(bytes) || upperCase(fileName.substr(0, 4)) == "MOD.") return loadMod;
    return nullptr;
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

// Runs the reader the extension, the bytes and the file name choose; module is reset when the
// load fails.
void runReader(ByteReader& file, std::string_view fileName, Module& module, LoadOutcome& outcome) {
    module = Module{};  // a reader fills a fresh record, whatever the caller passed
    const ModuleReader reader = chooseReader(file, outcome.extension, fileName);
    outcome.reason = nothingToRead(file, reader);
    bool loaded = false;
    if (reader != nullptr && outcome.reason.empty()) {
        loaded = reader(file, module, outcome.result, outcome.sizeDetail, outcome.extension);
    }
    if (reader == nullptr && outcome.reason.empty()) {
        const std::string_view format = foreignFormat(file);
        if (!format.empty())
            outcome.reason = std::string(format) + " file, a format this version does not read";
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
    // A name without a dot has no extension; its bytes may still say what it is. Such a name
    // that opens nothing stays "Unsupported File", as before anything was read.
    const bool dotted = findExtension(path, outcome.extension);
    FileSource source;
    if (!source.open(path, outcome.reason)) {
        outcome.result = dotted ? kResultNotFound : kResultUnsupported;
        if (!dotted) outcome.reason.clear();
        module = Module{};
        return outcome;
    }
    ByteReader file(source);
    runReader(file, std::filesystem::path(path).filename().string(), module, outcome);
    return outcome;
}

LoadOutcome loadModuleBytes(std::span<const uint8_t> bytes, std::string_view extension, Module& module) {
    LoadOutcome outcome;
    outcome.extension = upperCase(extension);
    ByteReader file(bytes);
    runReader(file, "", module, outcome);
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
