#include <gtest/gtest.h>

#include "core/EffectCodes.h"
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

NoteCell xmCell(uint8_t note, uint32_t instrument, uint8_t volumeCommand, uint8_t volumeParam, uint8_t effect,
                uint8_t param) {
    NoteCell cell;
    cell.xmNote = note;
    cell.period = note == 0 ? 0 : note == kXmKeyOff ? kNoteOff : 428;  // what the reader's table gives
    cell.sample = instrument;
    cell.volumeCommand = volumeCommand;
    cell.volumeParam = volumeParam;
    cell.effect = effect;
    cell.param = param;
    return cell;
}

TEST(PatternFormat, XmCells) {
    struct Row {
        NoteCell cell;
        const char* text;
    };
    const Row rows[] = {
        {xmCell(0, 0, kVolumeNone, 0, 0, 0), "... .. .. ... | "},
        {xmCell(1, 1, kVolumeNone, 0, 0, 0), "C-0 01 .. ... | "},
        {xmCell(49, 0x80, kVolumeSet, 64, 0, 0), "C-4 80v40 ... | "},
        {xmCell(96, 0, kVolumeSet, 0, 0, 0), "B-7 ..v00 ... | "},
        {xmCell(12, 0, kVolumeNone, 0, 0, 0), "B-0 .. .. ... | "},
        {xmCell(14, 0, kVolumeNone, 0, 0, 0), "C#1 .. .. ... | "},
        {xmCell(kXmKeyOff, 0, kVolumeNone, 0, 0, 0), "=== .. .. ... | "},
        {xmCell(0, 0, kVolumeSlideDown, 3, 0, 0), "... ..v-3 ... | "},
        {xmCell(0, 0, kVolumeSlideUp, 0xF, 0, 0), "... ..v+F ... | "},
        {xmCell(0, 0, kVolumeFineDown, 1, 0, 0), "... ..f-1 ... | "},
        {xmCell(0, 0, kVolumeFineUp, 2, 0, 0), "... ..f+2 ... | "},
        {xmCell(0, 0, kVolumeVibratoSpeed, 5, 0, 0), "... ..~s5 ... | "},
        {xmCell(0, 0, kVolumeVibratoDepth, 6, 0, 0), "... ..~d6 ... | "},
        {xmCell(0, 0, kVolumeSetPanning, 0xC, 0, 0), "... ..pC0 ... | "},
        {xmCell(0, 0, kVolumePanSlideLeft, 4, 0, 0), "... ..p<4 ... | "},
        {xmCell(0, 0, kVolumePanSlideRight, 7, 0, 0), "... ..p>7 ... | "},
        {xmCell(0, 0, kVolumeTonePorta, 9, 0, 0), "... ..tp9 ... | "},
        {xmCell(0, 0, kVolumeNone, 0, kVolumeSlide, 0x0F), "... .. .. A0F | "},
        {xmCell(0, 0, kVolumeNone, 0, kExtended, 0x91), "... .. .. E91 | "},
        {xmCell(0, 0, kVolumeNone, 0, kSetSpeed, 0x7D), "... .. .. F7D | "},
        {xmCell(0, 0, kVolumeNone, 0, kArpeggio, 0x37), "... .. .. 037 | "},
        {xmCell(0, 0, kVolumeNone, 0, kSetGlobalVolume, 0x40), "... .. .. G40 | "},
        {xmCell(0, 0, kVolumeNone, 0, kGlobalVolumeSlide, 0x0A), "... .. .. H0A | "},
        {xmCell(0, 0, kVolumeNone, 0, kKeyOff, 0x03), "... .. .. K03 | "},
        {xmCell(0, 0, kVolumeNone, 0, kSetEnvelopePosition, 0x10), "... .. .. L10 | "},
        {xmCell(0, 0, kVolumeNone, 0, kPanningSlide, 0xF0), "... .. .. PF0 | "},
        {xmCell(0, 0, kVolumeNone, 0, kMultiRetrigger, 0x83), "... .. .. R83 | "},
        {xmCell(0, 0, kVolumeNone, 0, kTremor, 0x21), "... .. .. T21 | "},
        {xmCell(0, 0, kVolumeNone, 0, kExtraFinePortamentoUp, 0x2), "... .. .. X12 | "},
        {xmCell(0, 0, kVolumeNone, 0, kExtraFinePortamentoDown, 0xF), "... .. .. X2F | "},
        {xmCell(0, 0, kVolumeNone, 0, kGlobalVolumeSlide, 0), "... .. .. H00 | "},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(formatCell(row.cell, kFormatXm), row.text);
        EXPECT_EQ(formatCell(row.cell, kFormatXm).size(), 16u);
    }
    // The same cell in a MOD's form: XM's fields are not read there.
    EXPECT_EQ(formatCell(xmCell(kXmKeyOff, 0, kVolumeSet, 64, kSetGlobalVolume, 1)), "??? .. .. 1A01 | ");
}

