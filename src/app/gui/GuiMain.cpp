// tarvex [FILE]: the windowed player. FILE (a module or a list file) is loaded and played at once.
#include <QApplication>
#include <QFile>
#include <iostream>

#include "GuiApp.h"
#include "Mpris.h"
#include "core/Version.h"
#include "manual/Manual.h"
#include "ui/qt/QtSettingsStore.h"

namespace {

std::vector<std::string> arguments(int argc, char** argv) {
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

}  // namespace

int main(int argc, char** argv) {
    // --help and --version need no display, so they are answered before the toolkit starts.
    const tarvex::WindowArgs early = tarvex::parseWindowArgs(arguments(argc, argv));
    if (early.action == tarvex::WindowArgs::Action::help) {
        std::cout << tarvex::manual::programHelp(tarvex::manual::windowPage());
        return 0;
    }
    if (early.action == tarvex::WindowArgs::Action::version) {
        std::cout << tarvex::kVersion << '\n';
        return 0;
    }

    const std::unique_ptr<QApplication> app = tarvex::startToolkit(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Brennwerks"));
    QApplication::setApplicationName(QStringLiteral("Tarvex"));
    // Ties the window to its menu entry (and so to its icon) on desktops that match them by name.
    QApplication::setDesktopFileName(QString::fromLatin1(tarvex::kDesktopEntry));

    // Qt has taken its own options out of argv; the system has already split the command line,
    // so FILE is the path as given.
    const tarvex::WindowArgs args = tarvex::parseWindowArgs(arguments(argc, argv));
    if (args.action == tarvex::WindowArgs::Action::usageError) {
        std::cerr << "tarvex: " << args.error << '\n'
                  << "Usage: tarvex [FILE]\n`tarvex --help` describes the program.\n";
        return 2;
    }

    tarvex::GuiApp gui(tarvex::deviceNameFromEnvironment(), std::make_unique<tarvex::qt::QtSettingsStore>());
    // Media keys and panels: without a session bus the window simply goes without them.
    tarvex::MprisService mpris(gui.player, *gui.window);
    mpris.registerOnSessionBus();
    return gui.run(args.path);
}
