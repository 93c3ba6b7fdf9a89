#include "ui/qt/Icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPolygonF>

namespace tarvex::qt {

namespace {

constexpr int kIconSize = 32;

QPolygonF triangleRight(qreal left, qreal right) {
    return QPolygonF({QPointF(left, 8), QPointF(right, 16), QPointF(left, 24)});
}

QPolygonF triangleLeft(qreal left, qreal right) {
    return QPolygonF({QPointF(right, 8), QPointF(left, 16), QPointF(right, 24)});
}

}  // namespace

QIcon transportIcon(TransportIcon which) {
    QPixmap pixmap(kIconSize, kIconSize);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    switch (which) {
        case TransportIcon::Rewind:
            p.drawPolygon(triangleLeft(4, 16));
            p.drawPolygon(triangleLeft(16, 28));
            break;
        case TransportIcon::Play:
            p.drawPolygon(triangleRight(10, 24));
            break;
        case TransportIcon::FastForward:
            p.drawPolygon(triangleRight(4, 16));
            p.drawPolygon(triangleRight(16, 28));
            break;
        case TransportIcon::NextEntry:
            p.drawPolygon(triangleRight(3, 13));
            p.drawPolygon(triangleRight(13, 23));
            p.drawRect(QRectF(24, 8, 4, 16));
            break;
        case TransportIcon::Pause:
            p.drawRect(QRectF(9, 8, 5, 16));
            p.drawRect(QRectF(18, 8, 5, 16));
            break;
        case TransportIcon::Stop:
            p.drawRect(QRectF(9, 9, 14, 14));
            break;
    }
    return QIcon(pixmap);
}

QIcon applicationIcon() {
    // A dark disc with a green trace, as on the scopes.
    QIcon icon;
    for (int size : {32, 16}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 32.0, size / 32.0);
        p.setPen(QPen(QColor(40, 40, 40), 1.5));
        p.setBrush(QColor(20, 20, 28));
        p.drawEllipse(QRectF(1.5, 1.5, 29, 29));
        QPainterPath trace;
        trace.moveTo(5, 16);
        trace.cubicTo(9, 4, 12, 4, 14, 16);
        trace.cubicTo(16, 28, 19, 28, 21, 16);
        trace.cubicTo(23, 9, 25, 9, 27, 16);
        p.setPen(QPen(QColor(40, 230, 40), 2.5, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawPath(trace);
        icon.addPixmap(pixmap);
    }
    return icon;
}

}  // namespace tarvex::qt