TEST(PatternFormat, XmPatternsHaveTheirOwnRowCountAndUpTo32Channels) {
    Module module;
    module.formatType = kFormatXm;
    module.channelCount = 32;
    module.patternCount = 3;
    module.patterns.resize(3);
    module.patternRows = {1, 256, 100};
    NoteCell last = xmCell(kXmKeyOff, 2, kVolumeNone, 0, kTremor, 0x11);
    last.row = 255;
    last.channel = 31;
    module.patterns[1] = {last};

    struct Row {
        uint32_t pattern, firstRow;
        size_t lines;
    };
    for (const Row& row : {Row{0, 0, 1}, Row{1, 0, 256}, Row{2, 0, 100}, Row{1, 236, 20}, Row{2, 99, 1}}) {
        SCOPED_TRACE(row.pattern * 1000 + row.firstRow);
        const std::vector<std::string> lines = formatPatternLines(module, row.pattern, row.firstRow);
        ASSERT_EQ(lines.size(), row.lines);
        EXPECT_EQ(lines.front().substr(0, 3), formatRowPrefix(row.firstRow));
        EXPECT_EQ(lines.back().size(), 3u + 32u * 16u);
    }
    const std::vector<std::string> lines = formatPatternLines(module, 1);
    EXPECT_EQ(lines.back().substr(0, 3), "FF ");
    EXPECT_EQ(lines.back().substr(3 + 31 * 16), "=== 02 .. T11 | ");
    EXPECT_EQ(lines[254].substr(3 + 31 * 16), std::string(kEmptyCellText));
}

NoteCell itCell(uint8_t note, uint32_t instrument, uint8_t volumeCommand, uint8_t volumeParam, char letter,
                uint8_t param) {
    NoteCell cell;
    cell.xmNote = note;
    cell.sample = instrument;
    cell.volumeCommand = volumeCommand;
    cell.volumeParam = volumeParam;
    cell.effect = letter == 0 ? 0 : itEffect(letter);
    cell.param = param;
    return cell;
}

