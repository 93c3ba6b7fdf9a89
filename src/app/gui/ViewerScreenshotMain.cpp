// tarvex-viewer-screenshot OUTDIR FILE [SECONDS] [SAMPLE...]: opens the window on the silent null
// device, plays FILE for SECONDS (default 3), then saves the pattern window following the song as
// OUTDIR/pattern-window.png and, for each SAMPLE number (default 1), the samples window opened by
// a double click on that instrument as OUTDIR/samples-window-SAMPLE.png. Stored settings are
// neither read nor written.
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
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

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: tarvex-viewer-screenshot OUTDIR FILE [SECONDS] [SAMPLE...]\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    const double seconds = argc > 3 ? std::atof(argv[3]) : 3.0;
    std::vector<int> samples;
    for (int i = 4; i < argc; ++i) samples.push_back(std::atoi(argv[i]));
    if (samples.empty()) samples.push_back(1);

    tarvex::GuiApp gui("null", std::make_unique<tarvex::MemorySettingsStore>());
    tarvex::qt::QtMainWindow& window = *gui.window;
    int status = 0;
    QTimer::singleShot(int(seconds * 1000), &window, [&] {
        QTimer::singleShot(kSettleMs, &window, [&] {
            if (!save(gui.viewers.patternWindow(), out.filePath(QStringLiteral("pattern-window.png"))))
                status = 1;
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
    gui.run(std::string(argv[2]));
    return status;
}
