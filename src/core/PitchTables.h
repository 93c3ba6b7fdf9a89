// Pitch and waveform tables shared by the readers, the effects and the windows.
//
// Periods here are sixteen times an Amiga-style period: PeriodTable[72] is "C-6" with 6848 / 16 = 428,
// and a plain note period of 428 plays a sample at its base frequency. Octave o + 4 holds, to within
// one unit, the plain periods of octave o, so PeriodTable[k + 48] is about PeriodTable[k] / 16; the
// readers and glissando rely on that double reading.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace tarvex {

struct PeriodEntry {
    char name[4];     // "C-0" .. "H-A", zero-terminated
    uint32_t period;  // sixteen times an Amiga period
};

inline constexpr int kPeriodCount = 132;
extern const std::array<PeriodEntry, kPeriodCount> PeriodTable;

// Base frequency in Hz for each finetune nibble: 0 plain, 1..7 sharper, 8..15 flatter.
extern const std::array<uint32_t, 16> FinetuneTable;

// First half of a sine cycle scaled to 255; vibrato and tremolo add the sign of the second half.
extern const std::array<int32_t, 32> SineTable;

// Name of the entry whose period equals value exactly, "^^^" for the key-off value -1, none otherwise.
std::optional<std::string_view> noteName(int32_t value);

// First entry whose period is <= value (unsigned), i.e. the note at value or the next one up;
// -1 when value is below 14. noteIndex(428) = 72, noteIndex(427) = 73, noteIndex(0) = -1.
int32_t noteIndex(uint32_t value);

// Period of the table entry nearest to p; a tie goes to the larger period. -1 stays -1.
// Callers must not pass 0..13, where no entry qualifies (glissando keeps its own value there).
int32_t nearestNotePeriod(int32_t p);

// baseFrequency * 428 / 8363 in unsigned 32-bit arithmetic: 8363 Hz gives 428, 44100 Hz gives 2256.
uint32_t frequencyToBasePeriod(uint32_t frequency);

}  // namespace tarvex