TEST(PatternFormat, ItCells) {
    struct Row {
        NoteCell cell;
        const char* text;
    };
    const Row rows[] = {
        {itCell(0, 0, kVolumeNone, 0, 0, 0), "... .. .. ... | "},
        {itCell(1, 1, kVolumeNone, 0, 0, 0), "C-0 01 .. ... | "},
        {itCell(61, 0x63, kVolumeSet, 64, 'A', 6), "C-5 63v64 A06 | "},
        {itCell(120, 0, kVolumeSet, 0, 0, 0), "B-9 ..v00 ... | "},
        {itCell(97, 0, kVolumeNone, 0, 0, 0), "C-8 .. .. ... | "},
        {itCell(110, 0, kVolumeNone, 0, 0, 0), "C#9 .. .. ... | "},
        {itCell(kItNoteCut, 0, kVolumeNone, 0, 0, 0), "^^^ .. .. ... | "},
        {itCell(kItNoteOff, 2, kVolumeNone, 0, 0, 0), "=== 02 .. ... | "},
        {itCell(kItNoteFade, 0, kVolumeNone, 0, 0, 0), "~~~ .. .. ... | "},
        // Note numbers between B-9 and the fade are none.
        {itCell(121, 0, kVolumeNone, 0, 0, 0), "... .. .. ... | "},
        {itCell(0, 0, kVolumeItPanning, 32, 0, 0), "... ..p32 ... | "},
        {itCell(0, 0, kVolumeSlideUp, 5, 0, 0), "... ..a05 ... | "},
        {itCell(0, 0, kVolumeSlideDown, 9, 0, 0), "... ..b09 ... | "},
        {itCell(0, 0, kVolumeFineUp, 1, 0, 0), "... ..c01 ... | "},
        {itCell(0, 0, kVolumeFineDown, 0, 0, 0), "... ..d00 ... | "},
        {itCell(0, 0, kVolumeItPortaDown, 3, 0, 0), "... ..e03 ... | "},
        {itCell(0, 0, kVolumeItPortaUp, 4, 0, 0), "... ..f04 ... | "},
        {itCell(0, 0, kVolumeItTonePorta, 7, 0, 0), "... ..g07 ... | "},
        {itCell(0, 0, kVolumeItVibrato, 8, 0, 0), "... ..h08 ... | "},
        // XM's own volume commands have no IT form.
        {itCell(0, 0, kVolumeVibratoSpeed, 8, 0, 0), "... .. .. ... | "},
        {itCell(0, 0, kVolumeSet, 200, 0, 0), "... ..v?? ... | "},
        {itCell(0, 0, kVolumeNone, 0, 'D', 0), "... .. .. D00 | "},
        {itCell(0, 0, kVolumeNone, 0, 'S', 0xB1), "... .. .. SB1 | "},
        {itCell(0, 0, kVolumeNone, 0, 'Z', 0xFF), "... .. .. ZFF | "},
        {itCell(0, 0, kVolumeNone, 0, 'T', 0x7D), "... .. .. T7D | "},
        // Codes below IT's letters show as the other formats show them.
        {itCell(0, 0, kVolumeNone, 0, 0, 0x37), "... .. .. 037 | "},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(formatCell(row.cell, kFormatIt), row.text);
        EXPECT_EQ(formatCell(row.cell, kFormatIt).size(), 16u);
    }
    EXPECT_EQ(noteNameOfIndex(0), "C-0");
    EXPECT_EQ(noteNameOfIndex(119), "B-9");
    EXPECT_EQ(noteNameOfIndex(120), "???");
}

TEST(PatternFormat, ItPatternsOfUpTo64Channels) {
    Module module;
    module.formatType = kFormatIt;
    module.channelCount = 64;
    module.patternCount = 1;
    module.patterns.resize(1);
    module.patternRows = {200};
    NoteCell first = itCell(kItNoteCut, 0, kVolumeNone, 0, 'C', 0);
    first.channel = 32;
    NoteCell last = itCell(61, 1, kVolumeSet, 10, 'B', 2);
    last.row = 199;
    last.channel = 63;
    module.patterns[0] = {first, last};
    const std::vector<std::string> lines = formatPatternLines(module, 0);
    ASSERT_EQ(lines.size(), 200u);
    for (const std::string& line : lines) EXPECT_EQ(line.size(), 3u + 64u * 16u);
    EXPECT_EQ(lines[0].substr(3 + 32 * 16, 16), "^^^ .. .. C00 | ");
    EXPECT_EQ(lines[0].substr(3 + 31 * 16, 16), std::string(kEmptyCellText));
    EXPECT_EQ(lines[199].substr(0, 3), "C7 ");
    EXPECT_EQ(lines[199].substr(3 + 63 * 16), "C-5 01v10 B02 | ");
}

}  // namespace
}  // namespace tarvex
