// The pattern window's logic: the note lines of one pattern, browsed with previous and next, and
// the page that follows the play position.
//
// One window serves the whole program run; every opening resets its page. A page is pattern p
// from first row f to its last row (row 63 of 64), one line per row in the format of PatternFormat.h. While a
// song plays, the main window's timer hands over the playing pattern and row on every refresh; the playing
// row then stays on the twelfth line:
//   row  5 -> rows  0..63, line  5 selected
//   row 30 -> rows 19..63, line 11 selected (one rebuild per new row from 12 to 54)
//   row 60 -> rows 44..63, line 16 selected
#pragma once

#include <cstdint>
#include <string>

#include "engine/Engine.h"

namespace tarvex {

// What the pattern window's logic needs of its widgets. Every text handed over is UTF-8.
class PatternWindowView {
   public:
    virtual ~PatternWindowView() = default;

    // The read-only field with the number of the pattern on display.
    virtual void setPatternNumber(const std::string& text) = 0;
    // Suspends (false) or resumes (true) the list's redrawing; resuming repaints it once.
    virtual void setListRedraw(bool on) = 0;
    virtual void clearLines() = 0;
    virtual void addLine(const std::string& text) = 0;
    virtual void selectLine(uint32_t index) = 0;
    // The width in pixels the list can be scrolled across.
    virtual void setHorizontalExtent(int pixels) = 0;
    // The pixel width of "H" on a drawing surface of the list, in that surface's default font.
    virtual int letterHWidth() const = 0;
};

// The list's first line while row of a pattern of rows rows is playing: 0 below row 12, then
// row - 11 until the last 20 rows are on the page (for 64 rows: up to row 54, then 44).
uint32_t followFirstRow(uint32_t row, uint32_t rows = kRowsPerPattern);

class PatternWindow {
   public:
    // The module is read from the engine at each call; it must not change while the window is
    // open (the main window holds its list advance meanwhile).
    PatternWindow(const Engine& engine, PatternWindowView& view);

    // The window's initialisation at each opening: scroll extent, page 0 from row 0, open flag.
    void initialise();
    // Every way of closing: the open flag is cleared, the page stays for the next opening.
    void close();

    // Builds the list for pattern p from row f to its last row, unless p is not below patternCount or
    // that page is already on display.
    void showPage(uint32_t pattern, uint32_t firstRow);
    // Shows the page that holds row and selects it; nothing while the window is closed.
    void followPosition(uint32_t pattern, uint32_t row);
    // The buttons: step the browse index with wrap and show its page from row 0.
    void previousPattern();
    void nextPattern();

    bool isOpen() const { return open_; }
    uint32_t browseIndex() const { return browseIndex_; }
    int32_t shownPattern() const { return shownPattern_; }
    int32_t shownFirstRow() const { return shownFirstRow_; }
    // Pages built since construction: a page already on display is not built again.
    uint32_t pagesBuilt() const { return pagesBuilt_; }

   private:
    const Module* module() const { return engine_.module.get(); }

    const Engine& engine_;
    PatternWindowView& view_;
    uint32_t browseIndex_ = 0;
    int32_t shownPattern_ = -1;
    int32_t shownFirstRow_ = -1;
    bool open_ = false;
    uint32_t pagesBuilt_ = 0;
};

}  // namespace tarvex
