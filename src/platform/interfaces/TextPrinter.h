#pragma once

#include <QString>

// Prints plain text in a fixed-pitch font (Courier New), `copies` times.
class TextPrinter
{
public:
    virtual ~TextPrinter() = default;
    // false when printing failed.
    virtual bool printText(const QString &text, int copies) = 0;
};
