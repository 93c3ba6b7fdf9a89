// tarvex-screenshot OUT.png FILE [SECONDS]: opens the window on the silent null device, plays FILE
// for SECONDS (default 4) and saves the window's picture. Stored settings are neither read nor
// written.
#include <QApplication>
#include <QPixmap>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "GuiApp.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: tarvex-screenshot OUT.png FILE [SECONDS]\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    const double seconds = argc > 3 ? std::atof(argv[3]) : 4.0;

    tarvex::GuiApp gui("null", std::make_unique<tarvex::MemorySettingsStore>());
    int status = 0;
    QTimer::singleShot(int(seconds * 1000), gui.window.get(), [&] {
        if (!gui.window->grab().save(out)) {
            std::fprintf(stderr, "tarvex-screenshot: cannot write %s\n", argv[1]);
            status = 1;
        }
        gui.window->close();
    });
    gui.window->show();
    gui.run(std::string(argv[2]));
    return status;
}
