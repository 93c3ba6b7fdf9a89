// The pattern window as a Qt dialog: "Pattern", 432 x 279 dialog units, showing the window logic
// of ui/PatternWindow. One dialog serves the whole program run; each opening reuses it.
#pragma once

#include <QDialog>
#include <QFont>
#include <QString>
#include <vector>

#include "ui/DialogUnits.h"
#include "ui/PatternWindow.h"

class QLineEdit;
class QPushButton;

namespace tarvex::qt {

class PatternList;

class QtPatternWindow : public QDialog, private PatternWindowView {
    Q_OBJECT

   public:
    QtPatternWindow(const Engine& engine, QWidget* parent);

    // The window's initialisation, then the modal dialog until it closes.
    void runModal();
    PatternWindow& logic() { return logic_; }

    PatternList* list() const { return list_; }
    QLineEdit* numberField() const { return number_; }
    QPushButton* previousButton() const { return previous_; }
    QPushButton* nextButton() const { return next_; }
    QPushButton* closeButton() const { return close_; }
    int horizontalExtent() const;
    // Suspensions of the list's redrawing so far (one per page built, one per opening).
    int redrawSuspensions() const { return suspensions_; }

    void done(int result) override;

   private:
    // PatternWindowView
    void setPatternNumber(const std::string& text) override;
    void setListRedraw(bool on) override;
    void clearLines() override;
    void addLine(const std::string& text) override;
    void selectLine(uint32_t index) override;
    void setHorizontalExtent(int pixels) override;
    int letterHWidth() const override;

    QRect du(int x, int y, int width, int height) const;

    PatternWindow logic_;
    DialogBaseUnits units_;
    PatternList* list_ = nullptr;
    QLineEdit* number_ = nullptr;
    QPushButton* previous_ = nullptr;
    QPushButton* next_ = nullptr;
    QPushButton* close_ = nullptr;
    // The system's fixed-pitch font, made at the first opening and kept from then on.
    QFont fixedFont_;
    bool haveFixedFont_ = false;
    int suspensions_ = 0;
    // The page being built, handed to the list when redrawing resumes.
    std::vector<QString> pending_;
    bool building_ = false;
    // The page changed since the selected line was last brought into view.
    bool scrollPending_ = false;
};

}  // namespace tarvex::qt
