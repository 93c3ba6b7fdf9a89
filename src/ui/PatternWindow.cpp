#include "ui/PatternWindow.h"

#include <cstdio>

#include "ui/PatternFormat.h"

namespace tarvex {

namespace {

constexpr uint32_t kFollowLine = 11;     // the twelfth line holds the playing row
constexpr uint32_t kLastPageLines = 20;  // the last page still has 20 lines
constexpr int kExtentCharsPerChannel = 20;

}  // namespace

uint32_t followFirstRow(uint32_t row, uint32_t rows) {
    if (row <= kFollowLine) return 0;
    const uint32_t lastFirstRow = rows > kLastPageLines ? rows - kLastPageLines : 0;
    return row - kFollowLine < lastFirstRow ? row - kFollowLine : lastFirstRow;
}

PatternWindow::PatternWindow(const Engine& engine, PatternWindowView& view) : engine_(engine), view_(view) {}

void PatternWindow::initialise() {
    const Module* m = module();
    const int channels = m != nullptr ? int(m->channelCount) : 0;
    view_.setHorizontalExtent(channels * view_.letterHWidth() * kExtentCharsPerChannel);
    // The window is reused: a module without patterns must not show the last module's page.
    view_.setListRedraw(false);
    view_.clearLines();
    view_.setPatternNumber("");
    view_.setListRedraw(true);
    shownPattern_ = -1;
    shownFirstRow_ = -1;
    browseIndex_ = 0;
    showPage(0, 0);
    open_ = true;
}

void PatternWindow::close() {
    open_ = false;
}

void PatternWindow::showPage(uint32_t pattern, uint32_t firstRow) {
    const Module* m = module();
    if (m == nullptr || pattern >= m->patternCount) return;
    if (int64_t(pattern) == shownPattern_ && int64_t(firstRow) == shownFirstRow_) return;
    view_.setListRedraw(false);
    view_.clearLines();
    shownPattern_ = int32_t(pattern);
    shownFirstRow_ = int32_t(firstRow);
    char number[16];
    std::snprintf(number, sizeof number, "%02X", unsigned(pattern));
    view_.setPatternNumber(number);
    for (const std::string& line : formatPatternLines(*m, pattern, firstRow)) view_.addLine(line);
    view_.setListRedraw(true);
    ++pagesBuilt_;
}

void PatternWindow::followPosition(uint32_t pattern, uint32_t row) {
    if (!open_) return;
    const Module* m = module();
    const uint32_t rows = m != nullptr ? rowsOf(*m, pattern) : kRowsPerPattern;
    const uint32_t first = followFirstRow(row, rows);
    showPage(pattern, first);
    // A row past the pattern (the position before the first row is read) or a pattern that could
    // not be shown has no line to select on the page on display.
    if (row >= rows || int64_t(pattern) != shownPattern_ || int64_t(first) != shownFirstRow_) return;
    view_.selectLine(row - first);
}

void PatternWindow::previousPattern() {
    const Module* m = module();
    // Without patterns there is nothing to step through.
    if (m == nullptr || m->patternCount == 0) return;
    browseIndex_ = browseIndex_ == 0 ? m->patternCount - 1 : browseIndex_ - 1;
    showPage(browseIndex_, 0);
}

void PatternWindow::nextPattern() {
    const Module* m = module();
    if (m == nullptr || m->patternCount == 0) return;
    ++browseIndex_;
    if (browseIndex_ >= m->patternCount) browseIndex_ = 0;
    showPage(browseIndex_, 0);
}

}  // namespace tarvex
