#include "ui/qt/RasterPanel.h"

#include <QImage>
#include <QPaintEvent>
#include <QPainter>

namespace tarvex::qt {

RasterPanel::RasterPanel(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(2);
    // The raster covers the client area; nothing below it needs painting first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void RasterPanel::setRaster(const Raster* raster) {
    raster_ = raster;
    update(contentsRect());
}

void RasterPanel::paintEvent(QPaintEvent* event) {
    const QRect client = contentsRect();
    // Refreshes repaint the client area only; the frame needs drawing when more is exposed.
    if (!client.contains(event->rect())) QFrame::paintEvent(event);
    QPainter painter(this);
    if (raster_ == nullptr || raster_->width() == 0 || raster_->height() == 0) {
        painter.fillRect(client, palette().color(backgroundRole()));
        return;
    }
    const QImage image(reinterpret_cast<const uchar*>(raster_->pixels()), raster_->width(), raster_->height(),
                       raster_->width() * 4, QImage::Format_RGB32);
    painter.drawImage(client.topLeft(), image);
}

}  // namespace tarvex::qt
