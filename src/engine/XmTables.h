// Integer tables of instrument playback (see XmTables.cpp).
#pragma once

#include <array>
#include <cstdint>

namespace tarvex::xm {

// 8363 x 1024 x 2^(r / 768): the frequency, in 1/1024 Hz, of a sample r/768 octave above its base.
extern const std::array<uint32_t, 768> kLinearFrequency1024;
// 1712 x 65536 x 2^(-i / 192): the Amiga period i/16 semitone above C-4 (period 1712), x 65536.
extern const std::array<uint32_t, 192> kAmigaPeriod65536;
// sqrt(i / 256) x 65536: the gain of one side at panning i (0..256) under the square-root law.
extern const std::array<uint32_t, 257> kPanGain;
// sin(2 pi i / 256) x 64: the auto-vibrato's waveform.
extern const std::array<int8_t, 256> kAutoVibratoSine;

// The volume (0..64) after a multi-retrigger's step x (the high nibble of Rxy in XM, Qxy in IT).
int32_t retriggerVolume(int32_t volume, uint8_t x);

}  // namespace tarvex::xm
