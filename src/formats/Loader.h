// Load dispatch: a file name in, a loaded Module and a result code out.
//
// The reader is chosen by the text after the last dot of the path, upper-cased and compared
// whole: "MOD", "NST", "WOW" -> loadMod; "STM" -> loadStm; "S3M" -> loadS3m; "XM" -> loadXm;
// "IT" -> loadIt. Marks in the bytes ("Extended Module: " for XM, "IMPM" for IT too)
// overrule the extension: "SCRM" at 44 is an S3M file, "!Scream!" or "BMOD2STM" at 20 followed by
// 0x1A and type 2 an STM file, so an S3M file named .mod still plays. A name whose extension names
// no reader (or that has no dot) is read when its bytes carry one of those marks or a MOD
// signature at 1080, or when the file name begins with "mod." (the Amiga habit, "mod.title").
// The file is opened before its extension is judged, so a missing file reports code 3 ("File not
// found") whatever its extension (a missing name without any dot stays code 2); a file nothing
// recognises (also any "LST" list) or a refusing reader gives code 2, and so does a file with
// nothing in it: empty, every byte zero, or shorter than the smallest header of the format chosen.
// A file with the mark of a format no reader here reads (MultiTracker, OctaMED, MIDI,
// ...) and no MOD signature gives code 2 whatever its extension, the format named in the reason. The
// extension is kept per load in the outcome; the MOD reader gets it for its "WOW" test.
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
    std::string reason;      // with code 3: why the file could not be opened ("is a directory");
                             // with code 2, when known, why it holds no module ("empty file",
                             // "FastTracker 2 XM file, a format this version does not read")
};

// Loads path into module, which should be fresh from createModule. After a failed load module is
// left as a fresh, empty record (nothing half-loaded); the caller then frees it. The file is read
// only where the reader looks; only regular files are read (a directory, pipe or device gives
// code 3 with its reason).
LoadOutcome loadModuleFile(const std::string& path, Module& module);

// The same for a file already in memory, with the extension that chooses the reader (any case);
// the marks overrule it as for a file.
LoadOutcome loadModuleBytes(std::span<const uint8_t> bytes, std::string_view extension, Module& module);

// The characters after the last dot of path, upper-cased; false when path has no dot.
bool findExtension(std::string_view path, std::string& extension);

// The "Errors:" text of a result: "No Errors", "Mod too short for 100 Bytes", "Unsupported File"...
std::string resultMessage(int32_t result, int32_t sizeDetail);

// "ProTracker [M.K.]"; "NoiseTracker [no ID]" when the module has no signature.
std::string trackerLine(const Module& module);

}  // namespace tarvex
