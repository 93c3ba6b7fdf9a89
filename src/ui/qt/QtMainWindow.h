// The main window as Qt widgets: a fixed-size dialog laid out in dialog units, showing the
// window logic of ui/MainWindow.
#pragma once

#include <QDialog>
#include <QTimer>
#include <array>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "ui/DialogUnits.h"
#include "ui/MainWindow.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QMenuBar;
class QPushButton;
class QSlider;

namespace tarvex {
class SettingsStore;
}

namespace tarvex::qt {

class RasterPanel;
class StatusField;

// The samples and pattern windows, provided by the application; without them the menu entries
// and the double-click open nothing.
class SubWindows {
   public:
    virtual ~SubWindows() = default;
    virtual void openSamples(QWidget* parent, uint32_t sampleIndex) = 0;
    virtual void openPattern(QWidget* parent) = 0;
    virtual void followPosition(uint32_t pattern, uint32_t row) = 0;
};

// "MS Sans Serif" at 8 points where it exists, else the system's sans font at 8 points.
QFont dialogFont();
DialogBaseUnits dialogBaseUnits(const QFont& font);
// A layout rectangle in dialog units as pixels for those base units.
QRect dialogRect(int x, int y, int width, int height, DialogBaseUnits units);
// The window logic's UTF-8 text as a Qt string.
QString fromUtf8(const std::string& text);

class QtMainWindow : public QDialog, private MainWindowView {
    Q_OBJECT

   public:
    QtMainWindow(Engine& engine, AudioControl& audio, SettingsStore* store, QWidget* parent = nullptr);
    ~QtMainWindow() override;

    void setSubWindows(SubWindows* subWindows) { subWindows_ = subWindows; }
    // Window initialisation; then the command line's path, if any, is loaded and played.
    void initialise(const std::optional<std::string>& commandLinePath);
    // After the dialog has ended: close the list, stop, drop the module.
    void shutdown();

    MainWindow& logic() { return logic_; }
    DialogBaseUnits baseUnits() const { return units_; }
    QTimer& statusTimer() { return timer_; }

    // For tests and tools: the widgets by their role.
    // The text shown in a field: an edit's, or a status figure's.
    QString fieldText(TextField which) const;
    QCheckBox* box(OptionBox which) const { return boxes_.at(which); }
    QComboBox* selector(FormatSelector which) const { return selectors_.at(which); }
    QListWidget* sampleList() const { return samples_; }
    QSlider* preamp() const { return preamp_; }
    QPushButton* transportButton(int index) const { return transport_.at(size_t(index)); }
    QComboBox* songSelector() const { return songSelector_; }
    QMenuBar* menuBar() const { return menuBar_; }
    QWidget* client() const { return client_; }
    RasterPanel* leftScopePanel() const { return leftScope_; }
    RasterPanel* meterPanel() const { return meter_; }
    RasterPanel* rightScopePanel() const { return rightScope_; }

    void accept() override;
    void reject() override;

   protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;
    // The user's input anywhere in the application, and the window's state, wake the timer.
    bool eventFilter(QObject* watched, QEvent* event) override;

   private:
    // MainWindowView
    void setText(TextField field, const std::string& text) override;
    void setCaption(const std::string& text) override;
    void clearSampleList() override;
    void addSampleLine(const std::string& text) override;
    void setBox(OptionBox box, bool checked) override;
    void addSelectorEntry(FormatSelector selector, const std::string& text) override;
    void selectEntry(FormatSelector selector, uint32_t index) override;
    uint32_t selectedEntry(FormatSelector selector) const override;
    uint32_t preampPosition() const override;
    PanelSizes panelSizes() const override;
    bool isMinimised() const override;
    void setBusy(bool busy) override;
    void showError(const std::string& text) override;
    std::optional<std::string> chooseModuleFile() override;
    void panelsDrawn(const StatusPanels& panels) override;
    void openSampleWindow(uint32_t sampleIndex) override;
    void openPatternWindow() override;
    void followPosition(uint32_t pattern, uint32_t row) override;
    void showAbout() override;
    void endDialog() override;
    void setTicking(bool on) override;
    void showSongs(const std::vector<std::string>& entries, uint32_t selected, bool enabled) override;

    QRect du(int x, int y, int width, int height) const;
    void buildMenu();
    void buildControls();
    void addSystemMenuEntry();
    void requestClose();

    MainWindow logic_;
    SubWindows* subWindows_ = nullptr;
    QFont font_;
    DialogBaseUnits units_;
    QMenuBar* menuBar_ = nullptr;
    QWidget* client_ = nullptr;
    std::map<TextField, QLineEdit*> edits_;      // texts of the module, to be selected and copied
    std::map<TextField, StatusField*> figures_;  // the player's figures, rewritten as it plays
    std::map<OptionBox, QCheckBox*> boxes_;
    std::map<FormatSelector, QComboBox*> selectors_;
    QListWidget* samples_ = nullptr;
    QSlider* preamp_ = nullptr;
    std::array<QPushButton*, 6> transport_ = {};
    QComboBox* songSelector_ = nullptr;
    RasterPanel* leftScope_ = nullptr;
    RasterPanel* meter_ = nullptr;
    RasterPanel* rightScope_ = nullptr;
    QTimer timer_;
    bool closing_ = false;
    bool ticksAllowed_ = false;  // between initialise and the end of the dialog
};

// The about box: "About Tarvex V1.5" with the product name, its version and an OK button, at least
// as wide as the caption a window manager draws for it (captionWidth).
std::unique_ptr<QDialog> makeAboutBox(QWidget* parent);
void showAboutBox(QWidget* parent);
int captionWidth(const QString& caption);

}  // namespace tarvex::qt
