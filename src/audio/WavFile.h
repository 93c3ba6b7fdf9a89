// Canonical RIFF/WAVE PCM files: a 44-byte header (RIFF, a 16-byte "fmt " chunk, "data") followed
// by the interleaved little-endian samples, 8-bit unsigned or 16-/24-bit signed, as the mixer writes
// them. An odd data size gets one pad byte after the data, which the RIFF size counts.
#pragma once

#include <array>
#include <cstdint>

#include "core/PcmFormat.h"

namespace tarvex {

inline constexpr uint32_t kWavHeaderBytes = 44;
// The most sample bytes one file can describe: the RIFF size (36 + data + pad) must fit 32 bits.
inline constexpr uint64_t kMaxWavDataBytes = 0xFFFFFFFFull - 36 - 1;

std::array<uint8_t, kWavHeaderBytes> wavHeader(const PcmFormat& format, uint32_t dataBytes);
// Bytes that follow the data for a data size (the pad byte): 0 or 1.
inline uint32_t wavPadBytes(uint64_t dataBytes) {
    return static_cast<uint32_t>(dataBytes & 1);
}

}  // namespace tarvex
