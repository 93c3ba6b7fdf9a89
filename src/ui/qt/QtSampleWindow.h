// The samples window as a Qt dialog: "Samples", 362 x 247 dialog units, showing the window logic
// of ui/SampleWindow. Made anew for each opening; every way of closing it stops the preview.
#pragma once

#include <QDialog>
#include <map>

#include "ui/DialogUnits.h"
#include "ui/SampleWindow.h"
#include "ui/qt/RasterPanel.h"

class QCheckBox;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace tarvex::qt {

// The waveform frame: redrawn by the window logic on every paint, nothing kept between paints.
class WaveformPanel : public RasterPanel {
   public:
    WaveformPanel(QWidget* parent, SampleWindow& logic);

   protected:
    void paintEvent(QPaintEvent* event) override;

   private:
    SampleWindow& logic_;
};

class QtSampleWindow : public QDialog, private SampleWindowView {
    Q_OBJECT

   public:
    QtSampleWindow(Player& player, uint32_t sampleIndex, QWidget* parent);

    // initSampleWindow, then the modal dialog until it closes.
    int runModal();
    SampleWindow& logic() { return logic_; }

    // The controls by their ids: the read-only fields, the buttons, the note list and ISP box.
    QLineEdit* field(SampleControl id) const { return fields_.at(id); }
    QPushButton* button(SampleControl id) const { return buttons_.at(id); }
    QListWidget* noteList() const { return notes_; }
    QCheckBox* ispBox() const { return isp_; }
    WaveformPanel* waveformPanel() const { return waveform_; }

    void accept() override;
    void reject() override;

   protected:
    void keyPressEvent(QKeyEvent* event) override;

   private:
    // SampleWindowView
    void setField(SampleControl field, const std::string& text) override;
    void setIspBox(bool checked) override;
    void addNote(const std::string& name) override;
    void selectNote(int32_t index) override;
    uint32_t topNote() const override;
    int waveformWidth() const override;
    int waveformHeight() const override;
    void waveformDrawn(const Raster& raster) override;
    void showError(const std::string& text) override;
    void endDialog() override;

    QRect du(int x, int y, int width, int height) const;
    void buildControls();

    SampleWindow logic_;
    DialogBaseUnits units_;
    std::map<SampleControl, QLineEdit*> fields_;
    std::map<SampleControl, QPushButton*> buttons_;
    QListWidget* notes_ = nullptr;
    QCheckBox* isp_ = nullptr;
    WaveformPanel* waveform_ = nullptr;
    bool closing_ = false;
};

}  // namespace tarvex::qt
