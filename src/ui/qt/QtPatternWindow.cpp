#include "ui/qt/QtPatternWindow.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <algorithm>

#include "ui/qt/Icons.h"
#include "ui/qt/QtMainWindow.h"

namespace tarvex::qt {

namespace {

constexpr int kWidthDu = 432;
constexpr int kHeightDu = 279;
constexpr int kLabelHeightDu = 8;
// The last page holds rows 44 to 63: all of its lines fit the list's height.
constexpr int kRowsShown = 20;
constexpr int kLinePadding = 2;  // pixels between lines, where there is room for them
constexpr int kSmallestFontPixels = 6;
// A following page is a row or two on from the last; further on, most texts change anyway.
constexpr int kDroppedLinesSought = 4;

}  // namespace

QtPatternWindow::QtPatternWindow(const Engine& engine, QWidget* parent)
    : QDialog(parent), logic_(engine, *this) {
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::CustomizeWindowHint);
    setWindowTitle(QStringLiteral("Pattern"));
    const QFont font = dialogFont();
    setFont(font);
    units_ = dialogBaseUnits(font);
    setFixedSize(dialogXToPixels(kWidthDu, units_), dialogYToPixels(kHeightDu, units_));

    close_ = new QPushButton(QStringLiteral("Close"), this);
    close_->setGeometry(du(189, 20, 50, 14));
    close_->setDefault(true);  // the dialog's OK command
    connect(close_, &QPushButton::clicked, this, &QDialog::accept);

    auto* label = new QLabel(QStringLiteral("Pattern:"), this);
    const QRect at = du(69, 15, 0, kLabelHeightDu);
    label->setGeometry(at.x(), at.y(), QFontMetrics(font).horizontalAdvance(label->text()) + 2, at.height());
    number_ = new QLineEdit(this);
    number_->setReadOnly(true);
    number_->setGeometry(du(69, 23, 42, 12));
    number_->setTextMargins(0, 0, 0, 0);

    previous_ = new QPushButton(this);
    previous_->setGeometry(du(31, 19, 22, 17));
    previous_->setToolTip(QStringLiteral("Previous pattern"));
    next_ = new QPushButton(this);
    next_->setGeometry(du(129, 19, 22, 17));
    next_->setToolTip(QStringLiteral("Next pattern"));
    connect(previous_, &QPushButton::clicked, this, [this] { logic_.previousPattern(); });
    connect(next_, &QPushButton::clicked, this, [this] { logic_.nextPattern(); });

    list_ = new QListWidget(this);
    list_->setGeometry(du(7, 51, 418, 221));
    list_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    list_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    // Every line has the extent's width: only the first one needs measuring.
    list_->setUniformItemSizes(true);
}

QRect QtPatternWindow::du(int x, int y, int width, int height) const {
    return dialogRect(x, y, width, height, units_);
}

void QtPatternWindow::runModal() {
    previous_->setIcon(arrowIcon(ArrowIcon::Left));
    next_->setIcon(arrowIcon(ArrowIcon::Right));
    for (QPushButton* button : {previous_, next_}) {
        const int side = std::min(button->width(), button->height()) - 4;
        button->setIconSize(QSize(side, side));
    }
    if (!haveFixedFont_) {
        fixedFont_ = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        haveFixedFont_ = true;
    }
    // The line pitch that shows twenty lines; a fixed font too tall for it is made smaller.
    const int pitch = std::max(1, list_->maximumViewportSize().height() / kRowsShown);
    while (QFontMetrics(fixedFont_).lineSpacing() > pitch) {
        const int pixels = QFontInfo(fixedFont_).pixelSize();
        if (pixels <= kSmallestFontPixels) break;
        fixedFont_.setPixelSize(pixels - 1);
    }
    list_->setFont(fixedFont_);
    lineHeight_ = std::min(QFontMetrics(fixedFont_).lineSpacing() + kLinePadding, pitch);
    logic_.initialise();
    // Each opening starts on the first control, as a freshly made dialog would.
    close_->setFocus();
    exec();
    // However the dialog ended, following stops with it.
    logic_.close();
}

void QtPatternWindow::done(int result) {
    logic_.close();
    QDialog::done(result);
}

void QtPatternWindow::setPatternNumber(const std::string& text) {
    const QString value = fromUtf8(text);
    if (number_->text() != value) number_->setText(value);
}

// A page that follows the song moves by one row at a time: the lines after the first stay as
// they are. So a page is written into the lines there are: lines the new page starts after are
// taken away at its start, a text is set only where it differs, new lines are added only when
// the page is longer and the rest taken away at the end. Nothing is painted while the lines are
// set: the list repaints what changed once, when the event loop comes round to it.
void QtPatternWindow::setListRedraw(bool on) {
    if (!on) {
        ++suspensions_;
        building_ = true;
        return;
    }
    if (building_) {
        while (list_->count() > linesSet_) delete list_->takeItem(list_->count() - 1);
        building_ = false;
        scrollPending_ = true;
    }
}

void QtPatternWindow::clearLines() {
    linesSet_ = 0;
    if (!building_) list_->clear();
}

void QtPatternWindow::addLine(const std::string& text) {
    const QString value = fromUtf8(text);
    // The horizontal extent is the width the list scrolls across.
    const QSize size(extent_, lineHeight_);
    if (building_ && linesSet_ == 0) {
        // The page scrolled on by a row or a few: the lines before the new first one go.
        for (int drop = 1; drop <= kDroppedLinesSought && drop < list_->count(); ++drop) {
            if (list_->item(drop)->text() != value) continue;
            for (int i = 0; i < drop; ++i) delete list_->takeItem(0);
            break;
        }
    }
    if (building_ && linesSet_ < list_->count()) {
        QListWidgetItem* item = list_->item(linesSet_);
        if (item->text() != value) item->setText(value);
        if (item->sizeHint() != size) item->setSizeHint(size);
    } else {
        auto* item = new QListWidgetItem(value);
        item->setSizeHint(size);
        list_->addItem(item);
    }
    ++linesSet_;
}

void QtPatternWindow::selectLine(uint32_t index) {
    if (index >= uint32_t(list_->count())) return;
    // Every refresh asks again for the same line; only a new line or a new page needs work.
    const bool moved = list_->currentRow() != int(index);
    if (moved) list_->setCurrentRow(int(index));
    if (moved || scrollPending_)
        list_->scrollToItem(list_->item(int(index)), QAbstractItemView::EnsureVisible);
    scrollPending_ = false;
}

void QtPatternWindow::setHorizontalExtent(int pixels) {
    extent_ = pixels;
}

int QtPatternWindow::letterHWidth() const {
    // The list's own surface before the fixed font: the toolkit's default font.
    return QFontMetrics(QApplication::font(list_)).horizontalAdvance(QLatin1Char('H'));
}

}  // namespace tarvex::qt
