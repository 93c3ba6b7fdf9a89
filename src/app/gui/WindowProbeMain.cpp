// tarvex-window-probe MODE [FILE]: the windowed player held in one state for bench/play-cpu, which
// measures its CPU time from outside. MODE is one of
//   idle      the window without a module
//   playing   FILE playing
//   paused    FILE started, then paused after a second
//   pattern   FILE playing with the pattern window open and following it
//   floor     the window without a module, its scopes and meter repainted on a 15 ms timer
//             whenever 25 ms have passed: what the toolkit alone costs for the pictures a song
//             at the default buffer length asks for, with no player and no drawing of our own
// The device is $TARVEX_DEVICE (as for tarvex). Stored settings are neither read nor written. The
// window stays until it is closed or the process is ended.
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "GuiApp.h"
#include "ui/qt/RasterPanel.h"

namespace {

constexpr int kSettleMs = 1000;  // playing has started and the window has painted once
constexpr int kTickMs = 15;      // the window's status timer
constexpr int kBufferMs = 25;    // the default buffer length: a new picture this often

// The floor mode's repaints: the same panels, as often as a song's new buffers arrive.
void repaintPanelsLikeASong(QWidget& window, QTimer& timer, QElapsedTimer& clock) {
    std::vector<tarvex::qt::RasterPanel*> panels;
    for (QFrame* frame : window.findChildren<QFrame*>())
        if (auto* panel = dynamic_cast<tarvex::qt::RasterPanel*>(frame)) panels.push_back(panel);
    clock.start();
    QObject::connect(&timer, &QTimer::timeout, &window, [panels, &clock, shown = qint64(-1)]() mutable {
        const qint64 buffer = clock.elapsed() / kBufferMs;
        if (buffer == shown) return;
        shown = buffer;
        for (tarvex::qt::RasterPanel* panel : panels) panel->refresh();
    });
    timer.start(kTickMs);
}

}  // namespace

int main(int argc, char** argv) {
    const std::unique_ptr<QApplication> app = tarvex::startToolkit(argc, argv);
    const std::string mode = argc > 1 ? argv[1] : "";
    const bool needsFile = mode == "playing" || mode == "paused" || mode == "pattern";
    if (!(mode == "idle" || mode == "floor" || needsFile) || (needsFile && argc < 3)) {
        std::fprintf(stderr,
                     "usage: tarvex-window-probe idle | floor | playing FILE | paused FILE | pattern FILE\n");
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
    QTimer floorTimer;
    QElapsedTimer floorClock;
    if (mode == "floor") repaintPanelsLikeASong(window, floorTimer, floorClock);
    window.show();
    return gui.run(path);
}
