// Impulse Tracker's packed sample data (IT 2.14, and 2.15 with its second integration).
//
// A packed sample is a run of blocks, each a 16-bit byte count and that many bytes of a bit
// stream (least significant bit first) holding the deltas of at most 32768 bytes of frames:
// 32768 frames of 8 bits or 16384 of 16. Every block starts afresh: width 9 (8-bit) or 17
// (16-bit), sums at zero. A value of the current width is a delta unless it is the width's change
// code:
// - widths 1..6: the value with only its top bit set, then 3 bits (8-bit) or 4 bits (16-bit) n;
// - widths 7..8 (8-bit): the eight values from 2^(w-1) - 4; 7..16 (16-bit): the sixteen from
//   2^(w-1) - 8;
// - width 9 (17): the value with bit 8 (16) set, its low byte n.
// The new width is n + 1, or n + 2 when that would not change it (skipping the current one); at
// width 9 (17) the 16-bit stream takes n + 1 as it is. IT 2.15 sums the sums once more.
//
// Worked numbers: the 8-bit block 0x03 0x02 0x36 holds delta 3 (width 9), then a change
// code 0x101 (to width 2), then 1 and -1 at width 2 (bits 01, 11): frames 3, 4, 3.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "model/ByteReader.h"

namespace tarvex {

inline constexpr uint32_t kItBlockBytes = 0x8000;

// What one block gave: its frames (8-bit ones as v * 256), the bits it used, and whether it
// ended early on a width no block can hold or on bits past its bytes.
struct ItBlockResult {
    size_t frames = 0;
    uint64_t bits = 0;
    bool damaged = false;
};

// Unpacks one block's bytes into out (its frames, at most a block's worth).
ItBlockResult unpackItBlock(std::span<const uint8_t> bytes, bool sixteenBit, bool doubleDelta,
                            std::span<int16_t> out);

// What a whole packed sample gave: the frames unpacked, where its last block ends by its own
// count (possibly past the file), and whether a block was damaged.
struct ItPackedResult {
    size_t frames = 0;
    int64_t end = 0;
    bool damaged = false;
};

// Unpacks the blocks from offset until out is full, a block is damaged or the file ends.
ItPackedResult unpackItSample(ByteReader& file, int64_t offset, bool sixteenBit, bool doubleDelta,
                              std::span<int16_t> out);

}  // namespace tarvex
