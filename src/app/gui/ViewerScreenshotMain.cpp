// tarvex-viewer-screenshot [--position PATTERN:ROW] OUTDIR FILE [SECONDS] [SAMPLE...]: opens the
// window on the silent null device, plays FILE for SECONDS (default 3), then saves the pattern
// window following the song as OUTDIR/pattern-window.png and, for each SAMPLE number (default 1),
// the samples window opened by a double click on that instrument as
// OUTDIR/samples-window-SAMPLE.png. With --position (hexadecimal, as the window shows them, e.g.
// 05:3F) the player is stopped and the pattern window shows that pattern and row as it would
// while following, saved as OUTDIR/pattern-window-PATTERN-ROW.png. Stored settings are neither
// read nor written.
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include "GuiApp.h"

namespace {

constexpr int kSettleMs = 500;  // lets the opened window follow and paint before the grab

bool save(QWidget* widget, const QString& path) {
    if (widget == nullptr || !widget->grab().save(path)) {
        std::fprintf(stderr, "tarvex-viewer-screenshot: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

struct Position {
    uint32_t pattern = 0;
    uint32_t row = 0;
};

// "PATTERN:ROW" in hexadecimal; the row below 64.
std::optional<Position> parsePosition(const char* text) {
    unsigned pattern = 0;
    unsigned row = 0;
    char end = 0;
    if (std::sscanf(text, "%x:%x%c", &pattern, &row, &end) != 2 || row >= 64) return std::nullopt;
    return Position{pattern, row};
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const char* const usage =
        "usage: tarvex-viewer-screenshot [--position PATTERN:ROW] OUTDIR FILE [SECONDS] [SAMPLE...]\n";
    std::optional<Position> position;
    int first = 1;
    if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(usage, stdout);
        return 0;
    }
    if (argc > 2 && std::strcmp(argv[1], "--position") == 0) {
        position = parsePosition(argv[2]);
        if (!position) {
            std::fprintf(
                stderr,
                "tarvex-viewer-screenshot: bad position \"%s\" (PATTERN:ROW in hexadecimal, row 00 to 3F)\n",
                argv[2]);
            return 2;
        }
        first = 3;
    }
    if (argc - first < 2) {
        std::fputs(usage, stderr);
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[first]));
    const char* const file = argv[first + 1];
    const double seconds = argc > first + 2 ? std::atof(argv[first + 2]) : 3.0;
    std::vector<int> samples;
    for (int i = first + 3; i < argc; ++i) samples.push_back(std::atoi(argv[i]));
    if (samples.empty()) samples.push_back(1);

    tarvex::GuiApp gui("null", std::make_unique<tarvex::MemorySettingsStore>());
    tarvex::qt::QtMainWindow& window = *gui.window;
    int status = 0;
    QTimer::singleShot(int(seconds * 1000), &window, [&] {
        QTimer::singleShot(kSettleMs, &window, [&] {
            QString name = QStringLiteral("pattern-window.png");
            if (position && gui.viewers.patternWindow() != nullptr) {
                // Stopped, nothing follows the song any more: the page stays as shown here.
                window.logic().onStop();
                gui.viewers.patternWindow()->logic().followPosition(position->pattern, position->row);
                name = QString::asprintf("pattern-window-%02X-%02X.png", position->pattern, position->row);
            }
            if (!save(gui.viewers.patternWindow(), out.filePath(name))) status = 1;
            if (gui.viewers.patternWindow() != nullptr) gui.viewers.patternWindow()->accept();
        });
        window.logic().onPattern();
        // The samples window shows a stopped player: the preview may take the device.
        window.logic().onStop();
        for (int number : samples) {
            const QString name = QStringLiteral("samples-window-%1.png").arg(number);
            QTimer::singleShot(kSettleMs, &window, [&, name] {
                if (!save(gui.viewers.sampleWindow(), out.filePath(name))) status = 1;
                if (gui.viewers.sampleWindow() != nullptr) gui.viewers.sampleWindow()->accept();
            });
            window.logic().onSampleDoubleClicked(uint32_t(number - 1));
        }
        window.close();
    });
    window.show();
    gui.run(std::string(file));
    return status;
}
