#include "ui/DialogUnits.h"

#include <cstdint>

namespace tarvex {

DialogBaseUnits baseUnitsFromFont(int alphabetWidth, int fontHeight) {
    const int letters = int(kBaseUnitAlphabet.size());
    DialogBaseUnits units;
    units.x = (alphabetWidth / (letters / 2) + 1) / 2;
    units.y = fontHeight;
    if (units.x < 1) units.x = 1;
    if (units.y < 1) units.y = 1;
    return units;
}

int mulDivRound(int value, int numerator, int denominator) {
    if (denominator == 0) return 0;
    const int64_t product = int64_t(value) * numerator;
    const int64_t half = denominator / 2;
    const bool negative = (product < 0) != (denominator < 0);
    const int64_t magnitude = (product < 0 ? -product : product) + (half < 0 ? -half : half);
    const int64_t quotient = magnitude / (denominator < 0 ? -int64_t(denominator) : denominator);
    return int(negative ? -quotient : quotient);
}

int dialogXToPixels(int x, DialogBaseUnits units) {
    return mulDivRound(x, units.x, 4);
}

int dialogYToPixels(int y, DialogBaseUnits units) {
    return mulDivRound(y, units.y, 8);
}

PixelRect dialogRectToPixels(int x, int y, int width, int height, DialogBaseUnits units) {
    return PixelRect{dialogXToPixels(x, units), dialogYToPixels(y, units), dialogXToPixels(width, units),
                     dialogYToPixels(height, units)};
}

}  // namespace tarvex
