// The windows of the program on Win32: the main window as a modal dialog, the pattern and samples
// windows it opens, and the about box. Each implements the view of its window's logic in src/ui.
#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <string>

#include "audio/Player.h"
#include "ui/MainWindow.h"
#include "ui/PatternWindow.h"
#include "ui/SampleWindow.h"

namespace tarvex::win32 {

// The about box, modal on parent.
void showAboutBox(HWND parent);

class Win32PatternWindow final : public PatternWindowView {
   public:
    explicit Win32PatternWindow(const Engine& engine) : logic_(engine, *this) {}
    // Runs the dialog modally on parent; returns once it has closed.
    void runModal(HWND parent);
    PatternWindow& logic() { return logic_; }
    HWND handle() const { return hwnd_; }

    void setPatternNumber(const std::string& text) override;
    void setListRedraw(bool on) override;
    void clearLines() override;
    void addLine(const std::string& text) override;
    void selectLine(uint32_t index) override;
    void setHorizontalExtent(int pixels) override;
    int letterHWidth() const override;

   private:
    static INT_PTR CALLBACK dialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR handle(UINT message, WPARAM wParam, LPARAM lParam);
    HWND list() const { return GetDlgItem(hwnd_, 1104); }

    PatternWindow logic_;
    HWND hwnd_ = nullptr;
};

class Win32SampleWindow final : public SampleWindowView {
   public:
    Win32SampleWindow(Player& player, uint32_t sampleIndex) : logic_(player, *this, sampleIndex) {}
    void runModal(HWND parent);
    SampleWindow& logic() { return logic_; }
    HWND handle() const { return hwnd_; }

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

   private:
    static INT_PTR CALLBACK dialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR handle(UINT message, WPARAM wParam, LPARAM lParam);
    RECT waveformClient() const;

    SampleWindow logic_;
    HWND hwnd_ = nullptr;
    bool closing_ = false;
};

class Win32MainWindow final : public MainWindowView {
   public:
    Win32MainWindow(Player& player, AudioControl& audio, SettingsStore* store);
    ~Win32MainWindow() override;

    // Runs the main window as a modal dialog; path (the command line's) is loaded and played
    // during its initialisation. Returns once the window has closed and everything is cleaned up.
    int run(const std::optional<std::string>& path);

    MainWindow& logic() { return logic_; }
    HWND handle() const { return hwnd_; }
    Win32PatternWindow* patternWindow() const { return pattern_.get(); }
    Win32SampleWindow* sampleWindow() const { return samples_; }

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

   private:
    static INT_PTR CALLBACK dialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR handle(UINT message, WPARAM wParam, LPARAM lParam);
    void initDialog();
    void onCommand(int id, int notification);
    void requestClose();
    HWND item(int id) const { return GetDlgItem(hwnd_, id); }

    Player& player_;
    MainWindow logic_;
    HWND hwnd_ = nullptr;
    std::optional<std::string> path_;
    HFONT fixedFont_ = nullptr;
    HCURSOR savedCursor_ = nullptr;
    bool busy_ = false;
    bool closing_ = false;
    bool ticksAllowed_ = false;  // between initialisation and the end of the dialog
    bool ticking_ = false;
    // One pattern window for the whole run, made at its first opening; a samples window per
    // opening, alive while it is open.
    std::unique_ptr<Win32PatternWindow> pattern_;
    Win32SampleWindow* samples_ = nullptr;
};

// The path the command line names: the first argument after the program's own name, by the
// first-argument rule; nothing when there is none.
std::optional<std::string> commandLinePath(const char* commandLine);

}  // namespace tarvex::win32
