#include "ui/Raster.h"

#include <algorithm>
#include <cstdlib>

namespace tarvex {

Raster::Raster(int width, int height) {
    resize(width, height);
}

void Raster::resize(int width, int height) {
    width_ = std::max(width, 0);
    height_ = std::max(height, 0);
    pixels_.assign(size_t(width_) * size_t(height_), pack(Rgb{}));
}

Rgb Raster::pixel(int x, int y) const {
    if (!inside(x, y)) return Rgb{};
    const uint32_t p = pixels_[size_t(y) * size_t(width_) + size_t(x)];
    return Rgb{uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p)};
}

void Raster::copyPixels(const Raster& other) {
    if (other.width_ != width_ || other.height_ != height_) return;
    std::copy(other.pixels_.begin(), other.pixels_.end(), pixels_.begin());
}

void Raster::fillRect(int left, int top, int right, int bottom, Rgb colour) {
    left = std::max(left, 0);
    top = std::max(top, 0);
    right = std::min(right, width_);
    bottom = std::min(bottom, height_);
    if (left >= right || top >= bottom) return;
    const uint32_t p = pack(colour);
    for (int y = top; y < bottom; ++y) {
        uint32_t* row = pixels_.data() + size_t(y) * size_t(width_);
        std::fill(row + left, row + right, p);
    }
}

void Raster::line(int x0, int y0, int x1, int y1, Rgb colour) {
    // Bresenham over the major axis; stopping one step short leaves the end point undrawn.
    const int dx = std::abs(x1 - x0);
    const int dy = std::abs(y1 - y0);
    const int sx = x0 < x1 ? 1 : -1;
    const int sy = y0 < y1 ? 1 : -1;
    int x = x0;
    int y = y0;
    if (dx >= dy) {
        int error = dx / 2;
        for (int i = 0; i < dx; ++i) {
            setPixel(x, y, colour);
            x += sx;
            error -= dy;
            if (error < 0) {
                y += sy;
                error += dx;
            }
        }
    } else {
        int error = dy / 2;
        for (int i = 0; i < dy; ++i) {
            setPixel(x, y, colour);
            y += sy;
            error -= dx;
            if (error < 0) {
                x += sx;
                error += dy;
            }
        }
    }
}

}  // namespace tarvex
