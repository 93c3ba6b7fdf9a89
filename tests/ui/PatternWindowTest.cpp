#include <gtest/gtest.h>

#include "ViewerFakes.h"
#include "core/PitchTables.h"
#include "support/ModuleBuilder.h"

namespace tarvex {
namespace {

using test::FakePatternView;
using test::ModuleBuilder;

class PatternWindowTest : public ::testing::Test {
   protected:
    void load(const ModuleBuilder& song) { engine.module = song.build(); }

    Engine engine;
    FakePatternView view;
    PatternWindow window{engine, view};
};

TEST_F(PatternWindowTest, OpensOnPatternZeroWithTheCellTexts) {
    ModuleBuilder song(2);
    song.cell(0, 0, 0,
              {.period = PeriodTable[48].period, .sample = 1, .effect = 10, .param = 0x0F, .volume = 64});
    song.cell(0, 0, 1, {.volume = 0});
    song.cell(0, 1, 0, {.period = kNoteOff});
    song.cell(0, 1, 1, {.effect = 17});
    load(song);
    window.initialise();

    EXPECT_TRUE(window.isOpen());
    EXPECT_EQ(view.number, "00");
    ASSERT_EQ(view.lines.size(), 64u);
    EXPECT_EQ(view.lines[0], "00 C-4 01v40 A0F | ... ..v00 ... | ");
    // A note off shows the first table entry; effect 17 widens its cell to four hex digits.
    EXPECT_EQ(view.lines[1], "01 C-0 .. .. ... | ... .. .. 1100 | ");
    EXPECT_EQ(view.lines[63], "3F ... .. .. ... | ... .. .. ... | ");
    EXPECT_EQ(view.selected, -1);  // nothing selected until the song is followed
    // The scroll extent: 2 channels x width of "H" x 20.
    EXPECT_EQ(view.extent, 2 * 9 * 20);
    // Lines are added while redrawing is suspended.
    EXPECT_TRUE(view.redraw);
    EXPECT_EQ(view.linesWhileDrawing, 0);
}

TEST_F(PatternWindowTest, DuplicateCellStopsTheWalk) {
    ModuleBuilder song(2);
    song.cell(0, 1, 1, {.sample = 2});
    song.cell(0, 1, 1, {.sample = 3});  // same position: kept after the first
    song.cell(0, 5, 0, {.sample = 4});
    load(song);
    window.initialise();
    EXPECT_EQ(view.lines[1], "01 ... .. .. ... | ... 02 .. ... | ");
    EXPECT_EQ(view.lines[5], "05 ... .. .. ... | ... .. .. ... | ");
}

TEST_F(PatternWindowTest, FollowKeepsThePlayingRowOnTheTwelfthLine) {
    ModuleBuilder song(4);
    song.patternCount(3);
    load(song);
    window.followPosition(1, 5);  // closed: nothing
    EXPECT_EQ(window.pagesBuilt(), 0u);
    window.initialise();
    EXPECT_EQ(window.pagesBuilt(), 1u);

    struct Step {
        uint32_t pattern, row;
        uint32_t firstRowShown;  // hex prefix of the list's first line
        size_t lines;
        int selected;
        uint32_t pagesBuilt;  // rebuilt only when pattern or first row changes
    };
    const Step steps[] = {
        {1, 5, 0x00, 64, 5, 2},    // a new pattern: rows 0..63
        {1, 6, 0x00, 64, 6, 2},    // same page, only the selection moves
        {1, 11, 0x00, 64, 11, 2},  //
        {1, 12, 0x01, 63, 11, 3},  // from row 12 every row scrolls
        {1, 30, 0x13, 45, 11, 4},  // rows 19..63, twelfth line
        {1, 31, 0x14, 44, 11, 5},  //
        {1, 54, 0x2B, 21, 11, 6},  //
        {1, 55, 0x2C, 20, 11, 7},  // the last page: rows 44..63
        {1, 60, 0x2C, 20, 16, 7},  // seventeenth line, no rebuild
        {2, 60, 0x2C, 20, 16, 8},  // another pattern, same rows
        {0, 0, 0x00, 64, 0, 9},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(testing::Message() << "pattern " << s.pattern << " row " << s.row);
        window.followPosition(s.pattern, s.row);
        ASSERT_EQ(view.lines.size(), s.lines);
        char prefix[8];
        std::snprintf(prefix, sizeof prefix, "%02X ", s.firstRowShown);
        EXPECT_EQ(view.lines.front().substr(0, 3), prefix);
        EXPECT_EQ(view.selected, s.selected);
        EXPECT_EQ(window.pagesBuilt(), s.pagesBuilt);
    }
    EXPECT_EQ(view.linesWhileDrawing, 0);

    // Following leaves the browse index alone; a row past the pattern selects nothing; a pattern
    // that does not exist leaves the page as it is.
    EXPECT_EQ(window.browseIndex(), 0u);
    view.selected = -1;
    window.followPosition(2, 64);
    EXPECT_EQ(view.selected, -1);
    window.followPosition(3, 7);
    EXPECT_EQ(view.number, "02");
    EXPECT_EQ(view.selected, -1);

    window.close();
    window.followPosition(1, 20);
    EXPECT_EQ(view.number, "02");
}

TEST(PatternWindowFollow, FirstRowForEveryPatternLength) {
    struct Row {
        uint32_t row, rows, first;
    };
    const Row rows[] = {
        {5, 64, 0},    {11, 64, 0},   {12, 64, 1},     {54, 64, 43},    {55, 64, 44}, {63, 64, 44},
        {5, 16, 0},    {15, 16, 0},   {15, 20, 0},     {20, 21, 1},     {30, 32, 12}, {31, 32, 12},
        {99, 100, 80}, {60, 100, 49}, {255, 256, 236}, {200, 256, 189}, {0, 1, 0},
    };
    for (const Row& r : rows) EXPECT_EQ(followFirstRow(r.row, r.rows), r.first) << r.row << " of " << r.rows;
    EXPECT_EQ(followFirstRow(60), 44u);  // 64 rows when none are given
}

TEST_F(PatternWindowTest, FollowsXmPatternsOfTheirOwnRowCount) {
    ModuleBuilder song(32);
    song.patternCount(3);
    load(song);
    engine.module->formatType = kFormatXm;
    engine.module->patternRows = {16, 256, 64};
    window.initialise();
    EXPECT_EQ(view.lines.size(), 16u);
    EXPECT_EQ(view.extent, 32 * 9 * 20);

    struct Step {
        uint32_t pattern, row, firstRowShown;
        size_t lines;
        int selected;
    };
    const Step steps[] = {
        {0, 15, 0x00, 16, 15},
        {1, 200, 189, 67, 11},
        {1, 255, 236, 20, 19},
        {2, 60, 44, 20, 16},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(testing::Message() << "pattern " << s.pattern << " row " << s.row);
        window.followPosition(s.pattern, s.row);
        ASSERT_EQ(view.lines.size(), s.lines);
        char prefix[8];
        std::snprintf(prefix, sizeof prefix, "%02X ", s.firstRowShown);
        EXPECT_EQ(view.lines.front().substr(0, 3), prefix);
        EXPECT_EQ(view.selected, s.selected);
    }
    // Row 16 is past the end of a 16-row pattern: nothing to select.
    view.selected = -1;
    window.followPosition(0, 16);
    EXPECT_EQ(view.selected, -1);
}

TEST_F(PatternWindowTest, ShowsItPatternsOfAllSixtyFourChannels) {
    ModuleBuilder song(64);
    load(song);
    Module& module = *engine.module;
    module.formatType = kFormatIt;
    module.patternRows = {200};
    NoteCell last;
    last.row = 150;
    last.channel = 63;
    last.xmNote = kItNoteOff;
    last.sample = 1;
    insertCell(module, 0, last);
    window.initialise();
    // Wide enough for every channel's cell, as for the other formats.
    EXPECT_EQ(view.extent, 64 * 9 * 20);
    window.followPosition(0, 150);
    ASSERT_EQ(view.lines.size(), 200u - 139u);
    EXPECT_EQ(view.selected, 11);
    const std::string& line = view.lines[11];
    ASSERT_EQ(line.size(), 3u + 64u * 16u);
    EXPECT_EQ(line.substr(0, 3), "96 ");
    EXPECT_EQ(line.substr(3 + 63 * 16), "=== 01 .. ... | ");
}

TEST_F(PatternWindowTest, PreviousAndNextWrap) {
    ModuleBuilder song(4);
    song.patternCount(8);
    song.cell(7, 0, 0, {.sample = 7});
    load(song);
    window.initialise();
    window.previousPattern();
    EXPECT_EQ(window.browseIndex(), 7u);
    EXPECT_EQ(view.number, "07");
    EXPECT_EQ(view.lines[0], "00 ... 07 .. ... | ... .. .. ... | ... .. .. ... | ... .. .. ... | ");
    window.nextPattern();
    EXPECT_EQ(view.number, "00");
    window.nextPattern();
    EXPECT_EQ(view.number, "01");

    // The buttons step from their own index, not from the page the song was followed to.
    window.followPosition(5, 30);
    window.nextPattern();
    EXPECT_EQ(view.number, "02");
    EXPECT_EQ(view.lines.size(), 64u);

    // Each opening starts again at pattern 0, rebuilt although the page may look the same.
    window.previousPattern();
    window.previousPattern();
    window.close();
    const uint32_t built = window.pagesBuilt();
    window.initialise();
    EXPECT_EQ(window.browseIndex(), 0u);
    EXPECT_EQ(view.number, "00");
    EXPECT_EQ(window.pagesBuilt(), built + 1);
}

TEST_F(PatternWindowTest, NoPatterns) {
    ModuleBuilder song(4);
    song.patternCount(3);
    load(song);
    window.initialise();
    window.nextPattern();
    ASSERT_FALSE(view.lines.empty());
    window.close();

    engine.module->patternCount = 0;
    engine.module->patterns.clear();
    window.initialise();
    // The reused window does not keep the previous module's page.
    EXPECT_TRUE(view.lines.empty());
    EXPECT_EQ(view.number, "");
    window.previousPattern();
    window.nextPattern();
    window.followPosition(0, 3);
    EXPECT_EQ(window.browseIndex(), 0u);
    EXPECT_TRUE(view.lines.empty());
    EXPECT_EQ(window.shownPattern(), -1);
}

}  // namespace
}  // namespace tarvex
