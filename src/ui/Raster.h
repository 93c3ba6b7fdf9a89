// An RGB pixel buffer for the window's drawing panels (scopes, level meter, waveform).
//
// Coordinates follow the platform's client rectangles: (0, 0) is the top-left pixel, right and
// bottom edges are exclusive. Everything outside the buffer is clipped silently, so callers may
// draw with the geometry of the original panels (whose erase rectangle starts one row above).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tarvex {

struct Rgb {
    uint8_t r = 0;
    uint8_t g = 0;
    uint8_t b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

class Raster {
   public:
    Raster() = default;
    Raster(int width, int height);

    void resize(int width, int height);
    int width() const { return width_; }
    int height() const { return height_; }

    // Black outside the buffer.
    Rgb pixel(int x, int y) const;
    void setPixel(int x, int y, Rgb colour) {
        if (inside(x, y)) pixels_[size_t(y) * size_t(width_) + size_t(x)] = pack(colour);
    }
    // Fills x in [left, right), y in [top, bottom).
    void fillRect(int left, int top, int right, int bottom, Rgb colour);
    // A one-pixel line from (x0, y0) towards (x1, y1); the end point itself is not drawn.
    void line(int x0, int y0, int x1, int y1, Rgb colour);

    // Rows top to bottom, each pixel 0xFFRRGGBB: the layout of a 32-bit RGB image.
    const uint32_t* pixels() const { return pixels_.data(); }
    // Makes this raster a copy of other's pixels (same size; otherwise nothing happens).
    void copyPixels(const Raster& other);
    // Same size and the same pixels.
    friend bool operator==(const Raster&, const Raster&) = default;

    static uint32_t pack(Rgb c) {
        return 0xFF000000u | (uint32_t(c.r) << 16) | (uint32_t(c.g) << 8) | uint32_t(c.b);
    }

   private:
    bool inside(int x, int y) const { return x >= 0 && y >= 0 && x < width_ && y < height_; }

    int width_ = 0;
    int height_ = 0;
    std::vector<uint32_t> pixels_;
};

}  // namespace tarvex
