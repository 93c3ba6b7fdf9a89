// Load dispatch: a file name in, a loaded Module and a result code out.
//
// The reader is chosen by the text after the last dot of the path, upper-cased and compared
// whole: "MOD", "NST", "WOW" -> loadMod; "STM" -> loadStm; "S3M" -> loadS3m. The file is opened
// before the extension is judged, so a missing file always reports code 3 ("File not found"),
// whatever its name; no dot, another extension (also "LST") or a refusing reader give code 2.
// The extension is kept per load in the outcome; the MOD reader gets it for its "WOW" test.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "formats/LoadResult.h"
#include "model/Module.h"

namespace tarvex {

struct LoadOutcome {
    bool loaded = false;  // codes 0, 1 and 4
    int32_t result = kResultOk;
    int32_t sizeDetail = 0;  // with code 1: bytes short (negative) or too many (positive)
    std::string extension;   // after the last dot, upper-cased; empty when the path has no dot
    std::string reason;      // with code 3: why the file could not be opened ("is a directory")
};

// Loads path into module, which should be fresh from createModule. After a failed load module is
// left as a fresh, empty record (nothing half-loaded); the caller then frees it. The file is read
// only where the reader looks; only regular files are read (a directory, pipe or device gives
// code 3 with its reason).
LoadOutcome loadModuleFile(const std::string& path, Module& module);

// The same for a file already in memory, with the extension that chooses the reader (any case).
LoadOutcome loadModuleBytes(std::span<const uint8_t> bytes, std::string_view extension, Module& module);

// The characters after the last dot of path, upper-cased; false when path has no dot.
bool findExtension(std::string_view path, std::string& extension);

// The "Errors:" text of a result: "No Errors", "Mod too short for 100 Bytes", "Unsupported File"...
std::string resultMessage(int32_t result, int32_t sizeDetail);

// "ProTracker [M.K.]"; "NoiseTracker [no ID]" when the module has no signature.
std::string trackerLine(const Module& module);

}  // namespace tarvex
