#include <gtest/gtest.h>

#include <vector>

#include "ui/StatusDisplay.h"

namespace tarvex {
namespace {

constexpr Rgb kGreen{0, 255, 0};
constexpr Rgb kRed{255, 0, 0};
constexpr Rgb kGrey{125, 125, 125};
constexpr Rgb kBlack{0, 0, 0};

// A song at order 10 of 16, pattern 1F, row 63, 125 BPM, speed 6, 5.4 s in; 25 ms segments
// rendered in 3 ms.
StatusValues someValues() {
    StatusValues v;
    v.renderMillis = 3;
    v.bufferLength = 200;
    v.nextOrder = 10;
    v.songLength = 16;
    v.currentPattern = 0x1F;
    v.row = 63;
    v.tempo = 125;
    v.speed = 6;
    v.playTime = 5'400'000;
    return v;
}

TEST(StatusTexts, FormatsEveryField) {
    StatusValues v = someValues();
    StatusTexts t = formatStatus(v);
    EXPECT_EQ(t.cpu, "12%");
    EXPECT_EQ(t.index, "0A/10");
    EXPECT_EQ(t.pattern, "1F");
    EXPECT_EQ(t.row, "3F");
    EXPECT_EQ(t.bpm, "125");
    EXPECT_EQ(t.speed, "6");
    EXPECT_EQ(t.time, " 0:05");

    v.nextOrder = 1;
    v.playTime = (3600u + 60u + 1u) * 1'000'000u;  // one hour, one minute, one second
    v.renderMillis = 40;                           // slower than real time
    t = formatStatus(v);
    EXPECT_EQ(t.index, "01/10");
    EXPECT_EQ(t.time, "61:01");
    EXPECT_EQ(t.cpu, "160%");
    v.playTime = 0xFFFFFFFFu;  // the wrap point of the microsecond counter, 71:34
    EXPECT_EQ(formatStatus(v).time, "71:34");
}

TEST(StatusTexts, SameTextsExactlyWhenTheFormattedTextsAgree) {
    const StatusValues base = someValues();
    const struct {
        const char* change;
        void (*apply)(StatusValues&);
    } rows[] = {
        {"nothing", [](StatusValues&) {}},
        {"a later microsecond", [](StatusValues& v) { v.playTime = 5'999'999; }},
        {"the next second", [](StatusValues& v) { v.playTime = 6'000'000; }},
        {"a render time of the same percentage", [](StatusValues& v) { v.bufferLength = 201; }},
        {"a render time of another percentage", [](StatusValues& v) { v.renderMillis = 4; }},
        {"order", [](StatusValues& v) { v.nextOrder = 11; }},
        {"song length", [](StatusValues& v) { v.songLength = 17; }},
        {"pattern", [](StatusValues& v) { v.currentPattern = 0x20; }},
        {"row", [](StatusValues& v) { v.row = 0; }},
        {"tempo", [](StatusValues& v) { v.tempo = 126; }},
        {"speed", [](StatusValues& v) { v.speed = 7; }},
    };
    for (const auto& row : rows) {
        StatusValues v = base;
        row.apply(v);
        const StatusTexts a = formatStatus(base);
        const StatusTexts b = formatStatus(v);
        const bool same = a.cpu == b.cpu && a.index == b.index && a.pattern == b.pattern && a.row == b.row &&
                          a.bpm == b.bpm && a.speed == b.speed && a.time == b.time;
        EXPECT_EQ(sameStatusTexts(base, v), same) << row.change;
        EXPECT_EQ(sameStatusTexts(v, base), same) << row.change;
    }
}

TEST(ScopeGeometry, ScaleOneForPlotHeights64To127) {
    // Rows are plot heights (yB - yT, which is the panel height), with the scale and zero line.
    struct Row {
        int height;
        uint32_t scale;
        int zeroAboveBottom;
    };
    const Row rows[] = {{63, 0, 0}, {64, 1, 31}, {73, 1, 31}, {127, 1, 31}, {128, 2, 63}};
    for (const Row& row : rows) {
        const ScopeGeometry g = ScopeGeometry::forPanel(81, row.height);
        EXPECT_EQ(g.scaleQ10, row.scale) << row.height;
        EXPECT_EQ(g.yBottom, row.height - 1);
        EXPECT_EQ(g.yTop, -1);
        EXPECT_EQ(g.yBottom - g.zeroLine, row.zeroAboveBottom) << row.height;
    }
}

class ScopeTest : public ::testing::Test {
   protected:
    void SetUp() override { panels.setUp(20, 70, 40, 70); }

