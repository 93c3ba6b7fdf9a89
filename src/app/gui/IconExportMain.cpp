// tarvex-icons DIR: writes the application icon into DIR as an icon theme tree,
// scalable/apps/tarvex.svg and NxN/apps/tarvex.png for the usual sizes from 16 to 256.
#include <QDir>
#include <QFile>
#include <cstdio>

#include "ui/qt/Icons.h"

int main(int argc, char** argv) {
    if (argc != 2 || QByteArray(argv[1]) == "--help") {
        std::fprintf(argc == 2 ? stdout : stderr, "Usage: tarvex-icons DIR\n");
        return argc == 2 ? 0 : 2;
    }
    const QDir root(QFile::decodeName(argv[1]));
    const auto place = [&root](const QString& dir) {
        if (!root.mkpath(dir)) {
            std::fprintf(stderr, "tarvex-icons: cannot create %s\n", qPrintable(root.filePath(dir)));
            return QString();
        }
        return root.filePath(dir + QStringLiteral("/tarvex"));
    };

    const QString svgPath = place(QStringLiteral("scalable/apps"));
    if (svgPath.isEmpty()) return 1;
    QFile svg(svgPath + QStringLiteral(".svg"));
    const QByteArray document = tarvex::qt::applicationIconSvg();
    if (!svg.open(QIODevice::WriteOnly) || svg.write(document) != document.size() || !svg.flush()) {
        std::fprintf(stderr, "tarvex-icons: cannot write %s\n", qPrintable(svg.fileName()));
        return 1;
    }
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString path = place(QStringLiteral("%1x%1/apps").arg(size));
        if (path.isEmpty()) return 1;
        if (!tarvex::qt::applicationIconImage(size).save(path + QStringLiteral(".png"), "PNG")) {
            std::fprintf(stderr, "tarvex-icons: cannot write %s.png\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
