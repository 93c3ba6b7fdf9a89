// The pattern window's list: one text line per row, painted by itself so that following the song
// costs a few lines a row. A page that moves on by n lines keeps its lines: the viewport's pixels
// are moved up n line heights and only the lines exposed at the bottom and the two whose
// selection changed are painted. Each line keeps its text laid out (QStaticText), so painting a
// line again shapes nothing.
//
// It looks and behaves like a single-selection list box: sunken frame, both scroll bars always
// on, vertical scrolling by lines, horizontal by pixels across the extent, one selected line in
// the palette's Highlight / HighlightedText; click, drag, arrows, Page Up / Page Down, Home, End
// and the wheel; the selected line is kept in view. A screen reader reads the lines as the list's
// items, and hears of the line that gets the selection.
#pragma once

#include <QAbstractScrollArea>
#include <QStaticText>
#include <QString>
#include <vector>

namespace tarvex::qt {

class PatternList : public QAbstractScrollArea {
    Q_OBJECT

   public:
    explicit PatternList(QWidget* parent);

    // Replaces the lines. Lines equal to the old ones shifted up by a few keep their layout and
    // their pixels; the selected line moves with its line, and is cleared when that line goes.
    void setLines(const std::vector<QString>& lines);
    // Selects a line (-1: none) and brings it into view; a line past the end is ignored.
    void selectLine(int line);
    void setLineHeight(int pixels);
    // The width in pixels the lines can be scrolled across.
    void setExtent(int pixels);

    int count() const { return int(lines_.size()); }
    QString lineText(int line) const {
        return line >= 0 && line < count() ? lines_[size_t(line)].text : QString();
    }
    int selectedLine() const { return selected_; }
    int firstVisibleLine() const { return top_; }
    int lineHeight() const { return lineHeight_; }
    int extent() const { return extent_; }
    // Lines whose whole height fits the viewport: a page of scrolling.
    int wholeLinesShown() const;
    // Where a line is drawn, in viewport coordinates.
    QRect lineRect(int line) const;
    // Line texts laid out since construction: one for each line whose text was new.
    int linesLaidOut() const { return laidOut_; }

   protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

   private:
    struct Line {
        QString text;
        QStaticText layout;
    };

    Line makeLine(const QString& text);
    int lineAt(int y) const;
    // Sets the scroll bars' ranges and steps, each only when it differs.
    void updateScrollBars();
    void updateLine(int line);
    void updateViewport();
    // Moves the viewport's pixels (positive: right, down), or repaints it when that is no cheaper.
    void movePixels(int dx, int dy);

    std::vector<Line> lines_;
    int selected_ = -1;
    int top_ = 0;   // the first visible line, the vertical scroll bar's value
    int left_ = 0;  // the pixel column at the viewport's left, the horizontal scroll bar's value
    int lineHeight_ = 1;
    int extent_ = 0;
    int laidOut_ = 0;
    // Parts of the viewport were marked for repainting and not painted yet: its pixels are not
    // all current, so they must not be moved.
    bool paintPending_ = false;
};

}  // namespace tarvex::qt
