// The "Player Data" group: seven status texts, two oscilloscopes and a two-bar level meter.
//
// Scope geometry, for a scope panel whose client area is w x h pixels (L = 0, T = 0, R = w,
// B = h): plot x from 0 to w - 1, yT = -1, yB = h - 1, scaleQ10 = (yB - yT) * 1024 / 65535 and
// the zero line at y0 = yB - scaleQ10 * 32767 / 1024. For h = 64..127 the scale is 1 (in 1/1024
// pixel per sample unit): the trace uses the lowest 64 rows and the zero line is 31 rows above
// the bottom row.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/Engine.h"
#include "ui/Raster.h"

namespace tarvex {

struct StatusValues {
    uint32_t renderMillis = 0;
    uint32_t bufferLength = 250;  // eighths of a millisecond
    uint32_t nextOrder = 0;
    uint32_t songLength = 0;
    uint32_t currentPattern = 0;
    uint32_t row = 0;
    uint32_t tempo = 0;
    uint16_t speed = 0;
    uint32_t playTime = 0;  // microseconds
};

struct StatusTexts {
    std::string cpu;      // "%u%%": render time as a share of one segment (3 ms of 25 ms: "12%")
    std::string index;    // "%02X/%02X": order position (1 = first) and song length
    std::string pattern;  // "%02X"
    std::string row;      // "%02X"
    std::string bpm;      // "%u"
    std::string speed;    // "%u"
    std::string time;     // "%2u:%02u": minutes and seconds (" 0:05", "61:01")
};

StatusTexts formatStatus(const StatusValues& values);
// Whether the two give the same texts: most refreshes need no formatting at all.
bool sameStatusTexts(const StatusValues& a, const StatusValues& b);

// The values as the sequencer and the mixer leave them, read without locks while the audio side
// writes (a stale value only shows as such); renderMillis is the mixer's last render time.
StatusValues statusValues(const Engine& engine, uint32_t renderMillis);

inline constexpr Rgb kScopeBackground{0, 0, 0};
inline constexpr Rgb kScopeZeroLine{125, 125, 125};
inline constexpr int kPeakHoldRefreshes = 10;
inline constexpr int kBarWidth = 10;

struct ScopeGeometry {
    int left = 0;   // L
    int right = 0;  // R (exclusive)
    int eraseTop = -1;
    int eraseBottom = 0;
    int yTop = -1;    // yT
    int yBottom = 0;  // yB
    uint32_t scaleQ10 = 0;
    int zeroLine = 0;  // y0

    static ScopeGeometry forPanel(int width, int height);
};

struct MeterGeometry {
    int barBottom = 0;  // yb
    int barHeight = 0;  // H
    int leftBarX = 0;
    int rightBarX = 0;

    static MeterGeometry forPanel(int width, int height);
};

// One buffer of output levels as the mixer left it. A null side counts as absent.
struct LevelBuffer {
    const int16_t* left = nullptr;
    const int16_t* right = nullptr;
    uint32_t length = 0;
};

// Which panels a refresh changed: only those need showing again.
struct PanelChanges {
    bool leftScope = false;
    bool rightScope = false;
    bool meter = false;
    bool any() const { return leftScope || rightScope || meter; }
};

// Draws the scopes and the level meter; keeps the peak-hold state between refreshes.
class StatusPanels {
   public:
    // Computes the geometry once, from the client sizes of the panels.
    void setUp(int scopeWidth, int scopeHeight, int meterWidth, int meterHeight);

    // One refresh. With stopped set the scopes are cleared, the bars drawn at level 0 and true is
    // returned: the display is then frozen until the next play.
    bool refresh(const LevelBuffer& levels, bool stopped);
    // What the last refresh changed against the picture before it (everything after setUp).
    const PanelChanges& changes() const { return changes_; }

    const Raster& leftScope() const { return leftScope_; }
    const Raster& rightScope() const { return rightScope_; }
    const Raster& meter() const { return meter_; }
    const ScopeGeometry& scopeGeometry() const { return scope_; }
    const MeterGeometry& meterGeometry() const { return meterGeometry_; }
    int holdValue(int side) const { return hold_[size_t(side)]; }
    int holdCounter(int side) const { return holdCounter_[size_t(side)]; }

   private:
    // Each refresh starts the scopes from this picture: the erased panel with its zero line.
    void drawCleanScope();
    void plot(Raster& raster, int x, int16_t sample);
    // Draws the bars and markers unless they would come out as they are; returns whether they
    // were drawn.
    bool drawMeter(const std::array<uint32_t, 2>& peak);
    // Whether the scopes would be drawn from the same input as last time, which gives the same
    // picture; remembers the input otherwise.
    bool sameScopeInput(const LevelBuffer& levels, bool stopped);

    ScopeGeometry scope_;
    MeterGeometry meterGeometry_;
    Raster cleanScope_;
    Raster leftScope_;
    Raster rightScope_;
    Raster meter_;
    // The pictures as the refresh before left them, to tell what changed.
    Raster shownLeft_;
    Raster shownRight_;
    Raster shownMeter_;
    PanelChanges changes_;
    // What the scopes and the bars on display were drawn from: a buffer is usually shown for
    // several refreshes, and then neither needs drawing again.
    bool scopeInputValid_ = false;
    std::vector<int16_t> scopeInputLeft_;
    std::vector<int16_t> scopeInputRight_;
    std::array<uint32_t, 2> scopePeak_ = {0, 0};
    std::optional<std::array<int, 4>> meterDrawnFrom_;  // both levels, then both markers (-1: none)
    std::array<int, 2> hold_ = {0, 0};
    std::array<int, 2> holdCounter_ = {0, 0};
};

}  // namespace tarvex
