#pragma once

#include "Cp1252.h"
#include "Fichiers.h"
#include "MemoryEditors.h"

#include <gtest/gtest.h>
#include <string>

namespace memtest {

using View = MemoryEditors::View;

inline const DumpFormat &formatOf(View v)
{
    return v == View::Flash ? FlashFormat : EepromFormat;
}

// Index of digit d of cell k on line n.
inline int digitAt(View v, int n, int k, int d = 0)
{
    const DumpFormat &f = formatOf(v);
    return n * f.lineLength + f.firstDigitColumn + k * f.cellStride + d;
}

inline int asciiAt(View v, int n, int k)
{
    const DumpFormat &f = formatOf(v);
    return n * f.lineLength + f.asciiColumn + k;
}

inline int at(View v, int n, int column)
{
    return n * formatOf(v).lineLength + column;
}

inline QString cellText(const MemoryEditors &e, View v, int cell)
{
    const DumpText &t = v == View::Flash ? e.Rt1() : e.Rt2();
    return t.text().mid(digitAt(v, cell / 8, cell % 8), formatOf(v).cellDigits);
}

inline QChar asciiOf(const MemoryEditors &e, View v, int cell)
{
    const DumpText &t = v == View::Flash ? e.Rt1() : e.Rt2();
    return t.charAt(asciiAt(v, cell / 8, cell % 8));
}

inline std::string show(const QString &s)
{
    return s.toStdString();
}

// Fresh images and views for every test: the images are global.
class EditorsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Fichiers::ProgWords.fill(0);
        Fichiers::EepromBytes.fill(0);
        editors.StartUp();
    }

    void keyDown(View v, int code)
    {
        int c = code;
        editors.KeyDown(v, c, 0);
    }
    void type(View v, const char *chars)
    {
        for (const char *c = chars; *c; ++c) {
            int code = static_cast<unsigned char>(*c);
            editors.KeyPress(v, code);
        }
    }
    void clickAt(View v, int position)
    {
        editors.text(v).setCaret(position);
        editors.Click(v);
    }
    DumpText &text(View v) { return editors.text(v); }

    MemoryEditors editors;
};

// Checks, line by line, that the text has the dump format of its view and
// shows exactly what the images hold. Written apart from the builder on
// purpose: it reads the column map, not the code that writes it.
inline ::testing::AssertionResult dumpAgreesWithImages(const MemoryEditors &e, View v, int firstLine = 0,
                                                       int lastLine = -1)
{
    using namespace Fichiers;
    const DumpText &t = v == View::Flash ? e.Rt1() : e.Rt2();
    const DumpFormat &f = formatOf(v);
    const QString &str = t.text();
    const QChar *s = str.constData();
    const DumpColour *colours = t.colours().data();
    const int L = f.lineLength;
    const int expectedLength = f.lastLine * L + L - 2;
    if (str.size() != expectedLength)
        return ::testing::AssertionFailure() << "length " << str.size() << " instead of " << expectedLength;
    static const char *hex = "0123456789ABCDEF";
    if (lastLine < 0)
        lastLine = f.lastLine;
    for (int n = firstLine; n <= lastLine; ++n) {
        const int b = n * L;
        auto fail = [&](int col, const char *what) {
            return ::testing::AssertionFailure() << "line " << n << " column " << col << ": " << what
                                                 << " in \"" << show(str.mid(b, L - 2)) << "\"";
        };
        for (int d = 0; d < f.addressDigits; ++d) {
            const int shift = 4 * (f.addressDigits - 1 - d);
            if (s[b + d] != QLatin1Char(hex[((8 * n) >> shift) & 0xF]))
                return fail(d, "address");
        }
        if (s[b + f.addressDigits] != QLatin1Char(' ') || s[b + f.addressDigits + 1] != QLatin1Char(':'))
            return fail(f.addressDigits, "address separator");
        for (int k = 0; k < 8; ++k) {
            const int cell = 8 * n + k;
            const int c0 = f.firstDigitColumn + k * f.cellStride;
            if (s[b + c0 - 1] != QLatin1Char(' '))
                return fail(c0 - 1, "blank before cell");
            const bool defined = v == View::Flash ? ProgDefined[cell] != False : EepromDefined[cell] != False;
            const unsigned value = v == View::Flash ? static_cast<std::uint16_t>(ProgWords[cell])
                                                    : static_cast<unsigned>(EepromBytes[cell]);
            for (int d = 0; d < f.cellDigits; ++d) {
                const QChar ch = s[b + c0 + d];
                const int shift = 4 * (f.cellDigits - 1 - d);
                const QChar want = defined ? QLatin1Char(hex[(value >> shift) & 0xF]) : QLatin1Char('-');
                if (ch != want)
                    return fail(c0 + d,
                                defined ? "cell digits differ from the image" : "undefined cell not dashes");
                const DumpColour colour = colours[b + c0 + d];
                const bool colourOk =
                    colour == DumpColours::Black ||
                    (v == View::Flash && ch == QLatin1Char('0') && colour == DumpColours::FilledZero);
                if (!colourOk)
                    return fail(c0 + d, "cell colour");
            }
            const int sv = v == View::Flash ? ProgWords[cell] : EepromBytes[cell];
            const bool printable = defined && sv >= 32 && (v == View::Eeprom || sv <= 254);
            const QChar wantAscii =
                printable ? Cp1252::toUnicode(static_cast<unsigned char>(sv)) : QChar(u'.');
            if (s[b + f.asciiColumn + k] != wantAscii)
                return fail(f.asciiColumn + k, "ASCII cell differs from the image");
        }
        if (s[b + f.separatorColumn] != QLatin1Char(' ') ||
            s[b + f.separatorColumn + 1] != QLatin1Char(':') ||
            s[b + f.separatorColumn + 2] != QLatin1Char(' '))
            return fail(f.separatorColumn, "separator");
        if (colours[b + f.separatorColumn] != DumpColours::Separator ||
            colours[b + f.separatorColumn + 1] != DumpColours::Separator)
            return fail(f.separatorColumn, "separator colour");
        if (n < f.lastLine && (s[b + L - 2] != QLatin1Char('\r') || s[b + L - 1] != QLatin1Char('\n')))
            return fail(L - 2, "line break");
    }
    return ::testing::AssertionSuccess();
}

// The caret on a hex digit of the Data region.
inline bool onHexDigit(const DumpText &t, View v)
{
    const DumpFormat &f = formatOf(v);
    const int p = t.caret();
    const int c = p % f.lineLength;
    if (p >= t.length() || c < f.firstDigitColumn || c > f.dataLastColumn)
        return false;
    return (c - f.firstDigitColumn) % f.cellStride < f.cellDigits;
}

inline bool inAsciiColumn(const DumpText &t)
{
    const int c = t.caret() % EepromFormat.lineLength;
    return t.caret() < t.length() && c >= EepromFormat.asciiColumn && c < EepromFormat.asciiColumn + 8;
}

} // namespace memtest
