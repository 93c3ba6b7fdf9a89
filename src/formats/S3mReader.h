// Reader of ScreamTracker 3 modules (extension "S3M").
//
// The header's parapointers (16-bit values, file offset = value * 16) lead to the instruments and
// to the packed patterns. Used S3M channels (setting byte below 255) become internal channels
// 0, 1, 2, ... in S3M channel order; effects are mapped onto the engine's numbering and notes onto
// the PeriodTable: note byte 0x40 (octave 4, C) is entry 72, period 428.
//
// Beyond the format's own rules the reader keeps untrusted files in bounds:
// - counts (orders, instruments, patterns) are cut to the parapointers the file actually holds;
// - a parapointer of 0 points into the header, never at data: such a pattern is empty and such
//   an instrument an empty slot;
// - the data parapointer takes the high byte at instrument offset 13 as bits 16-23;
// - instruments of a type other than 1 (AdLib, empty) are empty slots with their name;
// - 16-bit samples load their data, stereo samples their left channel;
// - sample data is cut to what the file holds, and what one load may allocate or unpack is capped
//   in proportion to the file's size, so shared parapointers cannot multiply it.
// Refuses (code 2) a file whose type byte at offset 29 is not 16.
#pragma once

#include <cstdint>
#include <string_view>

#include "model/ByteReader.h"
#include "model/Module.h"

namespace tarvex {

bool loadS3m(ByteReader& file, Module& module, int32_t& result, int32_t& sizeDetail,
             std::string_view extension);

// The engine effect and parameter of S3M command c (1 = A ... 26 = Z) with info x.
struct MappedEffect {
    uint8_t effect;
    uint8_t param;
};
MappedEffect mapS3mEffect(uint8_t command, uint8_t info);

}  // namespace tarvex
