#include "ui/qt/PatternList.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyleOptionSlider>
#include <algorithm>
#include <cstdlib>
#include <unordered_map>

namespace tarvex::qt {

namespace {

// A following page is one row on from the last, at high speeds two or three; a page that jumped
// further has mostly new lines anyway.
constexpr int kShiftSought = 8;
constexpr int kTextMargin = 3;  // pixels left of a line's text, as a list item has
// Pixels around a moved end of the slider that may show its border or rounded corners, and around
// its centre, where a style may draw a grip.
constexpr int kSliderEdge = 6;
constexpr int kSliderGrip = 8;

// The vertical scroll bar. While the song is followed the page loses a line with every row, so the
// range shrinks by one each row; the slider keeps its place and only its length changes. Of the
// bar's picture only the ends (and the centre) of the slider move then, and only those are
// repainted: a whole bar's tall fills cost more and are split over the toolkit's painting threads.
class LinesScrollBar : public QScrollBar {
   public:
    LinesScrollBar() : QScrollBar(Qt::Vertical) {}

   protected:
    void sliderChange(SliderChange change) override {
        const Shown before = shown_;
        shown_ = shown();
        // The ends' looks and an empty range change more than the slider.
        if (change != SliderRangeChange || !before.known || before.atMinimum != shown_.atMinimum ||
            before.atMaximum != shown_.atMaximum || before.empty != shown_.empty) {
            QScrollBar::sliderChange(change);
            return;
        }
        QRegion dirty;
        const auto band = [&](int from, int to, int margin) {
            if (from != to)
                dirty += QRect(0, std::min(from, to) - margin, width(), std::abs(to - from) + 2 * margin + 1);
        };
        band(before.slider.top(), shown_.slider.top(), kSliderEdge);
        band(before.slider.bottom(), shown_.slider.bottom(), kSliderEdge);
        band(before.slider.center().y(), shown_.slider.center().y(), kSliderGrip);
        if (!dirty.isEmpty()) update(dirty);
    }
    void paintEvent(QPaintEvent* event) override {
        QScrollBar::paintEvent(event);
        shown_ = shown();
    }

   private:
    struct Shown {
        bool known = false;
        QRect slider;
        bool atMinimum = false;
        bool atMaximum = false;
        bool empty = false;
    };
    Shown shown() const {
        QStyleOptionSlider option;
        initStyleOption(&option);
        return Shown{true,
                     style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, this),
                     value() == minimum(), value() == maximum(), minimum() == maximum()};
    }

    Shown shown_;
};

// What a screen reader sees of a line: a list item read from the list at each question, so that
// it stays right while the page moves on under it.
class PatternLineAccessible : public QAccessibleInterface {
   public:
    PatternLineAccessible(PatternList* list, int line) : list_(list), line_(line) {}

