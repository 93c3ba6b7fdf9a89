#include "GuiApp.h"

#include <cstdio>
#include <cstdlib>

#include "audio/devices/Devices.h"

namespace tarvex {

WindowArgs parseWindowArgs(const std::vector<std::string>& args) {
    WindowArgs parsed;
    bool optionsDone = false;
    for (const std::string& arg : args) {
        if (!optionsDone && arg == "--") {
            optionsDone = true;
        } else if (!optionsDone && (arg == "--help" || arg == "-h")) {
            return WindowArgs{WindowArgs::Action::help, std::nullopt, {}};
        } else if (!optionsDone && arg == "--version") {
            return WindowArgs{WindowArgs::Action::version, std::nullopt, {}};
        } else if (!optionsDone && arg.size() > 1 && arg[0] == '-') {
            parsed.action = WindowArgs::Action::usageError;
            parsed.error = "unknown option '" + arg + "'";
        } else if (parsed.path) {
            parsed.action = WindowArgs::Action::usageError;
            parsed.error = "one FILE at a time";
        } else {
            parsed.path = arg;
        }
    }
    return parsed;
}

std::unique_ptr<QApplication> startToolkit(int& argc, char** argv) {
    static constexpr char kNoSharedImages[] = "QT_XCB_NO_MITSHM";
    const bool ours = !qEnvironmentVariableIsSet(kNoSharedImages);
    if (ours) qputenv(kNoSharedImages, "1");
    auto app = std::make_unique<QApplication>(argc, argv);
    if (ours) qunsetenv(kNoSharedImages);
    return app;
}

std::string deviceNameFromEnvironment() {
    const char* name = std::getenv("TARVEX_DEVICE");
    return name != nullptr && *name != 0 ? std::string(name) : std::string("sdl");
}

GuiApp::GuiApp(const std::string& deviceName, std::unique_ptr<SettingsStore> settingsStore)
    : store(std::move(settingsStore)) {
    player.device.backend = makeBackend(deviceName);
    if (!player.device.backend) {
        std::fprintf(stderr, "tarvex: unknown device \"%s\", using sdl\n", deviceName.c_str());
        player.device.backend = makeBackend("sdl");
    }
    window = std::make_unique<qt::QtMainWindow>(player, audio, store.get());
    window->setSubWindows(&viewers);
}

GuiApp::~GuiApp() {
    // The window goes first: nothing may reach the player through it any more.
    window.reset();
}

int GuiApp::run(const std::optional<std::string>& path) {
    window->initialise(path);
    window->exec();
    window->shutdown();
    return 0;
}

}  // namespace tarvex
