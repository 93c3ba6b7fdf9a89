// Result codes shared by the format readers and the load dispatcher.
//
// Codes 0, 1 and 4 come with a loaded Module; 2 and 3 with a failed load. Only code 1 carries a
// byte count (sizeDetail): negative when the file is short by that many bytes, positive when long.
#pragma once

#include <cstdint>
#include <string_view>

namespace tarvex {

class ByteReader;
struct Module;

inline constexpr int32_t kResultOk = 0;            // "No Errors"
inline constexpr int32_t kResultSizeMismatch = 1;  // "Mod too short/long for %ld Bytes"
inline constexpr int32_t kResultUnsupported = 2;   // "Unsupported File"
inline constexpr int32_t kResultNotFound = 3;      // "File not found"
inline constexpr int32_t kResultCorrupt = 4;       // "Mod is corrupt": a header value was clamped

// The one contract of every format reader: fill a freshly created module from file, set result and
// sizeDetail, and return true when the module is loaded (codes 0, 1, 4). A reader refuses a file
// (false, code 2) only before it has put anything into the module. extension is the file name's
// extension upper-cased, as the dispatcher found it for this load.
using ModuleReader = bool (*)(ByteReader& file, Module& module, int32_t& result, int32_t& sizeDetail,
                              std::string_view extension);

}  // namespace tarvex
