// tarvex [FILE]: the windowed player. FILE (a module or a list file) is loaded and played at once.
#include <QApplication>
#include <QFile>

#include "GuiApp.h"
#include "ui/qt/QtSettingsStore.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Brennwerks"));
    QApplication::setApplicationName(QStringLiteral("Tarvex"));

    // Qt has taken its own options out of argv; the system has already split the command line,
    // so the first argument is the path as given.
    std::optional<std::string> path;
    if (argc > 1) path = std::string(argv[1]);

    tarvex::GuiApp gui(tarvex::deviceNameFromEnvironment(), std::make_unique<tarvex::qt::QtSettingsStore>());
    return gui.run(path);
}
