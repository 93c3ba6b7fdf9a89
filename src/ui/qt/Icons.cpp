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

// A transparent square on which draw paints with a black brush and no pen.
template <class Draw>
QIcon blackIcon(Draw draw) {
    QPixmap pixmap(kIconSize, kIconSize);
    pixmap.fill(Qt::transparent);
    {
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::black);
        draw(p);
    }
    return QIcon(pixmap);
}

void drawTransport(QPainter& p, TransportIcon which) {
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
}

}  // namespace

QIcon transportIcon(TransportIcon which) {
    return blackIcon([which](QPainter& p) { drawTransport(p, which); });
}

QIcon arrowIcon(ArrowIcon direction) {
    return blackIcon([direction](QPainter& p) {
        // Drawn pointing right; the left arrow is its mirror image.
        if (direction == ArrowIcon::Left) {
            p.translate(kIconSize, 0);
            p.scale(-1, 1);
        }
        p.drawRect(QRectF(4, 13, 14, 6));
        p.drawPolygon(QPolygonF({QPointF(17, 6), QPointF(28, 16), QPointF(17, 26)}));
    });
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