    bool refresh(std::vector<int16_t> left, std::vector<int16_t> right, bool stopped = false) {
        left_ = std::move(left);
        right_ = std::move(right);
        return panels.refresh(LevelBuffer{left_.data(), right_.data(), uint32_t(left_.size())}, stopped);
    }

    StatusPanels panels;
    std::vector<int16_t> left_;
    std::vector<int16_t> right_;
};

TEST_F(ScopeTest, PlotsEachFrameWithItsColour) {
    // Four frames across x = 0..18: step = 19 * 1024 / 4 = 4864, so x = 0, 4, 9, 14.
    refresh({0, -32768, 32767, 16384}, {0, 0, 0, -16384});
    const Raster& l = panels.leftScope();
    const int yB = 69;
    EXPECT_EQ(l.pixel(0, yB - 31), kGreen);               // silence sits on the zero line, pure green
    EXPECT_EQ(l.pixel(4, yB), kRed);                      // -32768 on the bottom row, full red
    EXPECT_EQ(l.pixel(9, yB - 63), kRed);                 // 32767 at yB - 65534 / 1024
    EXPECT_EQ(l.pixel(14, yB - 47), (Rgb{127, 128, 0}));  // 16384 * 255 / 32767 = 127
    EXPECT_EQ(panels.rightScope().pixel(14, yB - 15), (Rgb{127, 128, 0}));  // the sign does not matter
    // The zero line runs from x = R - 1 = 19 towards x = 0, its undrawn end point; the points
    // of the trace go over it.
    EXPECT_EQ(panels.rightScope().pixel(19, yB - 31), kGrey);
    EXPECT_EQ(panels.rightScope().pixel(1, yB - 31), kGrey);
    EXPECT_EQ(panels.rightScope().pixel(0, yB - 31), kGreen);
    EXPECT_EQ(panels.rightScope().pixel(4, yB - 31), kGreen);
    EXPECT_EQ(l.pixel(5, yB - 31), kGrey);
    EXPECT_EQ(l.pixel(5, 0), kBlack);
}

TEST_F(ScopeTest, NextRefreshErasesTheTrace) {
    refresh({-32768}, {-32768});
    EXPECT_EQ(panels.leftScope().pixel(0, 69), kRed);
    refresh({}, {});  // no frames: only the cleared panel with its zero line
    EXPECT_EQ(panels.leftScope().pixel(0, 69), kBlack);
    EXPECT_EQ(panels.leftScope().pixel(3, 69 - 31), kGrey);
}

TEST_F(ScopeTest, AbsentLevelArraysDrawNoPoints) {
    left_ = {32767};
    panels.refresh(LevelBuffer{left_.data(), nullptr, 1}, false);
    EXPECT_EQ(panels.leftScope().pixel(0, 69 - 63), kBlack);
    EXPECT_EQ(panels.holdValue(0), 0);
}

// The meter panel 40 x 70: bars from y = 65 up H = 60 rows, left bar at x = 5, right at x = 25.
TEST_F(ScopeTest, SilenceLeavesBothBarsAtHalfBrightness) {
    refresh(std::vector<int16_t>(8, 0), std::vector<int16_t>(8, 0));
    const Raster& m = panels.meter();
    EXPECT_EQ(panels.meterGeometry().barHeight, 60);
    EXPECT_EQ(m.pixel(5, 65), (Rgb{0, 127, 0}));  // bottom row: g = 0, halved green
    EXPECT_EQ(m.pixel(34, 6), (Rgb{125, 2, 0}));  // top row i = 59: g = 250
    EXPECT_EQ(panels.holdCounter(0), 0);
}

TEST_F(ScopeTest, FullScalePeakReachesTheTopRow) {
    refresh({-32768}, {32767});
    const Raster& m = panels.meter();
    // level = H - 1 = 59: rows 0..58 bright, row 59 dim but covered by the hold marker.
    EXPECT_EQ(panels.holdValue(0), 59);
    EXPECT_EQ(panels.holdValue(1), 59);
    EXPECT_EQ(m.pixel(5, 65), kGreen);
    EXPECT_EQ(m.pixel(14, 65 - 58), (Rgb{246, 9, 0}));  // row 58: 58 * 255 / 60 = 246
    EXPECT_EQ(m.pixel(34, 65 - 59), (Rgb{250, 5, 0}));  // row 59: the marker, 59 * 255 / 60
}

TEST_F(ScopeTest, HoldMarkersStayTenRefreshesThenReset) {
    // Peak 16384 gives level 60 * 16384 * 1024 / 32767 / 1024 = 30; marker colour 30 * 255 / 60.
    const Rgb marker{127, 128, 0};
    refresh({16384}, {0});
    EXPECT_EQ(panels.holdValue(0), 30);
    EXPECT_EQ(panels.meter().pixel(5, 65 - 30), marker);
    // Silence follows: the marker stays for nine more refreshes, then vanishes for one.
    struct Row {
        int refresh;
        int counterAfter;
        bool markerDrawn;
    };
    const Row rows[] = {{2, 8, true}, {5, 5, true}, {10, 0, true}, {11, 0, false}, {12, 0, false}};
    int done = 1;
    for (const Row& row : rows) {
        while (done < row.refresh) {
            refresh({0}, {0});
            ++done;
        }
        EXPECT_EQ(panels.holdCounter(0), row.counterAfter) << row.refresh;
        EXPECT_EQ(panels.meter().pixel(5, 65 - 30) == marker, row.markerDrawn) << row.refresh;
    }
    EXPECT_EQ(panels.holdValue(0), 0);
    // A rise restarts the hold at the new level.
    refresh({8192}, {0});
    EXPECT_EQ(panels.holdValue(0), 15);
    EXPECT_EQ(panels.holdCounter(0), 9);
}

TEST_F(ScopeTest, StopClearsTheScopesAndFreezes) {
    refresh({32767}, {32767});
    EXPECT_TRUE(refresh({32767}, {32767}, true));
    EXPECT_EQ(panels.leftScope().pixel(0, 69 - 63), kBlack);  // nothing plotted once stopped
    EXPECT_EQ(panels.leftScope().pixel(0, 69 - 31), kBlack);  // (x = 0 is the zero line's end point)
    EXPECT_EQ(panels.leftScope().pixel(1, 69 - 31), kGrey);
    EXPECT_EQ(panels.meter().pixel(5, 65), (Rgb{0, 127, 0}));  // level 0
    EXPECT_FALSE(refresh({0}, {0}));
}

TEST_F(ScopeTest, ARefreshReportsOnlyThePanelsItChanged) {
    // A buffer is shown again and again until the next one comes, and the bars' marker lives on
    // for ten refreshes: each refresh names only the panels whose pixels differ from before.
    const struct {
        int16_t left;
        bool stopped;
        bool leftScope, rightScope, meter;
    } steps[] = {
        {16384, false, true, true, true},     // the first picture
        {16384, false, false, false, false},  // the same buffer: nothing moves
        {0, false, true, false, true},        // a new trace on the left, its bar drops below the marker
        {0, false, false, false, false},      // marker counter 6
        {0, false, false, false, false},      // 5
        {0, false, false, false, false},      // 4
        {0, false, false, false, false},      // 3
        {0, false, false, false, false},      // 2
        {0, false, false, false, false},      // 1
        {0, false, false, false, false},      // 0
        {0, false, false, false, true},       // the marker vanishes
        {0, false, false, false, false},      // and stays away
        {0, true, true, true, false},         // stopped: both traces cleared, the bars already at 0
        {0, false, true, true, false},        // playing again: the points are back
    };
    int step = 0;
    Raster firstLeft;
    Raster firstMeter;
    for (const auto& s : steps) {
        refresh({s.left}, {0}, s.stopped);
        EXPECT_EQ(panels.changes().leftScope, s.leftScope) << step;
        EXPECT_EQ(panels.changes().rightScope, s.rightScope) << step;
        EXPECT_EQ(panels.changes().meter, s.meter) << step;
        if (step == 0) {
            firstLeft = panels.leftScope();
            firstMeter = panels.meter();
        }
        ++step;
    }
    // The first buffer again draws the first picture, pixel for pixel.
    refresh({16384}, {0});
    EXPECT_TRUE(panels.changes().leftScope);
    EXPECT_TRUE(panels.leftScope() == firstLeft);
    EXPECT_TRUE(panels.meter() == firstMeter);
}

}  // namespace
}  // namespace tarvex
