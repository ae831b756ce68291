// Writes the two relay-mode pictures the program shows beside its mode
// options, from the same drawing it falls back on when they are missing:
//   make_relay_pictures <folder>   → <folder>/relay_a.bmp, <folder>/relay_b.bmp
#include "RelayModePicture.h"

#include <QDir>
#include <QGuiApplication>
#include <cstdio>

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    for (const auto mode : {RelayModePicture::RelayMode::A, RelayModePicture::RelayMode::B}) {
        const QString path = folder.filePath(RelayModePicture::fileName(mode));
        if (!RelayModePicture::draw(mode).save(path, "BMP")) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
        std::printf("%s\n", qPrintable(path));
    }
    return 0;
}
