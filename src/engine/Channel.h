// The two operations every part of the engine uses to make a channel sound: setStep turns a period
// into a mixing step, applyVolume turns a channel volume into the two output volumes.
#pragma once

#include <algorithm>
#include <cstdint>

#include "engine/Engine.h"

namespace tarvex {

inline constexpr int32_t kMaxVolume = 64;
inline constexpr int kPanShift = 10;                   // pan factors are 0..1024 = 1 << kPanShift
inline constexpr uint32_t kPeriodScale = 16;           // engine periods are sixteen times an Amiga period
inline constexpr uint32_t kReferenceFrequency = 8363;  // Hz of a sample at period 428 x 16
// 8363 x 16: turns a PeriodTable value (a plain period) into a period x16 for a sample's frequency.
inline constexpr uint32_t kPlainPeriodFactor = kReferenceFrequency * kPeriodScale;

// stepBase = trunc(438272 / (rate / 8363)) * 16 (438272 = 428 * 1024): 1329792 at 44100 Hz.
uint32_t stepBaseForRate(uint32_t rate);

// step = stepBase / period as unsigned 32-bit (a negative period gives step 0); period 0 changes
// nothing. At 44100 Hz, period 6848 gives step 194.
inline void setStep(ChannelState& channel, uint32_t stepBase, int32_t period) {
    if (period == 0) return;
    channel.step = stepBase / static_cast<uint32_t>(period);
}

// Output volumes from a copy of volume clamped to 0..64: (v * pan) >> 10 for each side; the
// channel's own volume is left alone, so slides may carry it past 64 and back.
inline void applyVolume(ChannelState& channel, int32_t volume) {
    const int64_t v = std::clamp(volume, 0, kMaxVolume);
    // 64-bit products equal the 32-bit ones for every pan factor 0..2040 the engine can set.
    channel.leftVolume = static_cast<int32_t>((v * channel.leftPan) >> kPanShift);
    channel.rightVolume = static_cast<int32_t>((v * channel.rightPan) >> kPanShift);
}

// Two's-complement addition: periods and volumes have no limits and may run for an hour of slides.
inline int32_t wrappingAdd(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

}  // namespace tarvex
