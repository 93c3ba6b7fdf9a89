// The per-frame tail of the mixer (private to src/audio): smoothing, wide-stereo cross-feed, the
// final shift, clipping, the level arrays and the PCM bytes, in one loop over a run's accumulators,
// specialised on the options and the output format.
#pragma once

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdint>
#include <cstring>

#include "audio/Mixer.h"

namespace tarvex::mixkernels {

inline constexpr int32_t kFullScaleMax = 8388607;  // 24-bit output range
inline constexpr int32_t kFullScaleMin = -8388608;

inline int32_t clip(int32_t x) {
    return x > kFullScaleMax ? kFullScaleMax : (x < kFullScaleMin ? kFullScaleMin : x);
}

template <uint32_t Bits>
inline uint8_t* putSample(uint8_t* out, int32_t x) {
    const uint32_t u = static_cast<uint32_t>(x);
    if constexpr (Bits == 8) {
        out[0] = static_cast<uint8_t>((x >> 16) + 128);
        return out + 1;
    } else if constexpr (Bits == 16) {
        if constexpr (std::endian::native == std::endian::little) {
            const uint16_t word = static_cast<uint16_t>(u >> 8);
            std::memcpy(out, &word, 2);
        } else {
            out[0] = static_cast<uint8_t>(u >> 8);
            out[1] = static_cast<uint8_t>(u >> 16);
        }
        return out + 2;
    } else {
        out[0] = static_cast<uint8_t>(u);
        out[1] = static_cast<uint8_t>(u >> 8);
        out[2] = static_cast<uint8_t>(u >> 16);
        return out + 3;
    }
}

// The one-pole low-pass of ISP, y = (x + previous y) / 2 with the sum in 64 bits.
inline int32_t smooth(int32_t x, int32_t& memory) {
    memory = static_cast<int32_t>((static_cast<int64_t>(x) + memory) >> 1);
    return memory;
}

// What the tail loop carries from run to run.
struct TailState {
    int32_t ispLeft;
    int32_t ispRight;
    int32_t* delayLeft;
    int32_t* delayRight;
    uint32_t delayLength;
    uint32_t readIndex;
    uint32_t writeIndex;
};

// Frames [first, first + frames) of the run; level entries and bytes are indexed from the run start.
// Null level arrays: no level entries are written.
template <bool Isp, bool Wide, uint32_t Bits, bool Stereo, bool Clipping>
inline uint8_t* tailFrames(TailState& t, const uint32_t* left, const uint32_t* right, uint32_t first,
                           uint32_t frames, uint8_t* out, std::atomic<int16_t>* levelLeft,
                           std::atomic<int16_t>* levelRight) {
    int32_t memoryLeft = t.ispLeft;
    int32_t memoryRight = t.ispRight;
    int32_t* const delayLeft = t.delayLeft;
    int32_t* const delayRight = t.delayRight;
    uint32_t readIndex = t.readIndex;
    uint32_t writeIndex = t.writeIndex;
    for (uint32_t k = first; k < first + frames; ++k) {
        int32_t l = static_cast<int32_t>(left[k]);
        int32_t r = static_cast<int32_t>(right[k]);
        if constexpr (Isp) {
            l = smooth(l, memoryLeft);
            r = smooth(r, memoryRight);
        }
        if constexpr (Wide) {
            // Each side receives half of the other side's dry mix, wideDelayLength - 1 frames late.
            // The caller keeps both indices from wrapping inside this call.
            delayLeft[writeIndex] = l;
            delayRight[writeIndex] = r;
            ++writeIndex;
            const int32_t fromLeft = delayLeft[readIndex] >> 1;
            const int32_t fromRight = delayRight[readIndex] >> 1;
            ++readIndex;
            r = static_cast<int32_t>(static_cast<uint32_t>(r) + static_cast<uint32_t>(fromLeft));
            l = static_cast<int32_t>(static_cast<uint32_t>(l) + static_cast<uint32_t>(fromRight));
        }
        l >>= kOutputShift;
        r >>= kOutputShift;
        if constexpr (Stereo) {
            if constexpr (Clipping) {
                l = clip(l);
                r = clip(r);
            }
            if (levelLeft != nullptr) {
                levelLeft[k].store(static_cast<int16_t>(l >> 8), std::memory_order_relaxed);
                levelRight[k].store(static_cast<int16_t>(r >> 8), std::memory_order_relaxed);
            }
            out = putSample<Bits>(out, l);
            out = putSample<Bits>(out, r);
        } else {
            int32_t x = static_cast<int32_t>(static_cast<uint32_t>(l) + static_cast<uint32_t>(r));
            if constexpr (Clipping) x = clip(x);
            if (levelLeft != nullptr) {
                levelLeft[k].store(static_cast<int16_t>(x >> 8), std::memory_order_relaxed);
                levelRight[k].store(static_cast<int16_t>(x >> 8), std::memory_order_relaxed);
            }
            out = putSample<Bits>(out, x);
        }
    }
    t.ispLeft = memoryLeft;
    t.ispRight = memoryRight;
    t.readIndex = readIndex;
    t.writeIndex = writeIndex;
    return out;
}

template <bool Isp, bool Wide, uint32_t Bits, bool Stereo, bool Clipping>
inline void tailRun(TailState& t, const uint32_t* left, const uint32_t* right, uint32_t frames, uint8_t* out,
                    std::atomic<int16_t>* levelLeft, std::atomic<int16_t>* levelRight) {
    if constexpr (Wide) {
        // Split where either delay-line index wraps to 0.
        uint32_t done = 0;
        while (done < frames) {
            const uint32_t untilWrap = std::min(t.delayLength - t.readIndex, t.delayLength - t.writeIndex);
            const uint32_t n = std::min(frames - done, untilWrap);
            out = tailFrames<Isp, Wide, Bits, Stereo, Clipping>(t, left, right, done, n, out, levelLeft,
                                                                levelRight);
            if (t.readIndex == t.delayLength) t.readIndex = 0;
            if (t.writeIndex == t.delayLength) t.writeIndex = 0;
            done += n;
        }
    } else {
        tailFrames<Isp, Wide, Bits, Stereo, Clipping>(t, left, right, 0, frames, out, levelLeft, levelRight);
    }
}

using TailFunction = void (*)(TailState&, const uint32_t*, const uint32_t*, uint32_t, uint8_t*,
                              std::atomic<int16_t>*, std::atomic<int16_t>*);

template <bool Isp, bool Wide, bool Stereo, bool Clipping>
inline TailFunction tailForBits(uint32_t bits) {
    if (bits == 8) return tailRun<Isp, Wide, 8, Stereo, Clipping>;
    if (bits == 24) return tailRun<Isp, Wide, 24, Stereo, Clipping>;
    return tailRun<Isp, Wide, 16, Stereo, Clipping>;
}

template <bool Isp, bool Clipping>
inline TailFunction tailForLayout(bool wide, bool stereo, uint32_t bits) {
    if (!stereo) return tailForBits<Isp, false, false, Clipping>(bits);  // wide stereo needs two channels
    return wide ? tailForBits<Isp, true, true, Clipping>(bits)
                : tailForBits<Isp, false, true, Clipping>(bits);
}

// The tail loop for the options of one run.
inline TailFunction tailFor(bool isp, bool wide, bool stereo, bool clipping, uint32_t bits) {
    if (isp) {
        return clipping ? tailForLayout<true, true>(wide, stereo, bits)
                        : tailForLayout<true, false>(wide, stereo, bits);
    }
    return clipping ? tailForLayout<false, true>(wide, stereo, bits)
                    : tailForLayout<false, false>(wide, stereo, bits);
}

namespace simd {

// True when this build has the vector loops and the CPU can run them.
bool available();

// Clears the first `frames` (rounded up to 8, at most kMaxRunFrames) entries of both accumulators.
void clearAccumulators(uint32_t* left, uint32_t* right, uint32_t frames);

// The tail for 16-bit output, eight frames at a time where it can; same contract as tailRun.
void tail16(TailState& t, bool isp, bool wide, bool stereo, bool clipping, uint32_t* left, uint32_t* right,
            uint32_t frames, uint8_t* out, std::atomic<int16_t>* levelLeft, std::atomic<int16_t>* levelRight);

}  // namespace simd

}  // namespace tarvex::mixkernels
