#include "ui/qt/Icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPolygonF>
#include <QString>

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

std::vector<IconShape> applicationIconShapes() {
    // A dark disc with a green trace, as on the scopes.
    IconShape disc;
    disc.path.addEllipse(QRectF(1.5, 1.5, 29, 29));
    disc.pen = QPen(QColor(40, 40, 40), 1.5);
    disc.brush = QColor(20, 20, 28);
    IconShape trace;
    trace.path.moveTo(5, 16);
    trace.path.cubicTo(9, 4, 12, 4, 14, 16);
    trace.path.cubicTo(16, 28, 19, 28, 21, 16);
    trace.path.cubicTo(23, 9, 25, 9, 27, 16);
    trace.pen = QPen(QColor(40, 230, 40), 2.5, Qt::SolidLine, Qt::RoundCap);
    trace.brush = Qt::NoBrush;
    return {disc, trace};
}

QImage applicationIconImage(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / qreal(kIconSize), size / qreal(kIconSize));
    for (const IconShape& shape : applicationIconShapes()) {
        p.setPen(shape.pen);
        p.setBrush(shape.brush);
        p.drawPath(shape.path);
    }
    return image;
}

QIcon applicationIcon() {
    QIcon icon;
    for (int size : {32, 16}) icon.addPixmap(QPixmap::fromImage(applicationIconImage(size)));
    return icon;
}

namespace {

// The icon's colours are opaque.
QString svgColour(const QColor& colour) {
    return colour.name(QColor::HexRgb);
}

QString svgNumber(qreal value) {
    return QString::number(value, 'g', 6);
}

QString svgPathData(const QPainterPath& path) {
    QString d;
    QPointF subpathStart;
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        const auto point = [](const QPainterPath::Element& at) {
            return svgNumber(at.x) + QLatin1Char(',') + svgNumber(at.y);
        };
        if (!d.isEmpty()) d += QLatin1Char(' ');
        switch (e.type) {
            case QPainterPath::MoveToElement:
                d += QLatin1Char('M') + point(e);
                subpathStart = QPointF(e.x, e.y);
                break;
            case QPainterPath::LineToElement:
                d += QLatin1Char('L') + point(e);
                break;
            case QPainterPath::CurveToElement:
                d += QLatin1Char('C') + point(e) + QLatin1Char(' ') + point(path.elementAt(i + 1)) +
                     QLatin1Char(' ') + point(path.elementAt(i + 2));
                i += 2;
                break;
            case QPainterPath::CurveToDataElement:
                break;
        }
    }
    // A closed outline (the disc) ends where it began; Z joins the ends as the painter does.
    if (path.elementCount() > 1 && path.currentPosition() == subpathStart) d += QStringLiteral(" Z");
    return d;
}

QString svgCap(Qt::PenCapStyle cap) {
    switch (cap) {
        case Qt::RoundCap:
            return QStringLiteral("round");
        case Qt::SquareCap:
            return QStringLiteral("square");
        default:
            return QStringLiteral("butt");
    }
}

QString svgJoin(Qt::PenJoinStyle join) {
    switch (join) {
        case Qt::RoundJoin:
            return QStringLiteral("round");
        case Qt::BevelJoin:
            return QStringLiteral("bevel");
        default:
            return QStringLiteral("miter");
    }
}

}  // namespace

QByteArray applicationIconSvg() {
    QString svg = QStringLiteral(
                      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" height=\"%1\" "
                      "viewBox=\"0 0 %1 %1\">\n")
                      .arg(kIconSize);
    for (const IconShape& shape : applicationIconShapes()) {
        svg += QStringLiteral("  <path d=\"%1\"").arg(svgPathData(shape.path));
        if (shape.brush.style() == Qt::NoBrush) {
            svg += QStringLiteral(" fill=\"none\"");
        } else {
            svg += QStringLiteral(" fill=\"%1\"").arg(svgColour(shape.brush.color()));
        }
        if (shape.pen.style() == Qt::NoPen) {
            svg += QStringLiteral(" stroke=\"none\"");
        } else {
            svg += QStringLiteral(
                       " stroke=\"%1\" stroke-width=\"%2\" stroke-linecap=\"%3\" "
                       "stroke-linejoin=\"%4\"")
                       .arg(svgColour(shape.pen.color()), svgNumber(shape.pen.widthF()),
                            svgCap(shape.pen.capStyle()), svgJoin(shape.pen.joinStyle()));
        }
        svg += QStringLiteral("/>\n");
    }
    svg += QStringLiteral("</svg>\n");
    return svg.toUtf8();
}

}  // namespace tarvex::qt
