// tarvex [FILE]: the windowed player. FILE (a module or a list file) is loaded and played at once.
#include <QApplication>
#include <QFile>

#include "GuiApp.h"
#include "Mpris.h"
#include "ui/qt/QtSettingsStore.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Brennwerks"));
    QApplication::setApplicationName(QStringLiteral("Tarvex"));
    // Ties the window to its menu entry (and so to its icon) on desktops that match them by name.
    QApplication::setDesktopFileName(QString::fromLatin1(tarvex::kDesktopEntry));

    // Qt has taken its own options out of argv; the system has already split the command line,
    // so the first argument is the path as given.
    std::optional<std::string> path;
    if (argc > 1) path = std::string(argv[1]);

    tarvex::GuiApp gui(tarvex::deviceNameFromEnvironment(), std::make_unique<tarvex::qt::QtSettingsStore>());
    // Media keys and panels: without a session bus the window simply goes without them.
    tarvex::MprisService mpris(gui.player, *gui.window);
    mpris.registerOnSessionBus();
    return gui.run(path);
}
