// Everything the windowed player has one of, wired together: the player with its output device,
// the settings store and the main window.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "audio/Player.h"
#include "ui/PlayerAudio.h"
#include "ui/Settings.h"
#include "ui/qt/QtMainWindow.h"
#include "ui/qt/QtViewers.h"

namespace tarvex {

// What the command line asks of tarvex: FILE at most, --help, --version; "--" ends the options.
struct WindowArgs {
    enum class Action { run, help, version, usageError } action = Action::run;
    std::optional<std::string> path;
    std::string error;  // for usageError
};
WindowArgs parseWindowArgs(const std::vector<std::string>& args);

// The device the window plays on: $TARVEX_DEVICE ("sdl", "null" or "capture=OUT.wav"), else "sdl".
std::string deviceNameFromEnvironment();

class GuiApp {
   public:
    // Uses the named backend; an unknown name falls back to "sdl" with a notice on stderr.
    GuiApp(const std::string& deviceName, std::unique_ptr<SettingsStore> store);
    ~GuiApp();

    // Initialises the window (loading and playing path, if any), runs it modally and cleans up
    // once it has closed. Returns the application's exit status.
    int run(const std::optional<std::string>& path);

    Player player;
    PlayerAudio audio{player};
    std::unique_ptr<SettingsStore> store;
    std::unique_ptr<qt::QtMainWindow> window;
    // The pattern and samples windows the main window opens.
    qt::QtViewers viewers{player};
};

}  // namespace tarvex
