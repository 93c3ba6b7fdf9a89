#include "ui/qt/QtViewers.h"

namespace tarvex::qt {

QtViewers::~QtViewers() {
    delete pattern_.data();
}

void QtViewers::openSamples(QWidget* parent, uint32_t sampleIndex) {
    QtSampleWindow window(player_, sampleIndex, parent);
    samples_ = &window;
    window.runModal();
    samples_ = nullptr;
}

void QtViewers::openPattern(QWidget* parent) {
    if (pattern_.isNull()) pattern_ = new QtPatternWindow(player_, parent);
    pattern_->runModal();
}

void QtViewers::followPosition(uint32_t pattern, uint32_t row) {
    if (!pattern_.isNull()) pattern_->logic().followPosition(pattern, row);
}

}  // namespace tarvex::qt
