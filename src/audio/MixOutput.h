// The per-frame tail of the mixer (private to src/audio): smoothing, wide-stereo cross-feed, the
// final shift, clipping, the level arrays and the PCM bytes, over the accumulators of one run.
#pragma once

#include <atomic>
#include <cstdint>

#include "audio/Mixer.h"

namespace tarvex::mixkernels {

inline constexpr int32_t kFullScaleMax = 8388607;   // 24-bit output range
inline constexpr int32_t kFullScaleMin = -8388608;

// ISP post filter: y = (x + previous y) / 2 on each side.
inline void smooth(uint32_t* acc, uint32_t frames, int32_t& memory) {
    int32_t m = memory;
    for (uint32_t k = 0; k < frames; ++k) {
        m = static_cast<int32_t>((static_cast<int64_t>(static_cast<int32_t>(acc[k])) + m) >> 1);
        acc[k] = static_cast<uint32_t>(m);
    }
    memory = m;
}

// Each side receives half of the other side's dry mix, delayed by wideDelayLength - 1 frames.
inline void crossFeed(MixState& mix, uint32_t* left, uint32_t* right, uint32_t frames) {
    int32_t* delayLeft = mix.wideDelayLeft.data();
    int32_t* delayRight = mix.wideDelayRight.data();
    const uint32_t length = mix.wideDelayLength;
    uint32_t readIndex = mix.wideReadIndex;
    uint32_t writeIndex = mix.wideWriteIndex;
    for (uint32_t k = 0; k < frames; ++k) {
        delayLeft[writeIndex] = static_cast<int32_t>(left[k]);
        delayRight[writeIndex] = static_cast<int32_t>(right[k]);
        if (++writeIndex == length) writeIndex = 0;
        right[k] += static_cast<uint32_t>(delayLeft[readIndex] >> 1);
        left[k] += static_cast<uint32_t>(delayRight[readIndex] >> 1);
        if (++readIndex == length) readIndex = 0;
    }
    mix.wideReadIndex = readIndex;
    mix.wideWriteIndex = writeIndex;
}

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
        out[0] = static_cast<uint8_t>(u >> 8);
        out[1] = static_cast<uint8_t>(u >> 16);
        return out + 2;
    } else {
        out[0] = static_cast<uint8_t>(u);
        out[1] = static_cast<uint8_t>(u >> 8);
        out[2] = static_cast<uint8_t>(u >> 16);
        return out + 3;
    }
}

struct LevelSink {
    std::atomic<int16_t>* left = nullptr;  // null when the arrays are gone or full
    std::atomic<int16_t>* right = nullptr;
    uint32_t room = 0;                     // entries left from left/right on
};

inline void putLevel(const LevelSink& levels, uint32_t k, int32_t l, int32_t r) {
    if (k >= levels.room) return;
    levels.left[k].store(static_cast<int16_t>(l >> 8), std::memory_order_relaxed);
    levels.right[k].store(static_cast<int16_t>(r >> 8), std::memory_order_relaxed);
}

// Shift, clip, levels and bytes for `frames` frames; returns the byte position after them.
template <uint32_t Bits, bool Stereo, bool Clipping>
inline uint8_t* writeFrames(const uint32_t* left, const uint32_t* right, uint32_t frames, uint8_t* out,
                            const LevelSink& levels) {
    for (uint32_t k = 0; k < frames; ++k) {
        int32_t l = static_cast<int32_t>(left[k]) >> kOutputShift;
        int32_t r = static_cast<int32_t>(right[k]) >> kOutputShift;
        if constexpr (Stereo) {
            if constexpr (Clipping) {
                l = clip(l);
                r = clip(r);
            }
            putLevel(levels, k, l, r);
            out = putSample<Bits>(out, l);
            out = putSample<Bits>(out, r);
        } else {
            int32_t x = static_cast<int32_t>(static_cast<uint32_t>(l) + static_cast<uint32_t>(r));
            if constexpr (Clipping) x = clip(x);
            putLevel(levels, k, x, x);
            out = putSample<Bits>(out, x);
        }
    }
    return out;
}

template <uint32_t Bits, bool Stereo>
inline uint8_t* writeFramesClip(bool clipping, const uint32_t* left, const uint32_t* right, uint32_t frames,
                                uint8_t* out, const LevelSink& levels) {
    return clipping ? writeFrames<Bits, Stereo, true>(left, right, frames, out, levels)
                    : writeFrames<Bits, Stereo, false>(left, right, frames, out, levels);
}

inline uint8_t* writeAnyFrames(uint32_t bits, bool stereo, bool clipping, const uint32_t* left,
                               const uint32_t* right, uint32_t frames, uint8_t* out, const LevelSink& levels) {
    if (bits == 8) {
        return stereo ? writeFramesClip<8, true>(clipping, left, right, frames, out, levels)
                      : writeFramesClip<8, false>(clipping, left, right, frames, out, levels);
    }
    if (bits == 24) {
        return stereo ? writeFramesClip<24, true>(clipping, left, right, frames, out, levels)
                      : writeFramesClip<24, false>(clipping, left, right, frames, out, levels);
    }
    return stereo ? writeFramesClip<16, true>(clipping, left, right, frames, out, levels)
                  : writeFramesClip<16, false>(clipping, left, right, frames, out, levels);
}

}  // namespace tarvex::mixkernels
