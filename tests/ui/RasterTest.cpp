#include <gtest/gtest.h>

#include "ui/DialogUnits.h"
#include "ui/Raster.h"

namespace tarvex {
namespace {

constexpr Rgb kWhite{255, 255, 255};

// Lists the set pixels of a raster as "x,y" pairs in row order.
std::vector<std::pair<int, int>> setPixels(const Raster& r) {
    std::vector<std::pair<int, int>> out;
    for (int y = 0; y < r.height(); ++y)
        for (int x = 0; x < r.width(); ++x)
            if (r.pixel(x, y) == kWhite) out.emplace_back(x, y);
    return out;
}

TEST(Raster, LinesLeaveTheirEndPointUndrawn) {
    Raster r(8, 8);
    r.line(6, 2, 1, 2, kWhite);  // horizontal, right to left
    EXPECT_EQ(setPixels(r), (std::vector<std::pair<int, int>>{{2, 2}, {3, 2}, {4, 2}, {5, 2}, {6, 2}}));

    Raster v(4, 4);
    v.line(1, 0, 1, 3, kWhite);
    EXPECT_EQ(setPixels(v), (std::vector<std::pair<int, int>>{{1, 0}, {1, 1}, {1, 2}}));

    Raster d(4, 4);
    d.line(0, 0, 3, 3, kWhite);
    EXPECT_EQ(setPixels(d), (std::vector<std::pair<int, int>>{{0, 0}, {1, 1}, {2, 2}}));

    Raster dot(2, 2);
    dot.line(1, 1, 1, 1, kWhite);  // a line to its own start draws nothing
    EXPECT_TRUE(setPixels(dot).empty());
}

TEST(Raster, FillsAndPixelsClipToTheBuffer) {
    Raster r(4, 3);
    r.fillRect(-2, -1, 2, 10, kWhite);  // right and bottom edges exclusive
    EXPECT_EQ(setPixels(r),
              (std::vector<std::pair<int, int>>{{0, 0}, {1, 0}, {0, 1}, {1, 1}, {0, 2}, {1, 2}}));
    r.fillRect(3, 0, 1, 3, Rgb{});  // an inverted rectangle is empty
    r.setPixel(4, 0, kWhite);
    r.setPixel(-1, 0, kWhite);
    EXPECT_EQ(setPixels(r).size(), 6u);
    EXPECT_EQ(r.pixel(9, 9), Rgb{});
    r.setPixel(3, 2, Rgb{1, 2, 3});
    EXPECT_EQ(r.pixels()[2 * 4 + 3], 0xFF010203u);
}

TEST(DialogUnits, ConvertWithTheDialogFont) {
    // The classic 8-point dialog font: 52 letters 312 pixels wide, 13 pixels high.
    const DialogBaseUnits units = baseUnitsFromFont(312, 13);
    EXPECT_EQ(units.x, 6);
    EXPECT_EQ(units.y, 13);
    EXPECT_EQ(baseUnitsFromFont(338, 16).x, 7);  // 6.5 rounds up
    // The main window, 409 x 239 units, and the left scope at (206, 145, 81, 45).
    EXPECT_EQ(dialogRectToPixels(0, 0, 409, 239, units), (PixelRect{0, 0, 614, 388}));
    EXPECT_EQ(dialogRectToPixels(206, 145, 81, 45, units), (PixelRect{309, 236, 122, 73}));
    EXPECT_EQ(mulDivRound(-3, 1, 2), -2);  // halves round away from zero
    EXPECT_EQ(mulDivRound(5, 1, 0), 0);
}

}  // namespace
}  // namespace tarvex
