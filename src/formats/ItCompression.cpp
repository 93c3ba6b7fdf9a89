#include "formats/ItCompression.h"

#include <algorithm>
#include <vector>

namespace tarvex {

namespace {

// The bits of one block, least significant first; reading past its bytes fails.
class BitStream {
   public:
    explicit BitStream(std::span<const uint8_t> bytes) : bytes_(bytes) {}

    bool read(uint32_t count, uint32_t& value) {
        if (position_ + count > uint64_t{bytes_.size()} * 8) return false;
        value = 0;
        for (uint32_t k = 0; k < count; ++k, ++position_) {
            const uint32_t bit = (bytes_[position_ / 8] >> (position_ % 8)) & 1u;
            value |= bit << k;
        }
        return true;
    }
    uint64_t position() const { return position_; }

   private:
    std::span<const uint8_t> bytes_;
    uint64_t position_ = 0;
};

int32_t signExtend(uint32_t value, uint32_t width) {
    const uint32_t sign = 1u << (width - 1);
    return static_cast<int32_t>((value ^ sign)) - static_cast<int32_t>(sign);
}

// The width after a change code naming n + 1: the current width is skipped, as no code needs it.
uint32_t nextWidth(uint32_t named, uint32_t width) {
    return named < width ? named : named + 1;
}

// Stream parameters of the two sample sizes.
struct Depth {
    uint32_t startWidth;  // also the widest, whose top bit marks a change
    uint32_t lowBits;     // bits of n after a change code at widths 1..6
    uint32_t bandBelow;   // the change codes at the middle widths start this far below 2^(w-1)
    uint32_t bandSize;
};
constexpr Depth kDepth8 = {9, 3, 4, 8};
constexpr Depth kDepth16 = {17, 4, 8, 16};

}  // namespace

ItBlockResult unpackItBlock(std::span<const uint8_t> bytes, bool sixteenBit, bool doubleDelta,
                            std::span<int16_t> out) {
    const Depth& depth = sixteenBit ? kDepth16 : kDepth8;
    BitStream bits(bytes);
    ItBlockResult result;
    uint32_t width = depth.startWidth;
    // Sums wrap as the tracker's 8- and 16-bit registers did: only their low bits are kept.
    uint32_t sum = 0;
    uint32_t sumOfSums = 0;
    while (result.frames < out.size()) {
        if (width == 0 || width > depth.startWidth) {
            result.damaged = true;
            break;
        }
        uint32_t value = 0;
        if (!bits.read(width, value)) {
            result.damaged = true;
            break;
        }
        int32_t delta = 0;
        if (width <= 6) {
            if (value == 1u << (width - 1)) {
                uint32_t n = 0;
                if (!bits.read(depth.lowBits, n)) {
                    result.damaged = true;
                    break;
                }
                width = nextWidth(n + 1, width);
                continue;
            }
            delta = signExtend(value, width);
        } else if (width < depth.startWidth) {
            const uint32_t first = (1u << (width - 1)) - depth.bandBelow;
            if (value >= first && value < first + depth.bandSize) {
                width = nextWidth(value - first + 1, width);
                continue;
            }
            delta = signExtend(value, width);
        } else {
            const uint32_t top = 1u << (width - 1);
            if ((value & top) != 0) {
                const uint32_t n = ((value & 0xFFu) + 1) & 0xFFu;
                // The widest 8-bit code skips its own width like the others; the 16-bit one
                // takes n + 1 as it is.
                width = sixteenBit ? n : nextWidth(n, width) & 0xFFu;
                continue;
            }
            delta = sixteenBit ? static_cast<int16_t>(value) : static_cast<int8_t>(value);
        }
        sum += static_cast<uint32_t>(delta);
        sumOfSums += sum;
        const uint32_t frame = doubleDelta ? sumOfSums : sum;
        out[result.frames++] =
            sixteenBit ? static_cast<int16_t>(frame) : static_cast<int16_t>(static_cast<int8_t>(frame) * 256);
    }
    result.bits = bits.position();
    return result;
}

ItPackedResult unpackItSample(ByteReader& file, int64_t offset, bool sixteenBit, bool doubleDelta,
                              std::span<int16_t> out) {
    const size_t blockFrames = sixteenBit ? kItBlockBytes / 2 : kItBlockBytes;
    ItPackedResult result;
    result.end = offset;
    std::vector<uint8_t> block;
    while (result.frames < out.size()) {
        if (offset >= file.size()) {
            result.end = offset + 2;  // the next block's count is missing at least
            break;
        }
        file.seek(offset);
        const uint16_t count = file.readLittleEndian16();
        result.end = offset + 2 + count;
        block.assign(static_cast<size_t>(std::clamp<int64_t>(file.size() - offset - 2, 0, count)), 0);
        file.read(block.data(), block.size());
        const size_t wanted = std::min(blockFrames, out.size() - result.frames);
        const ItBlockResult unpacked =
            unpackItBlock(block, sixteenBit, doubleDelta, out.subspan(result.frames, wanted));
        result.frames += unpacked.frames;
        if (unpacked.frames < wanted) {
            // Bits missing because the file ends are a cut file, not a damaged block.
            result.damaged = block.size() == count;
            break;
        }
        offset = result.end;
    }
    return result;
}

}  // namespace tarvex
