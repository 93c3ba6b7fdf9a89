#include "ui/qt/ViewerIcons.h"

#include <QPainter>
#include <QPixmap>
#include <QPolygonF>

namespace tarvex::qt {

namespace {

constexpr int kIconSize = 32;

}  // namespace

QIcon arrowIcon(ArrowIcon direction) {
    QPixmap pixmap(kIconSize, kIconSize);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    // Drawn pointing right; the left arrow is its mirror image.
    if (direction == ArrowIcon::Left) {
        p.translate(kIconSize, 0);
        p.scale(-1, 1);
    }
    p.drawRect(QRectF(4, 13, 14, 6));
    p.drawPolygon(QPolygonF({QPointF(17, 6), QPointF(28, 16), QPointF(17, 26)}));
    return QIcon(pixmap);
}

}  // namespace tarvex::qt
