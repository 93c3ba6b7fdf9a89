#include "core/PitchTables.h"

#include <cstdlib>

namespace tarvex {

namespace {

constexpr std::array<uint32_t, 12> kOctaveZero = {1712 * 16, 1616 * 16, 1524 * 16, 1440 * 16,
                                                  1356 * 16, 1280 * 16, 1208 * 16, 1140 * 16,
                                                  1076 * 16, 1016 * 16, 960 * 16,  906 * 16};
constexpr char kNoteLetters[12][3] = {"C-", "C#", "D-", "D#", "E-", "F-", "F#", "G-", "G#", "A-", "A#", "H-"};

constexpr std::array<PeriodEntry, kPeriodCount> buildPeriodTable() {
    std::array<PeriodEntry, kPeriodCount> table{};
    for (int k = 0; k < kPeriodCount; ++k) {
        const int octave = k / 12;
        const int note = k % 12;
        table[k].name[0] = kNoteLetters[note][0];
        table[k].name[1] = kNoteLetters[note][1];
        table[k].name[2] = static_cast<char>(octave < 10 ? '0' + octave : 'A');
        table[k].name[3] = 0;
        // Each octave halves the one before it, remainder dropped: the octaves above 7 follow the
        // customary Amiga periods of E-7, G-7 and G#7, which differ from plain halving (E-8 is 85).
        table[k].period = octave == 0 ? kOctaveZero[note] : table[k - 12].period / 2;
        if (k == 7 * 12 + 4) table[k].period = 170;
        if (k == 7 * 12 + 7) table[k].period = 143;
        if (k == 7 * 12 + 8) table[k].period = 135;
    }
    return table;
}

}  // namespace

const std::array<PeriodEntry, kPeriodCount> PeriodTable = buildPeriodTable();

const std::array<uint32_t, 16> FinetuneTable = {8363, 8413, 8463, 8529, 8581, 8651, 8723, 8757,
                                                7895, 7941, 7985, 8046, 8107, 8169, 8232, 8280};

const std::array<int32_t, 32> SineTable = {0,   24,  49,  74,  97,  120, 141, 161, 180, 197, 212,
                                           224, 235, 244, 250, 253, 255, 253, 250, 244, 235, 224,
                                           212, 197, 180, 161, 141, 120, 97,  74,  49,  24};

std::optional<std::string_view> noteName(int32_t value) {
    if (value == -1) return std::string_view("^^^");
    for (const PeriodEntry& entry : PeriodTable) {
        if (entry.period == static_cast<uint32_t>(value)) return std::string_view(entry.name, 3);
    }
    return std::nullopt;
}

int32_t noteIndex(uint32_t value) {
    for (int k = 0; k < kPeriodCount; ++k) {
        if (PeriodTable[k].period <= value) return k;
    }
    return -1;
}

int32_t nearestNotePeriod(int32_t p) {
    if (p == -1) return -1;
    const int32_t k = noteIndex(static_cast<uint32_t>(p));
    if (k < 0) return p;
    const int64_t a = PeriodTable[k].period;
    const int64_t da = std::llabs(p - a);
    const int64_t db = k > 0 ? std::llabs(p - static_cast<int64_t>(PeriodTable[k - 1].period)) : da + 1;
    return static_cast<int32_t>(da < db ? a : PeriodTable[k - 1].period);
}

uint32_t frequencyToBasePeriod(uint32_t frequency) {
    return frequency * 428u / 8363u;
}

}  // namespace tarvex
