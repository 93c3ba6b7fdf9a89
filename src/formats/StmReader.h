// Reader of ScreamTracker 2 modules (extension "STM").
//
// Fixed layout: header (48 bytes), 31 sample headers of 32 bytes, 128 order bytes at 1040 (99
// ends the song), patterns of 64 rows x 4 channels x 4-byte cells from 1168, then the sample data
// in sample order: at the 16-byte aligned place a sample header's parapointer names, or straight
// after the previous sample when it names none. Header numbers are little-endian; a cell is read big-endian
// so that its byte 0 is the most significant. Note byte 0x20 (octave 2, C) is PeriodTable entry 72, period
// 428.
//
// A pattern count above 64 is clamped (code 4, "Mod is corrupt"); a type byte at offset 29 other
// than 2 is refused (code 2). Sample data the file does not hold is cut off.
#pragma once

#include <cstdint>
#include <string_view>

#include "model/ByteReader.h"
#include "model/Module.h"

namespace tarvex {

bool loadStm(ByteReader& file, Module& module, int32_t& result, int32_t& sizeDetail,
             std::string_view extension);

}  // namespace tarvex
