// Dialog units: the layout coordinates of every window, tied to the dialog font.
//
// One horizontal unit is a quarter of the font's average character width, one vertical unit an
// eighth of its height. With the usual 8-point dialog font at 96 dpi (average width 6, height 13)
// the main window's 409 x 239 units are 614 x 388 pixels.
#pragma once

#include <string_view>

namespace tarvex {

struct DialogBaseUnits {
    int x = 6;   // average character width in pixels
    int y = 13;  // character height in pixels
};

struct PixelRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

// The characters whose mean width is the horizontal base unit.
inline constexpr std::string_view kBaseUnitAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

// Base units from the pixel width of kBaseUnitAlphabet and the font height: the width is the
// rounded mean over its 52 letters.
DialogBaseUnits baseUnitsFromFont(int alphabetWidth, int fontHeight);

// value * numerator / denominator, rounded half away from zero.
int mulDivRound(int value, int numerator, int denominator);

int dialogXToPixels(int x, DialogBaseUnits units);
int dialogYToPixels(int y, DialogBaseUnits units);
PixelRect dialogRectToPixels(int x, int y, int width, int height, DialogBaseUnits units);

}  // namespace tarvex
