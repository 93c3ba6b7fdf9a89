#include <gtest/gtest.h>

#include <string>

#include "core/PitchTables.h"

namespace tarvex {
namespace {

TEST(PitchTables, NoteNamesAndIndexes) {
    EXPECT_EQ(noteName(428), "C-6");
    EXPECT_EQ(noteName(6848), "C-2");
    EXPECT_EQ(noteName(15), "A-A");  // the first of the two entries holding 15
    EXPECT_EQ(noteName(-1), "^^^");
    EXPECT_FALSE(noteName(427).has_value());
    EXPECT_EQ(std::string_view(PeriodTable[0].name), "C-0");
    EXPECT_EQ(std::string_view(PeriodTable[131].name), "H-A");
    EXPECT_EQ(std::string_view(PeriodTable[13].name), "C#1");

    EXPECT_EQ(noteIndex(428), 72);
    EXPECT_EQ(noteIndex(427), 73);  // 404 is the first value not above it
    EXPECT_EQ(noteIndex(27392), 0);
    EXPECT_EQ(noteIndex(14), 131);
    EXPECT_EQ(noteIndex(13), -1);
    EXPECT_EQ(noteIndex(0), -1);
    EXPECT_EQ(noteIndex(0xFFFFFFFFu), 0);  // note off compares above every entry
}

TEST(PitchTables, PeriodValues) {
    // The whole table, one octave per line: C- C# D- D# E- F- F# G- G# A- A# H-.
    constexpr uint32_t kExpected[kPeriodCount] = {
        27392, 25856, 24384, 23040, 21696, 20480, 19328, 18240, 17216, 16256, 15360, 14496,  // 0
        13696, 12928, 12192, 11520, 10848, 10240, 9664,  9120,  8608,  8128,  7680,  7248,   // 1
        6848,  6464,  6096,  5760,  5424,  5120,  4832,  4560,  4304,  4064,  3840,  3624,   // 2
        3424,  3232,  3048,  2880,  2712,  2560,  2416,  2280,  2152,  2032,  1920,  1812,   // 3
        1712,  1616,  1524,  1440,  1356,  1280,  1208,  1140,  1076,  1016,  960,   906,    // 4
        856,   808,   762,   720,   678,   640,   604,   570,   538,   508,   480,   453,    // 5
        428,   404,   381,   360,   339,   320,   302,   285,   269,   254,   240,   226,    // 6
        214,   202,   190,   180,   170,   160,   151,   143,   135,   127,   120,   113,    // 7
        107,   101,   95,    90,    85,    80,    75,    71,    67,    63,    60,    56,     // 8
        53,    50,    47,    45,    42,    40,    37,    35,    33,    31,    30,    28,     // 9
        26,    25,    23,    22,    21,    20,    18,    17,    16,    15,    15,    14,     // A
    };
    constexpr const char* kNotes[12] = {"C-", "C#", "D-", "D#", "E-", "F-",
                                        "F#", "G-", "G#", "A-", "A#", "H-"};
    for (int k = 0; k < kPeriodCount; ++k) {
        const std::string name = std::string(kNotes[k % 12]) + "0123456789A"[k / 12];
        EXPECT_EQ(PeriodTable[k].period, kExpected[k]) << name;
        EXPECT_EQ(std::string_view(PeriodTable[k].name), name) << k;
    }
}

TEST(PitchTables, NearestNoteAndBasePeriod) {
    EXPECT_EQ(nearestNotePeriod(416), 428);  // 12 from 404 and 428: the tie goes to the larger
    EXPECT_EQ(nearestNotePeriod(2000), 2032);
    EXPECT_EQ(nearestNotePeriod(428), 428);
    EXPECT_EQ(nearestNotePeriod(-1), -1);

    EXPECT_EQ(frequencyToBasePeriod(8363), 428u);
    EXPECT_EQ(frequencyToBasePeriod(44100), 2256u);
    EXPECT_EQ(frequencyToBasePeriod(22050), 1128u);
    EXPECT_EQ(frequencyToBasePeriod(0), 0u);

    EXPECT_EQ(FinetuneTable[0], 8363u);
    EXPECT_EQ(FinetuneTable[8], 7895u);
    EXPECT_EQ(FinetuneTable[15], 8280u);
    EXPECT_EQ(SineTable[16], 255);
    EXPECT_EQ(SineTable[31], 24);
}

}  // namespace
}  // namespace tarvex
