#include "ui/StatusDisplay.h"

#include <algorithm>
#include <cstdio>

namespace tarvex {

namespace {

// The meter panel's own background: the bars never cover it completely.
constexpr Rgb kMeterBackground{192, 192, 192};

std::string format(const char* pattern, unsigned a) {
    char text[32];
    std::snprintf(text, sizeof text, pattern, a);
    return text;
}

std::string format(const char* pattern, unsigned a, unsigned b) {
    char text[32];
    std::snprintf(text, sizeof text, pattern, a, b);
    return text;
}

// Green at the bottom of a bar, red at the top: c = 0 is pure green, 255 pure red.
Rgb ramp(uint32_t c) {
    return Rgb{uint8_t(c), uint8_t(255 - c), 0};
}

}  // namespace

namespace {

// A buffer length of 0 never comes from the selectors; it only guards the division.
uint32_t loadPercent(const StatusValues& v) {
    return v.bufferLength == 0 ? 0 : v.renderMillis * 800u / v.bufferLength;
}

}  // namespace

bool sameStatusTexts(const StatusValues& a, const StatusValues& b) {
    return loadPercent(a) == loadPercent(b) && a.nextOrder == b.nextOrder && a.songLength == b.songLength &&
           a.currentPattern == b.currentPattern && a.row == b.row && a.tempo == b.tempo &&
           a.speed == b.speed && a.playTime / 1000000u == b.playTime / 1000000u;
}

StatusTexts formatStatus(const StatusValues& v) {
    StatusTexts t;
    const uint32_t load = loadPercent(v);
    t.cpu = format("%u%%", load);
    t.index = format("%02X/%02X", v.nextOrder, v.songLength);
    t.pattern = format("%02X", v.currentPattern);
    t.row = format("%02X", v.row);
    t.bpm = format("%u", v.tempo);
    t.speed = format("%u", unsigned(v.speed));
    const uint32_t seconds = v.playTime / 1000000u;
    t.time = format("%2u:%02u", seconds / 60u, seconds % 60u);
    return t;
}

StatusValues statusValues(const Engine& engine, uint32_t renderMillis) {
    constexpr auto relaxed = std::memory_order_relaxed;
    const PlayerState& state = engine.state;
    StatusValues v;
    v.renderMillis = renderMillis;
    v.bufferLength = engine.settings.BufferLength;
    v.nextOrder = state.nextOrder.load(relaxed);
    v.songLength = engine.module ? engine.module->songLength : 0;
    v.currentPattern = state.currentPattern.load(relaxed);
    v.row = state.row.load(relaxed);
    v.tempo = state.tempo.load(relaxed);
    v.speed = state.speed.load(relaxed);
    v.playTime = state.playTime.load(relaxed);
    return v;
}

ScopeGeometry ScopeGeometry::forPanel(int width, int height) {
    ScopeGeometry g;
    g.left = 0;
    g.right = width;
    g.eraseTop = -1;
    g.eraseBottom = height;
    g.yTop = -1;
    g.yBottom = height - 1;
    const int plotHeight = std::max(g.yBottom - g.yTop, 0);
    g.scaleQ10 = uint32_t(plotHeight) * 1024u / 65535u;
    g.zeroLine = g.yBottom - int(g.scaleQ10 * 32767u / 1024u);
    return g;
}

MeterGeometry MeterGeometry::forPanel(int width, int height) {
    MeterGeometry g;
    g.barBottom = height - 5;
    g.barHeight = (height - 5) - 5;
    g.leftBarX = 5;
    g.rightBarX = width - 15;
    return g;
}

void StatusPanels::setUp(int scopeWidth, int scopeHeight, int meterWidth, int meterHeight) {
    scope_ = ScopeGeometry::forPanel(scopeWidth, scopeHeight);
    meterGeometry_ = MeterGeometry::forPanel(meterWidth, meterHeight);
    cleanScope_.resize(scopeWidth, scopeHeight);
    drawCleanScope();
    leftScope_.resize(scopeWidth, scopeHeight);
    rightScope_.resize(scopeWidth, scopeHeight);
    meter_.resize(meterWidth, meterHeight);
    meter_.fillRect(0, 0, meterWidth, meterHeight, kMeterBackground);
    hold_ = {0, 0};
    holdCounter_ = {0, 0};
    scopeInputValid_ = false;
    meterDrawnFrom_.reset();
    // Nothing has been shown yet: the first refresh changes everything.
    shownLeft_ = Raster();
    shownRight_ = Raster();
    shownMeter_ = Raster();
}

void StatusPanels::drawCleanScope() {
    cleanScope_.fillRect(scope_.left, scope_.eraseTop, scope_.right, scope_.eraseBottom, kScopeBackground);
    cleanScope_.line(scope_.right - 1, scope_.zeroLine, scope_.left, scope_.zeroLine, kScopeZeroLine);
}

void StatusPanels::plot(Raster& raster, int x, int16_t sample) {
    const int64_t s = sample;
    int64_t y = scope_.yBottom - ((s + 32767) * int64_t(scope_.scaleQ10)) / 1024;
    y = std::clamp<int64_t>(y, scope_.yTop, scope_.yBottom);
    const int64_t signedShade = (s * 255) / 32767;
    raster.setPixel(x, int(y), ramp(uint32_t(signedShade < 0 ? -signedShade : signedShade)));
}

bool StatusPanels::sameScopeInput(const LevelBuffer& levels, bool stopped) {
    // Stopped, absent levels and an empty buffer all leave the cleaned panels.
    const bool empty = stopped || levels.left == nullptr || levels.right == nullptr;
    const size_t n = empty ? 0 : levels.length;
    const int16_t* left = empty ? nullptr : levels.left;
    const int16_t* right = empty ? nullptr : levels.right;
    if (scopeInputValid_ && scopeInputLeft_.size() == n &&
        std::equal(left, left + n, scopeInputLeft_.begin()) &&
        std::equal(right, right + n, scopeInputRight_.begin()))
        return true;
    scopeInputLeft_.assign(left, left + n);
    scopeInputRight_.assign(right, right + n);
    scopeInputValid_ = true;
    return false;
}

bool StatusPanels::refresh(const LevelBuffer& levels, bool stopped) {
    // A buffer is shown for several refreshes, and a bar often stands still: most refreshes draw
    // what is on display already.
    const auto changed = [](const Raster& now, Raster& shown) {
        if (now == shown) return false;
        shown = now;
        return true;
    };
    if (sameScopeInput(levels, stopped)) {
        changes_.leftScope = false;
        changes_.rightScope = false;
    } else {
        // One copy per panel gives what the erase fill and the zero line would draw.
        leftScope_.copyPixels(cleanScope_);
        rightScope_.copyPixels(cleanScope_);
        std::array<uint32_t, 2> peak = {0, 0};
        if (!stopped && levels.length > 0) {
            const uint32_t step = uint32_t(scope_.right - 1 - scope_.left) * 1024u / levels.length;
            uint32_t a = 0;
            for (uint32_t i = 0; i < levels.length; ++i) {
                if (levels.left == nullptr || levels.right == nullptr) break;
                const int x = scope_.left + int(a / 1024u);
                a += step;
                const int16_t l = levels.left[i];
                const int16_t r = levels.right[i];
                peak[0] = std::max<uint32_t>(peak[0], uint32_t(l < 0 ? -int32_t(l) : l));
                peak[1] = std::max<uint32_t>(peak[1], uint32_t(r < 0 ? -int32_t(r) : r));
                plot(leftScope_, x, l);
                plot(rightScope_, x, r);
            }
        }
        scopePeak_ = peak;
        // Two buffers can still draw the same trace (silence, for one).
        changes_.leftScope = changed(leftScope_, shownLeft_);
        changes_.rightScope = changed(rightScope_, shownRight_);
    }
    changes_.meter = drawMeter(scopePeak_) && changed(meter_, shownMeter_);
    return stopped;
}

bool StatusPanels::drawMeter(const std::array<uint32_t, 2>& peak) {
    const MeterGeometry& g = meterGeometry_;
    const int height = g.barHeight;
    if (height <= 0) return true;
    const uint32_t h = uint32_t(height);
    std::array<int, 2> level = {0, 0};
    for (size_t side = 0; side < 2; ++side) {
        // 64-bit product: in 32 bits a bar taller than 127 pixels would wrap at full scale.
        uint64_t value = ((uint64_t(h) * peak[side] * 1024u) / 32767u) / 1024u;
        if (value >= h) value = h - 1;
        level[side] = int(value);
        if (level[side] > hold_[side]) {
            hold_[side] = level[side];
            holdCounter_[side] = kPeakHoldRefreshes;
        }
    }
    // The picture is the two levels and the markers shown: the same ones draw the same pixels.
    std::array<int, 4> from = {level[0], level[1], -1, -1};
    for (size_t side = 0; side < 2; ++side) {
        if (holdCounter_[side] > 0) {
            --holdCounter_[side];
            from[2 + side] = hold_[side];
        } else {
            hold_[side] = 0;
        }
    }
    if (meterDrawnFrom_ == from) return false;
    meterDrawnFrom_ = from;
    const std::array<int, 2> barX = {g.leftBarX, g.rightBarX};
    for (int i = 0; i < height; ++i) {
        const int y = g.barBottom - i;
        const uint32_t shade = uint32_t(i) * 255u / h;
        const Rgb bright = ramp(shade);
        const Rgb dim{uint8_t(shade / 2), uint8_t((255 - shade) / 2), 0};
        for (size_t side = 0; side < 2; ++side) {
            const Rgb colour = i < level[side] ? bright : dim;
            for (int column = 0; column < kBarWidth; ++column)
                meter_.setPixel(barX[side] + column, y, colour);
        }
    }
    for (size_t side = 0; side < 2; ++side) {
        const int marker = from[2 + side];
        if (marker < 0) continue;
        const Rgb colour = ramp(uint32_t(marker) * 255u / h);
        const int y = g.barBottom - marker;
        for (int column = 0; column < kBarWidth; ++column) meter_.setPixel(barX[side] + column, y, colour);
    }
    return true;
}

}  // namespace tarvex
