#include <gtest/gtest.h>

#include "core/PitchTables.h"
#include "ui/PatternFormat.h"

namespace tarvex {
namespace {

NoteCell cellAt(uint32_t row, uint32_t channel) {
    NoteCell cell;
    cell.row = row;
    cell.channel = channel;
    return cell;
}

TEST(PatternFormat, Cells) {
    NoteCell c4 = cellAt(0, 0);
    c4.period = PeriodTable[48].period;
    c4.octave = 4;
    c4.note = 0;
    c4.sample = 1;
    c4.volume = 64;
    c4.effect = 10;
    c4.param = 0x0F;
    EXPECT_EQ(formatCell(c4), "C-4 01v40 A0F | ");

    NoteCell volumeOnly = cellAt(0, 0);
    volumeOnly.volume = 0;
    EXPECT_EQ(formatCell(volumeOnly), "... ..v00 ... | ");

    NoteCell noteOff = cellAt(0, 0);  // note and octave 0: the first table entry's name
    noteOff.period = kNoteOff;
    noteOff.note = 0;
    EXPECT_EQ(formatCell(noteOff), "C-0 .. .. ... | ");

    NoteCell wide = cellAt(0, 0);
    wide.effect = 17;
    EXPECT_EQ(formatCell(wide), "... .. .. 1100 | ");

    NoteCell tooHigh = cellAt(0, 0);  // a MOD period above the table's highest note
    tooHigh.period = 10;
    tooHigh.sample = 0x1F;
    EXPECT_EQ(formatCell(tooHigh), "??? 1F .. ... | ");

    EXPECT_EQ(formatRowPrefix(0x3F), "3F ");
}

TEST(PatternFormat, Lines) {
    Module module;
    module.channelCount = 2;
    module.patternCount = 1;
    module.patterns.resize(1);
    NoteCell first = cellAt(1, 1);
    first.sample = 2;
    NoteCell duplicate = cellAt(1, 1);
    duplicate.sample = 3;
    NoteCell later = cellAt(5, 0);
    later.sample = 4;
    module.patterns[0] = {first, duplicate, later};

    const std::vector<std::string> lines = formatPatternLines(module, 0);
    ASSERT_EQ(lines.size(), 64u);
    EXPECT_EQ(lines[0], "00 ... .. .. ... | ... .. .. ... | ");
    EXPECT_EQ(lines[1], "01 ... .. .. ... | ... 02 .. ... | ");
    // The walk stalls at the duplicate: it and every later cell show as empty.
    EXPECT_EQ(lines[5], "05 ... .. .. ... | ... .. .. ... | ");

    module.patterns[0] = {first, later};
    const std::vector<std::string> page = formatPatternLines(module, 0, 44);
    ASSERT_EQ(page.size(), 20u);
    EXPECT_EQ(page.front().substr(0, 3), "2C ");
    EXPECT_EQ(formatPatternLines(module, 0)[5], "05 ... 04 .. ... | ... .. .. ... | ");
    EXPECT_TRUE(formatPatternLines(module, 1).empty());
}

}  // namespace
}  // namespace tarvex