    bool isValid() const override { return list_ != nullptr && line_ < list_->count(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return list_ != nullptr ? list_->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override {
        return QAccessible::queryAccessibleInterface(list_.data());
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    QString text(QAccessible::Text t) const override {
        return t == QAccessible::Name && isValid() ? list_->lineText(line_) : QString();
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override {
        if (!isValid()) return QRect();
        const QRect r = list_->lineRect(line_);
        return QRect(list_->viewport()->mapToGlobal(r.topLeft()), r.size());
    }
    QAccessible::State state() const override {
        QAccessible::State s;
        if (!isValid()) {
            s.invalid = true;
            return s;
        }
        s.selectable = true;
        s.focusable = true;
        s.selected = line_ == list_->selectedLine();
        s.focused = s.selected && list_->hasFocus();
        const int top = list_->firstVisibleLine();
        if (line_ < top || line_ > top + list_->wholeLinesShown()) s.offscreen = s.invisible = true;
        return s;
    }

   private:
    QPointer<PatternList> list_;
    int line_;
};

// The list as a screen reader sees it: its lines are its children.
class PatternListAccessible : public QAccessibleWidget {
   public:
    explicit PatternListAccessible(PatternList* list) : QAccessibleWidget(list, QAccessible::List) {}
    ~PatternListAccessible() override {
        for (const auto& [line, id] : lines_) QAccessible::deleteAccessibleInterface(id);
    }

    int childCount() const override { return list()->count(); }
    QAccessibleInterface* child(int index) const override {
        if (index < 0 || index >= list()->count()) return nullptr;
        // The toolkit and the screen reader keep children by id: one interface per line index.
        auto found = lines_.find(index);
        if (found == lines_.end()) {
            auto* line = new PatternLineAccessible(list(), index);
            found = lines_.emplace(index, QAccessible::registerAccessibleInterface(line)).first;
        }
        return QAccessible::accessibleInterface(found->second);
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        for (const auto& [line, id] : lines_)
            if (QAccessible::accessibleInterface(id) == child) return line < list()->count() ? line : -1;
        return -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        for (int line = list()->firstVisibleLine(); line < list()->count(); ++line) {
            QAccessibleInterface* c = child(line);
            if (c->state().offscreen) break;
            if (c->rect().contains(x, y)) return c;
        }
        return nullptr;
    }
    QAccessibleInterface* focusChild() const override {
        return list()->hasFocus() && list()->selectedLine() >= 0 ? child(list()->selectedLine()) : nullptr;
    }

   private:
    PatternList* list() const { return static_cast<PatternList*>(widget()); }

    mutable std::unordered_map<int, QAccessible::Id> lines_;
};

QAccessibleInterface* patternListAccessible(const QString& className, QObject* object) {
    if (className == QLatin1String("tarvex::qt::PatternList") && object != nullptr && object->isWidgetType())
        return new PatternListAccessible(static_cast<PatternList*>(object));
    return nullptr;
}

}  // namespace

PatternList::PatternList(QWidget* parent) : QAbstractScrollArea(parent) {
    static const bool accessible = (QAccessible::installFactory(patternListAccessible), true);
    (void)accessible;
    setVerticalScrollBar(new LinesScrollBar);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Every paint fills what it was asked for: no background fill first, and moving the
    // viewport's pixels is allowed.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    updateScrollBars();
}

PatternList::Line PatternList::makeLine(const QString& text) {
    ++laidOut_;
    Line line{text, QStaticText(text)};
    line.layout.setTextFormat(Qt::PlainText);
    return line;
}

void PatternList::setLines(const std::vector<QString>& lines) {
    const int oldCount = count();
    // How far the page moved on: the new lines are the old ones from line n.
    int shift = 0;
    for (int n = 0; n <= kShiftSought && n < oldCount; ++n) {
        const size_t both = std::min(lines.size(), size_t(oldCount - n));
        bool same = both > 0;
        for (size_t i = 0; same && i < both; ++i) same = lines[i] == lines_[i + size_t(n)].text;
        if (same) {
            shift = n;
            break;
        }
    }
    std::vector<Line> next;
    next.reserve(lines.size());
    std::vector<int> changed;
    for (size_t i = 0; i < lines.size(); ++i) {
        const size_t old = i + size_t(shift);
        if (old < lines_.size() && lines_[old].text == lines[i]) {
            next.push_back(std::move(lines_[old]));
        } else {
            next.push_back(makeLine(lines[i]));
            changed.push_back(int(i));
        }
    }
    lines_.swap(next);
    if (selected_ >= 0) {
        selected_ -= shift;
        if (selected_ < 0 || selected_ >= count()) selected_ = -1;
    }
    if ((shift != 0 || !changed.empty() || count() != oldCount) && QAccessible::isActive()) {
        QAccessibleEvent event(this, QAccessible::ObjectReorder);
        QAccessible::updateAccessibility(&event);
    }
    // The picture moves with its lines; lines with new texts, and lines shown that are now past
    // the end, are painted again.
    movePixels(0, -shift * lineHeight_);
    for (int line : changed) updateLine(line);
    const int blankFrom = std::max(count(), top_);
    const int blankTo = std::min(oldCount - shift, top_ + wholeLinesShown() + 1);
    if (blankFrom < blankTo) {
        viewport()->update(lineRect(blankFrom).united(lineRect(blankTo - 1)));
        paintPending_ = true;
    }
    updateScrollBars();
}

void PatternList::selectLine(int line) {
    if (line >= count()) return;
    line = std::max(line, -1);
    if (line != selected_) {
        updateLine(selected_);
        selected_ = line;
        updateLine(selected_);
        if (line >= 0 && QAccessible::isActive()) {
            QAccessibleEvent event(this, hasFocus() ? QAccessible::Focus : QAccessible::Selection);
            event.setChild(line);
            QAccessible::updateAccessibility(&event);
        }
    }
    if (line < 0) return;
    int top = top_;
    if (line < top) top = line;
    if (line >= top + wholeLinesShown()) top = line - wholeLinesShown() + 1;
    if (top != top_) verticalScrollBar()->setValue(top);
}

void PatternList::setLineHeight(int pixels) {
    lineHeight_ = std::max(1, pixels);
    updateScrollBars();
    updateViewport();
}

void PatternList::setExtent(int pixels) {
    extent_ = pixels;
    updateScrollBars();
    updateViewport();
}

int PatternList::wholeLinesShown() const {
    return std::max(1, viewport()->height() / lineHeight_);
}

QRect PatternList::lineRect(int line) const {
    return QRect(0, (line - top_) * lineHeight_, viewport()->width(), lineHeight_);
}

int PatternList::lineAt(int y) const {
    return top_ + (y < 0 ? (y - lineHeight_ + 1) / lineHeight_ : y / lineHeight_);
}

void PatternList::updateScrollBars() {
    const int page = wholeLinesShown();
    QScrollBar* vertical = verticalScrollBar();
    if (vertical->singleStep() != 1) vertical->setSingleStep(1);
    if (vertical->pageStep() != page) vertical->setPageStep(page);
    QScrollBar* horizontal = horizontalScrollBar();
    const int width = viewport()->width();
    const int step = std::max(1, fontMetrics().horizontalAdvance(QLatin1Char('H')));
    if (horizontal->singleStep() != step) horizontal->setSingleStep(step);
    if (horizontal->pageStep() != width) horizontal->setPageStep(width);

    // A new range would have the scroll area lay its children out again, raising (and so
    // repainting) both scroll bars, although with both bars always on nothing moves. So the
    // ranges are set without the bars' signals, and a value the new range moved is followed here.
    const int lastTop = std::max(0, count() - page);
    const int lastLeft = std::max(0, extent_ - width);
    const bool verticalChanges = vertical->minimum() != 0 || vertical->maximum() != lastTop;
    const bool horizontalChanges = horizontal->minimum() != 0 || horizontal->maximum() != lastLeft;
    if (!verticalChanges && !horizontalChanges) return;
    {
        const QSignalBlocker quietVertical(vertical);
        const QSignalBlocker quietHorizontal(horizontal);
        if (verticalChanges) vertical->setRange(0, lastTop);
        if (horizontalChanges) horizontal->setRange(0, lastLeft);
    }
    scrollContentsBy(0, 0);
}

void PatternList::updateLine(int line) {
    if (line < top_ || line > top_ + wholeLinesShown()) return;
    viewport()->update(lineRect(line));
    paintPending_ = true;
}

void PatternList::updateViewport() {
    viewport()->update();
    paintPending_ = true;
}

void PatternList::movePixels(int dx, int dy) {
    if (dx == 0 && dy == 0) return;
    // Pixels still to be painted would be moved stale; a move past the whole viewport saves nothing.
    if (paintPending_ || std::abs(dx) >= viewport()->width() || std::abs(dy) >= viewport()->height()) {
        updateViewport();
        return;
    }
    viewport()->scroll(dx, dy);
    paintPending_ = true;  // what moved into view
}

// The scroll bars' values are the picture's position; each move of a value moves the pixels.
void PatternList::scrollContentsBy(int /*dx*/, int /*dy*/) {
    const int left = horizontalScrollBar()->value();
    const int top = verticalScrollBar()->value();
    const int dx = left_ - left;
    const int dy = (top_ - top) * lineHeight_;
    left_ = left;
    top_ = top;
    movePixels(dx, dy);
}

void PatternList::paintEvent(QPaintEvent* event) {
    paintPending_ = false;
    QPainter painter(viewport());
    const QRect area = event->rect();
    const QPalette& colours = palette();
    const int textLeft = kTextMargin - left_;
    const int textTop = (lineHeight_ - fontMetrics().height()) / 2;
    // A line is highlighted across the extent, as wide as the list scrolls.
    const int highlightWidth = extent_ > 0 ? extent_ : viewport()->width();
    const int first = lineAt(area.top());
    const int end = std::min(count(), lineAt(area.bottom()) + 1);
    for (int i = std::max(first, 0); i < end; ++i) {
        const QRect r = lineRect(i);
        const bool selected = i == selected_;
        painter.fillRect(r, colours.brush(QPalette::Base));
        if (selected)
            painter.fillRect(QRect(-left_, r.top(), highlightWidth, lineHeight_),
                             colours.brush(QPalette::Highlight));
        painter.setPen(colours.color(selected ? QPalette::HighlightedText : QPalette::Text));
        painter.drawStaticText(textLeft, r.top() + textTop, lines_[size_t(i)].layout);
    }
    const int blankTop = std::max(area.top(), (end - top_) * lineHeight_);
    if (blankTop <= area.bottom())
        painter.fillRect(QRect(area.left(), blankTop, area.width(), area.bottom() - blankTop + 1),
                         colours.brush(QPalette::Base));
}

void PatternList::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
    updateViewport();
}

void PatternList::changeEvent(QEvent* event) {
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        updateScrollBars();
        updateViewport();
    }
}

void PatternList::keyPressEvent(QKeyEvent* event) {
    int line = selected_;
    switch (event->key()) {
        case Qt::Key_Up:
            line = std::max(line, 1) - 1;
            break;
        case Qt::Key_Down:
            ++line;
            break;
        case Qt::Key_PageUp:
            line = std::max(line, 0) - wholeLinesShown();
            break;
        case Qt::Key_PageDown:
            line = std::max(line, 0) + wholeLinesShown();
            break;
        case Qt::Key_Home:
            line = 0;
            break;
        case Qt::Key_End:
            line = count() - 1;
            break;
        case Qt::Key_Left:
            horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
            return;
        case Qt::Key_Right:
            horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
            return;
        default:
            // Enter and Escape go on to the dialog.
            QAbstractScrollArea::keyPressEvent(event);
            return;
    }
    if (count() > 0) selectLine(std::clamp(line, 0, count() - 1));
}

void PatternList::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    const int line = lineAt(event->position().toPoint().y());
    if (line >= 0 && line < count()) selectLine(line);
}

void PatternList::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton) || count() == 0) {
        QAbstractScrollArea::mouseMoveEvent(event);
        return;
    }
    // Dragging carries the selection along, into view past either edge.
    selectLine(std::clamp(lineAt(event->position().toPoint().y()), 0, count() - 1));
}

}  // namespace tarvex::qt
