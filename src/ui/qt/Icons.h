// The transport, viewer and application icons, drawn at run time: shapes on a transparent ground.
// The transport and viewer icons are black, 32 x 32 pixels; the preview's play and stop icons are
// the transport's triangle and square.
#pragma once

#include <QBrush>
#include <QByteArray>
#include <QIcon>
#include <QImage>
#include <QPainterPath>
#include <QPen>
#include <vector>

namespace tarvex::qt {

enum class TransportIcon { Rewind, Play, FastForward, NextEntry, Pause, Stop };

QIcon transportIcon(TransportIcon which);

// The pattern and samples windows' arrows: a shaft and a head, pointing left (previous) or right
// (next).
enum class ArrowIcon { Left, Right };
QIcon arrowIcon(ArrowIcon direction);

// The application icon: shapes on a 32 x 32 grid, painted in order. The window, the installed
// PNG icons and the SVG icon are all drawn from these.
struct IconShape {
    QPainterPath path;
    QPen pen;
    QBrush brush;
};
std::vector<IconShape> applicationIconShapes();
// The shapes painted into a transparent size x size image.
QImage applicationIconImage(int size);
// The window's icon, 32 x 32 and 16 x 16.
QIcon applicationIcon();
// The same shapes as an SVG document.
QByteArray applicationIconSvg();

}  // namespace tarvex::qt
