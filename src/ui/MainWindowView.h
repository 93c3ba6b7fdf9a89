// What the main window's logic needs of a toolkit: small views the Qt widgets (or a test's fakes)
// implement. Every text handed over is UTF-8.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ui/StatusDisplay.h"

namespace tarvex {

enum class TextField { File, Title, Errors, Tracker, Cpu, Index, Pattern, Row, Bpm, Speed, Time };
enum class OptionBox { Isp, Clipping, DeClick, WideStereo, LoopsOn, LinearFrequ, UseWaveOut };
enum class FormatSelector { Frequency, Channels, Resolution, Buffer };

struct PanelSizes {
    int scopeWidth = 0;  // client area of each scope panel
    int scopeHeight = 0;
    int meterWidth = 0;  // client area of the level-meter panel
    int meterHeight = 0;
};

class MainWindowView {
   public:
    virtual ~MainWindowView() = default;

    virtual void setText(TextField field, const std::string& text) = 0;
    virtual void setCaption(const std::string& text) = 0;
    virtual void clearSampleList() = 0;
    virtual void addSampleLine(const std::string& text) = 0;
    virtual void setBox(OptionBox box, bool checked) = 0;
    virtual void addSelectorEntry(FormatSelector selector, const std::string& text) = 0;
    virtual void selectEntry(FormatSelector selector, uint32_t index) = 0;
    virtual uint32_t selectedEntry(FormatSelector selector) const = 0;
    virtual uint32_t preampPosition() const = 0;
    virtual PanelSizes panelSizes() const = 0;
    virtual bool isMinimised() const = 0;

    virtual void setBusy(bool busy) = 0;
    // A device failure: a message box with the caption "Error:" and an error icon.
    virtual void showError(const std::string& text) = 0;
    // The open-file dialog; nothing when it was cancelled.
    virtual std::optional<std::string> chooseModuleFile() = 0;
    // The panels' rasters have been redrawn and should be shown.
    virtual void panelsDrawn(const StatusPanels& panels) = 0;

    // Modal sub-windows; they return when the window has closed.
    virtual void openSampleWindow(uint32_t sampleIndex) = 0;
    virtual void openPatternWindow() = 0;
    // Lets an open pattern window follow the play position.
    virtual void followPosition(uint32_t pattern, uint32_t row) = 0;
    virtual void showAbout() = 0;
    // Ends the modal dialog (the window is closing).
    virtual void endDialog() = 0;
    // Stops the window timer while its ticks would find nothing to do, and starts it again.
    virtual void setTicking(bool on) = 0;
    // The song selector beside the transport: one entry per song of the module ("Song 2/3"), the
    // one selected, and whether it can be used (only with more than one song to choose from).
    virtual void showSongs(const std::vector<std::string>& entries, uint32_t selected, bool enabled) = 0;
};

// What the window needs of the audio side. The application wires it to the output layer; the
// window never reaches into the device itself.
class AudioControl {
   public:
    virtual ~AudioControl() = default;

    // Starts the loaded module at the engine's songStart, silent up to the start frame below, with
    // the player's settings. Returns the device error text to show, empty when playback started or
    // when there was no module to start.
    virtual std::string startPlayback() = 0;
    virtual void stopPlayback() = 0;
    // Frames every later start plays silently before the first one is heard: a start at a time in
    // the song, exactly as playing through would get there. 0 starts at the song's start.
    virtual void setStartFrame(uint64_t frame) = 0;
    virtual void pauseDevice() = 0;
    virtual void resumeDevice() = 0;
    // Sets the mixer's divisor from the preamp position 1..1024.
    virtual void setPreamp(uint32_t position) = 0;
    virtual uint32_t renderMillis() = 0;
    // The levels of the last rendered buffer, valid until the next call.
    virtual LevelBuffer levels() = 0;
};

}  // namespace tarvex
