#include "ui/qt/QtPatternWindow.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>

#include "ui/qt/Icons.h"
#include "ui/qt/PatternList.h"
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

    list_ = new PatternList(this);
    list_->setGeometry(du(7, 51, 418, 221));
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
    list_->setLineHeight(std::min(QFontMetrics(fixedFont_).lineSpacing() + kLinePadding, pitch));
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

// The lines of a page are gathered while redrawing is suspended and handed to the list as one
// page when it resumes: the list keeps what the new page has in common with the last one.
void QtPatternWindow::setListRedraw(bool on) {
    if (!on) {
        ++suspensions_;
        building_ = true;
        return;
    }
    if (building_) {
        list_->setLines(pending_);
        building_ = false;
        scrollPending_ = true;
    }
}

void QtPatternWindow::clearLines() {
    pending_.clear();
    if (!building_) list_->setLines(pending_);
}

void QtPatternWindow::addLine(const std::string& text) {
    pending_.push_back(fromUtf8(text));
    if (!building_) list_->setLines(pending_);
}

void QtPatternWindow::selectLine(uint32_t index) {
    if (index >= uint32_t(list_->count())) return;
    // Every refresh asks again for the same line; only a new line or a new page needs work.
    if (list_->selectedLine() != int(index) || scrollPending_) list_->selectLine(int(index));
    scrollPending_ = false;
}

int QtPatternWindow::horizontalExtent() const {
    return list_->extent();
}

void QtPatternWindow::setHorizontalExtent(int pixels) {
    list_->setExtent(pixels);
}

int QtPatternWindow::letterHWidth() const {
    // The list's own surface before the fixed font: the toolkit's default font.
    return QFontMetrics(QApplication::font(list_)).horizontalAdvance(QLatin1Char('H'));
}

}  // namespace tarvex::qt
