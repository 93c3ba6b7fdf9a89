#include <gtest/gtest.h>

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
    // Octave 0 is sixteen times the Amiga octave; each octave halves the one before, except the
    // customary periods of E-7, G-7 and G#7.
    EXPECT_EQ(PeriodTable[0].period, 27392u);
    EXPECT_EQ(PeriodTable[11].period, 14496u);
    EXPECT_EQ(PeriodTable[7 * 12 + 4].period, 170u);
    EXPECT_EQ(PeriodTable[7 * 12 + 7].period, 143u);
    EXPECT_EQ(PeriodTable[7 * 12 + 8].period, 135u);
    EXPECT_EQ(PeriodTable[5 * 12 + 11].period, 453u);
    EXPECT_EQ(PeriodTable[10 * 12 + 9].period, 15u);
    EXPECT_EQ(PeriodTable[10 * 12 + 10].period, 15u);
    for (int k = 1; k < kPeriodCount; ++k) {
        EXPECT_LE(PeriodTable[k].period, PeriodTable[k - 1].period) << k;
        EXPECT_GT(PeriodTable[k].period, 0u) << k;
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
