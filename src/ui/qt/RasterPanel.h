// A sunken frame whose client area shows a Raster drawn by the window logic.
#pragma once

#include <QFrame>

#include "ui/Raster.h"

namespace tarvex::qt {

class RasterPanel : public QFrame {
   public:
    explicit RasterPanel(QWidget* parent);
    // The raster to show; it must outlive the panel or be replaced. Null shows the background.
    void setRaster(const Raster* raster);
    QSize clientSize() const { return contentsRect().size(); }
    // Repaints the client area after the raster has changed.
    void refresh() { update(contentsRect()); }

   protected:
    void paintEvent(QPaintEvent* event) override;

   private:
    const Raster* raster_ = nullptr;
};

}  // namespace tarvex::qt
