// The PCM layout the mixer writes, the devices play and the WAV files describe.
#pragma once

#include <cstdint>

namespace tarvex {

// Interleaved little-endian PCM: 8-bit unsigned, 16- and 24-bit signed; mono or stereo.
struct PcmFormat {
    uint32_t rate = 44100;
    uint32_t bits = 16;
    uint32_t channels = 2;

    uint32_t blockAlign() const { return channels * bits / 8; }
    uint32_t bytesPerSecond() const { return rate * blockAlign(); }
    uint8_t silenceByte() const { return bits == 8 ? 0x80 : 0x00; }
};

}  // namespace tarvex
