#include "ui/qt/StatusWidgets.h"

#include <QEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>

namespace tarvex::qt {

namespace {

// What a line edit keeps between its contents and its text, left and right.
constexpr int kTextMargin = 2;
// Laid-out texts kept by a status field: every row number and then some.
constexpr qsizetype kTextsKept = 128;

// A picture of the widget's size at the screen's pixel ratio.
QPixmap blankPicture(const QWidget& widget) {
    const qreal ratio = widget.devicePixelRatioF();
    QPixmap picture(widget.size() * ratio);
    picture.setDevicePixelRatio(ratio);
    picture.fill(widget.palette().color(widget.backgroundRole()));
    return picture;
}

void copyPicture(QWidget& widget, const QPixmap& picture, const QRect& area) {
    QPainter painter(&widget);
    painter.drawPixmap(area, picture,
                       QRectF(QPointF(area.topLeft()) * picture.devicePixelRatio(),
                              QSizeF(area.size()) * picture.devicePixelRatio()));
}

// Pictures show the widget as it was; these changes make it look different.
bool changesLook(const QEvent& event) {
    switch (event.type()) {
        case QEvent::PaletteChange:
        case QEvent::FontChange:
        case QEvent::StyleChange:
        case QEvent::EnabledChange:
        case QEvent::LayoutDirectionChange:
        case QEvent::ActivationChange:  // the palette may differ while the window is inactive
            return true;
        default:
            return false;
    }
}

}  // namespace

CachedGroupBox::CachedGroupBox(const QString& title, QWidget* parent) : QGroupBox(title, parent) {
    // Both ways of painting below cover the window's ground under the box as well.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

bool CachedGroupBox::hasPicture() const {
    return !picture_.isNull() && picture_.devicePixelRatio() == devicePixelRatioF();
}

void CachedGroupBox::paintEvent(QPaintEvent* event) {
    if (!drawing_ && hasPicture()) {
        copyPicture(*this, picture_, event->rect());
        return;
    }
    {
        QPainter ground(this);
        ground.fillRect(event->rect(), palette().brush(backgroundRole()));
    }
    QGroupBox::paintEvent(event);
    // The picture is taken by the box's own painting, which cannot run again inside this one.
    if (!drawing_)
        QMetaObject::invokeMethod(
            this, [this] { takePicture(); }, Qt::QueuedConnection);
}

void CachedGroupBox::takePicture() {
    if (hasPicture()) return;
    QPixmap picture = blankPicture(*this);
    drawing_ = true;
    render(&picture, QPoint(), QRegion(), RenderFlags());
    drawing_ = false;
    picture_ = picture;
}

void CachedGroupBox::changeEvent(QEvent* event) {
    if (changesLook(*event)) picture_ = QPixmap();
    QGroupBox::changeEvent(event);
}

void CachedGroupBox::resizeEvent(QResizeEvent* event) {
    picture_ = QPixmap();
    QGroupBox::resizeEvent(event);
}

StatusField::StatusField(QWidget* parent) : QWidget(parent) {}

void StatusField::setText(const QString& text) {
    if (text == text_) return;
    text_ = text;
    auto found = laidOut_.find(text);
    if (found == laidOut_.end()) {
        // A figure takes few values over and over (rows, speeds); laying out a text costs more
        // than all the rest of its repaint.
        if (laidOut_.size() >= kTextsKept) laidOut_.clear();
        found = laidOut_.insert(text, layOut(text));
    }
    shown_ = *found;
    // What a screen reader reads of the field, as it read an edit's text.
    setAccessibleName(text);
    update();
}

StatusField::LaidOut StatusField::layOut(const QString& text) const {
    LaidOut laidOut{QStaticText(text), 0};
    laidOut.text.setTextFormat(Qt::PlainText);
    laidOut.text.prepare(QTransform(), font());
    const QFontMetrics metrics = fontMetrics();
    laidOut.height = std::max(metrics.boundingRect(text).height(), metrics.height());
    return laidOut;
}

void StatusField::paintEvent(QPaintEvent*) {
    QStyleOptionFrame option;
    option.initFrom(this);
    option.rect = rect();
    option.lineWidth = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, this);
    option.midLineWidth = 0;
    option.state |= QStyle::State_Sunken | QStyle::State_ReadOnly;
    option.features = QStyleOptionFrame::None;
    QPainter painter(this);
    // Drawn on the ground each time: a kept picture of its rounded corners would blend them
    // with the ground a shade differently.
    style()->drawPrimitive(QStyle::PE_PanelLineEdit, &option, &painter, this);
    if (text_.isEmpty()) return;

    // Placed as a centred line edit places its text: centred on the font's height and within the
    // margins (a text too wide starts at the left margin), the baseline kept when the text is
    // taller than the font.
    const QRect contents = style()->subElementRect(QStyle::SE_LineEditContents, &option, this);
    const QRect line(contents.x() + kTextMargin, contents.y() + (contents.height() - shown_.height + 1) / 2,
                     contents.width() - 2 * kTextMargin, shown_.height);
    const int used = qRound(shown_.text.size().width()) + 1;
    const int scroll = used <= line.width() ? (used - line.width()) / 2 : 0;
    painter.setClipRect(contents);
    painter.setFont(font());
    painter.setPen(palette().color(QPalette::Text));
    painter.drawStaticText(line.topLeft() - QPoint(scroll, 0), shown_.text);
}

void StatusField::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) {
        laidOut_.clear();
        shown_ = layOut(text_);
    }
    QWidget::changeEvent(event);
}

}  // namespace tarvex::qt
