// tarvex-window-probe MODE [FILE]: the windowed player held in one state for bench/play-cpu, which
// measures its CPU time from outside. MODE is one of
//   idle      the window without a module
//   playing   FILE playing
//   paused    FILE started, then paused after a second
//   pattern   FILE playing with the pattern window open and following it
// The device is $TARVEX_DEVICE (as for tarvex). Stored settings are neither read nor written. The
// window stays until it is closed or the process is ended.
#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "GuiApp.h"

namespace {

constexpr int kSettleMs = 1000;  // playing has started and the window has painted once

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const std::string mode = argc > 1 ? argv[1] : "";
    const bool needsFile = mode == "playing" || mode == "paused" || mode == "pattern";
    if (!(mode == "idle" || needsFile) || (needsFile && argc < 3)) {
        std::fprintf(stderr, "usage: tarvex-window-probe idle | playing FILE | paused FILE | pattern FILE\n");
        return 2;
    }
    std::optional<std::string> path;
    if (needsFile) path = std::string(argv[2]);

    tarvex::GuiApp gui(tarvex::deviceNameFromEnvironment(), std::make_unique<tarvex::MemorySettingsStore>());
    tarvex::qt::QtMainWindow& window = *gui.window;
    QTimer::singleShot(kSettleMs, &window, [&] {
        if (mode == "paused") window.logic().onPause();
        // Modal: the main window's timer goes on through the pattern window's own loop.
        if (mode == "pattern") window.logic().onPattern();
    });
    window.show();
    return gui.run(path);
}
