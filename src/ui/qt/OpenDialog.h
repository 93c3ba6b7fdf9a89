#pragma once

#include <QFileDialog>
#include <memory>

namespace tarvex::qt {

// The "open Mod-file" dialog of the main window's "&Open modfile", with its filters. When Qt draws
// the dialog itself (no native one), its file list shows every column heading in full when it
// opens: no column narrower than its heading with the sort arrow beside it, and all of them in
// view, the dialog growing for them as far as the screen allows.
class OpenDialog : public QFileDialog {
   public:
    explicit OpenDialog(QWidget* parent);

   protected:
    void showEvent(QShowEvent* event) override;

   private:
    void fitHeadings();
};

std::unique_ptr<QFileDialog> makeOpenDialog(QWidget* parent);

}  // namespace tarvex::qt
