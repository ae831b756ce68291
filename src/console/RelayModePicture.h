#pragma once

#include "ThresholdEntry.h"

#include <QImage>
#include <QSize>
#include <QString>

// The picture of a relay mode: the relay output (C-NO or C-NC) against the
// temperature, with its switching points TL and TH. Mode A keeps the common
// contact on C-NO while the temperature rises up to TH, moves it to C-NC
// above TH and back to C-NO once the temperature falls below TL; mode B is
// the inverse. The same drawing serves as the built-in picture when a mode
// file is missing and as the source of the shipped BMP files.
class RelayModePicture
{
public:
    using RelayMode = ThresholdEntry::RelayMode;

    // The size of the shipped pictures: the picture area of the window.
    static QSize defaultSize() { return {181, 138}; }

    // "relay_a.bmp", "relay_b.bmp".
    static QString fileName(RelayMode mode);
    // The program's folder followed by imgs/ and the file name.
    static QString filePath(const QString &programFolder, RelayMode mode);

    // The curve drawn by the program itself. Needs a QGuiApplication (fonts).
    static QImage draw(RelayMode mode, QSize size = defaultSize());

    // The picture file of the mode from the program's folder; when it is
    // missing or unreadable, the built-in curve of that mode. `fromFile`
    // tells which one it is.
    static QImage load(const QString &programFolder, RelayMode mode, bool *fromFile = nullptr);
};
