// The pattern and samples windows as the main window opens them: one pattern window for the whole
// run, made at its first opening, and a samples window made anew for each opening.
#pragma once

#include <QPointer>

#include "audio/Player.h"
#include "ui/qt/QtMainWindow.h"
#include "ui/qt/QtPatternWindow.h"
#include "ui/qt/QtSampleWindow.h"

namespace tarvex::qt {

class QtViewers : public SubWindows {
   public:
    explicit QtViewers(Player& player) : player_(player) {}
    ~QtViewers() override;

    void openSamples(QWidget* parent, uint32_t sampleIndex) override;
    void openPattern(QWidget* parent) override;
    void followPosition(uint32_t pattern, uint32_t row) override;

    // The pattern window once it has been opened; the samples window while it is open.
    QtPatternWindow* patternWindow() const { return pattern_.data(); }
    QtSampleWindow* sampleWindow() const { return samples_; }

   private:
    Player& player_;
    // Owned by its parent, the main window, which may go first.
    QPointer<QtPatternWindow> pattern_;
    QtSampleWindow* samples_ = nullptr;
};

}  // namespace tarvex::qt
