// Everything the windowed player has one of, wired together: the player with its output device,
// the settings store and the main window.
#pragma once

#include <QApplication>
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

// The windowed player's QApplication. On X11 Qt hands its pictures to the display server in shared
// memory, and before it paints over one it has handed over it waits for the server to confirm: a
// round trip for every scope refresh, some 40 a second while playing. The window's pictures are a
// few small panels, which cost less sent through the connection (about a tenth of the window's CPU
// while playing). A choice of QT_XCB_NO_MITSHM the user made is kept; ours leaves the environment
// again once the toolkit has read it, so that programs started from the window do not inherit it.
std::unique_ptr<QApplication> startToolkit(int& argc, char** argv);

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
