#include "MemoryEditors.h"

#include "Cp1252.h"

#include <array>

using namespace Fichiers;

namespace {

constexpr int KeyTab = 9;
constexpr int KeyBackspace = 8;
constexpr int KeyClear = 12;
constexpr int KeyLeft = 37;
constexpr int KeyRight = 39;
constexpr int KeyDelete = 46;

constexpr std::array<char16_t, 16> HexDigits = {u'0', u'1', u'2', u'3', u'4', u'5', u'6', u'7',
                                                u'8', u'9', u'A', u'B', u'C', u'D', u'E', u'F'};

const QChar Blank = QLatin1Char(' ');
const QChar Dash = QLatin1Char('-');

// num / den rounded to the nearest integer, halves to even (den > 0).
int nearest(int num, int den)
{
    int q = num / den;
    int r = num % den;
    if (r < 0) {
        --q;
        r += den;
    }
    if (2 * r > den || (2 * r == den && (q % 2 != 0)))
        ++q;
    return q;
}

int hexValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

void appendHex(QString &s, unsigned value, int digits)
{
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
        s.append(QChar(HexDigits[(value >> shift) & 0xF]));
}

QString hexText(unsigned value, int digits)
{
    QString s;
    appendHex(s, value, digits);
    return s;
}

bool isCellChar(QChar c)
{
    return c == Dash || hexValue(c) >= 0;
}

} // namespace

MemoryEditors::MemoryEditors()
    : flash_(FlashFormat), eeprom_(EepromFormat),
      flashLineLength_(static_cast<std::int16_t>(FlashFormat.lineLength)),
      eepromLineLength_(static_cast<std::int16_t>(EepromFormat.lineLength))
{
}

void MemoryEditors::StartUp()
{
    ProgDefined.fill(False);
    FeelFlash();
    flashLineLength_ = static_cast<std::int16_t>(flash_.measureLineLength());
    flash_.setLineLength(flashLineLength_);
    EepromDefined.fill(False);
    FeelEeprom();
    eepromLineLength_ = static_cast<std::int16_t>(eeprom_.measureLineLength());
    eeprom_.setLineLength(eepromLineLength_);
    eepromAsciiMode_ = False;
}

// ---------------------------------------------------------------------------
// Building the dumps

void MemoryEditors::FeelFlash()
{
    DumpText &t = flash_;
    t.setEnabled(false);
    t.clear();
    t.reserve(FlashFormat.lineCount() * FlashFormat.lineLength);
    QString address, data, ascii;
    for (int n = 0; n <= FlashFormat.lastLine; ++n) {
        address.clear();
        appendHex(address, static_cast<unsigned>(8 * n), 4);
        address.append(QLatin1String(" :"));
        data.clear();
        ascii = QStringLiteral(" ");
        for (int k = 0; k < 8; ++k) {
            const int a = 8 * n + k;
            const bool defined = ProgDefined[a] != False;
            const int v = ProgWords[a];
            data.append(Blank);
            if (defined)
                appendHex(data, static_cast<std::uint16_t>(v), 4);
            else
                data.append(QLatin1String("----"));
            // The full build shows 255 too; the single-cell refresh stops at 254.
            ascii.append(defined && v >= 32 && v <= 255 ? Cp1252::toUnicode(static_cast<unsigned char>(v))
                                                        : QChar(u'.'));
        }
        t.append(address, DumpColours::Black);
        t.append(data, DumpColours::Black);
        t.append(QStringLiteral(" :"), DumpColours::Separator);
        t.append(ascii, DumpColours::Black);
        if (n < FlashFormat.lastLine)
            t.append(QStringLiteral("\r\n"), DumpColours::Black);
    }
    t.setEnabled(true);
    t.setCaret(0);
    t.clearSelection();
}

void MemoryEditors::FeelEeprom()
{
    DumpText &t = eeprom_;
    t.setEnabled(false);
    t.clear();
    t.reserve(EepromFormat.lineCount() * EepromFormat.lineLength);
    QString address, data, ascii;
    for (int n = 0; n <= EepromFormat.lastLine; ++n) {
        address.clear();
        appendHex(address, static_cast<unsigned>(8 * n), 2);
        address.append(QLatin1String(" :"));
        data.clear();
        ascii = QStringLiteral(" ");
        for (int k = 0; k < 8; ++k) {
            const int a = 8 * n + k;
            const bool defined = EepromDefined[a] != False;
            const int v = EepromBytes[a];
            data.append(Blank);
            if (defined)
                appendHex(data, static_cast<unsigned>(v), 2);
            else
                data.append(QLatin1String("--"));
            ascii.append(defined && v >= 32 ? Cp1252::toUnicode(static_cast<unsigned char>(v)) : QChar(u'.'));
        }
        t.append(address, DumpColours::Black);
        t.append(data, DumpColours::Black);
        t.append(QStringLiteral(" :"), DumpColours::Separator);
        t.append(ascii, DumpColours::Black);
        if (n < EepromFormat.lastLine)
            t.append(QStringLiteral("\r\n"), DumpColours::Black);
    }
    t.setEnabled(true);
    t.setCaret(0);
    t.clearSelection();
}

bool MemoryEditors::SetAscii()
{
    return transaction(flash_, [this] { return refreshAscii(View::Flash); });
}

bool MemoryEditors::SetAsciieeprom()
{
    return transaction(eeprom_, [this] { return refreshAscii(View::Eeprom); });
}

bool MemoryEditors::refreshAscii(View view)
{
    DumpText &t = text(view);
    const DumpFormat &f = t.format();
    const int a = currentCell_;
    if (a < 0 || a >= f.cellCount)
        return false;
    const int L = view == View::Flash ? flashLineLength_ : eepromLineLength_;
    const int position = L * (a / 8) + a % 8 + f.asciiColumn;
    if (position < 0 || position >= t.length())
        return false;
    QChar shown = QLatin1Char('.');
    if (view == View::Flash) {
        const int v = ProgWords[a];
        if (ProgDefined[a] != False && v >= 32 && v <= 254)
            shown = Cp1252::toUnicode(static_cast<unsigned char>(v));
    } else {
        const int v = EepromBytes[a];
        if (EepromDefined[a] != False && v >= 32)
            shown = Cp1252::toUnicode(static_cast<unsigned char>(v));
    }
    t.replace(position, 1, QString(shown), DumpColours::Black);
    return true;
}

// ---------------------------------------------------------------------------
// Caret adjustment

void MemoryEditors::AdjustFlashCaret()
{
    adjustHexCaret(flash_);
}

void MemoryEditors::AdjustEepromCaret()
{
    // With ASCII entry off the program-memory rule serves as it is. With it
    // on, the caret belongs in the ASCII column, where typed characters go.
    if (eepromAsciiMode_ != False)
        adjustAsciiCaret(eeprom_);
    else
        adjustHexCaret(eeprom_);
}

void MemoryEditors::adjustCaret(View view)
{
    if (view == View::Flash)
        AdjustFlashCaret();
    else
        AdjustEepromCaret();
}

void MemoryEditors::adjustHexCaret(DumpText &t)
{
    const DumpFormat &f = t.format();
    const int L = t.lineLength();
    int p = t.caret();
    int n = t.line(p);
    if (t.charAt(p) == Blank)
        ++p;
    if (t.regionOfCaret(p) == DumpText::Region::Address)
        p = n * L + f.firstDigitColumn;
    if (t.regionOfCaret(p) != DumpText::Region::Data) {
        if (n < f.lastLine)
            ++n;
        p = n * L + f.firstDigitColumn;
    }
    t.setCaret(p);
    t.clearSelection();
}

void MemoryEditors::adjustAsciiCaret(DumpText &t)
{
    // The hex rule moved onto the ASCII column: before it, to the line's
    // first ASCII cell; past it, to the next line's (the last line keeps
    // its own).
    const DumpFormat &f = t.format();
    const int L = t.lineLength();
    const int p = t.caret();
    int n = t.line(p);
    const int c = t.column(p);
    if (c >= f.asciiColumn && c < f.asciiColumn + 8) {
        t.clearSelection();
        return;
    }
    if (c > f.asciiColumn && n < f.lastLine)
        ++n;
    t.setCaret(n * L + f.asciiColumn);
    t.clearSelection();
}

// ---------------------------------------------------------------------------
// Handlers

void MemoryEditors::Rt1_Click()
{
    Click(View::Flash);
}
void MemoryEditors::Rt1_GotFocus()
{
    GotFocus(View::Flash);
}
void MemoryEditors::Rt1_KeyDown(int &KeyCode, int Shift)
{
    KeyDown(View::Flash, KeyCode, Shift);
}
void MemoryEditors::Rt1_KeyPress(int &KeyAscii)
{
    KeyPress(View::Flash, KeyAscii);
}
void MemoryEditors::Rt2_Click()
{
    Click(View::Eeprom);
}
void MemoryEditors::Rt2_GotFocus()
{
    GotFocus(View::Eeprom);
}
void MemoryEditors::Rt2_KeyDown(int &KeyCode, int Shift)
{
    KeyDown(View::Eeprom, KeyCode, Shift);
}
void MemoryEditors::Rt2_KeyPress(int &KeyAscii)
{
    KeyPress(View::Eeprom, KeyAscii);
}

void MemoryEditors::Click(View view)
{
    adjustCaret(view);
}

void MemoryEditors::GotFocus(View view)
{
    adjustCaret(view);
}

void MemoryEditors::KeyDown(View view, int &KeyCode, int /*Shift*/)
{
    keyDown(view, KeyCode);
}

void MemoryEditors::keyDown(View view, int &keyCode)
{
    DumpText &t = text(view);
    const DumpFormat &f = t.format();
    const int L = t.lineLength();

    if (keyCode == KeyTab) {
        if (view == View::Flash)
            return; // the widget's own focus navigation
        eepromAsciiMode_ = eepromAsciiMode_ != False ? False : True;
        t.setCaret(t.line(t.caret()) * L);
        keyCode = 0;
        t.clearSelection();
        AdjustEepromCaret();
        return;
    }
    if (keyCode != KeyLeft && keyCode != KeyRight && keyCode != KeyBackspace && keyCode != KeyDelete &&
        keyCode != KeyClear)
        return;

    const bool erase = keyCode == KeyBackspace || keyCode == KeyDelete || keyCode == KeyClear;
    if (erase && view == View::Eeprom && eepromAsciiMode_ != False) {
        keyCode = 0;
        t.clearSelection();
        AdjustEepromCaret();
        return;
    }
    // Home, End, Up and the like may have left the caret on the address or
    // the ASCII text; erasing from there would damage it. On a resting
    // position the adjustment changes nothing.
    if (erase)
        adjustCaret(view);

    const int p0 = t.caret();
    const int c = t.column(p0);
    int n = t.line(p0);
    switch (keyCode) {
    case KeyLeft: {
        int p = p0 - 1;
        if (t.charAt(p) == Blank)
            --p;
        if (c <= f.leftWrapColumn) {
            if (n > 0)
                --n;
            p = n * L + f.lastDigitColumn();
        }
        t.setCaret(p);
        break;
    }
    case KeyRight: {
        int p = p0;
        if (p0 < t.length())
            p = p0 + 1;
        if (c >= f.rightExtraColumn)
            p += 10;
        t.setCaret(p);
        break;
    }
    case KeyBackspace: {
        int p = p0 - 1;
        // Keeps Backspace on a line's first cell out of the address.
        if (t.charAt(p - 1) == QLatin1Char(':'))
            ++p;
        transaction(t, [&] { return eraseCell(view, p, n); });
        break;
    }
    default: // Delete, Clear
        transaction(t, [&] { return eraseCell(view, p0, n); });
        break;
    }
    keyCode = 0;
    t.clearSelection();
    adjustCaret(view);
}

bool MemoryEditors::eraseCell(View view, int p, int n)
{
    DumpText &t = text(view);
    const DumpFormat &f = t.format();
    for (int steps = 0; t.charAt(p - 1) != Blank; ++steps) {
        if (steps >= f.cellDigits)
            return false; // not inside a cell
        --p;
    }
    for (int i = 0; i < f.cellDigits; ++i) {
        if (!isCellChar(t.charAt(p + i)))
            return false;
    }
    t.replace(p, f.cellDigits, QString(f.cellDigits, Dash), DumpColours::Black);
    t.setCaret(p);
    const int cell = nearest(t.column(p) - f.eraseCellBase, f.cellStride) + 8 * n;
    if (cell < 0 || cell >= f.cellCount)
        return false;
    currentCell_ = static_cast<std::int16_t>(cell);
    writeCellDefined(view, cell, False); // the old value stays stored
    if (!refreshAscii(view))
        return false;
    t.setCaret(p);
    return true;
}

void MemoryEditors::KeyPress(View view, int &KeyAscii)
{
    if (view == View::Eeprom && eepromAsciiMode_ != False)
        asciiKeyPress(KeyAscii);
    else
        hexKeyPress(view, KeyAscii);
    KeyAscii = 0;
}

void MemoryEditors::hexKeyPress(View view, int &keyAscii)
{
    DumpText &t = text(view);
    const DumpFormat &f = t.format();
    // After Home, Up and the like the caret may sit on the address or the
    // ASCII text: a digit typed there must land in a cell, not over them.
    adjustCaret(view);
    t.select(1);
    if (keyAscii >= 0 && keyAscii <= 255) {
        QChar k = Cp1252::toUnicode(static_cast<unsigned char>(keyAscii)).toUpper();
        if (hexValue(k) >= 0) {
            if (f.capFirstDigit && t.charAt(t.caret() - 1) == Blank && k.unicode() > u'3')
                k = QLatin1Char('3'); // a word never exceeds 3FFF through typing
            transaction(t, [&] {
                t.replaceSelection(QString(k), DumpColours::Black);
                const int p1 = t.caret();
                if (!commitCell(view) || !refreshAscii(view))
                    return false;
                t.setCaret(p1);
                return true;
            });
        }
    }
    adjustCaret(view);
    t.clearSelection();
    keyAscii = 0;
}

void MemoryEditors::asciiKeyPress(int &keyAscii)
{
    DumpText &t = eeprom_;
    const DumpFormat &f = t.format();
    const int L = eepromLineLength_;
    // A caret moved off the ASCII column by Home, End and the like is put
    // back first, so the character always lands on an ASCII cell.
    AdjustEepromCaret();
    if (keyAscii > 31 && keyAscii <= 255) {
        const auto code = static_cast<unsigned char>(keyAscii);
        transaction(t, [&] {
            const int c = t.column(t.caret());
            if (c < f.asciiColumn || c >= f.asciiColumn + 8)
                return false;
            t.replace(t.caret(), 1, QString(Cp1252::toUnicode(code)), DumpColours::Black);
            const int p = t.caret();
            const int n = t.line(p);
            const int cell = t.column(p) + 8 * n - (f.asciiColumn + 1);
            if (cell < 0 || cell >= f.cellCount)
                return false;
            currentCell_ = static_cast<std::int16_t>(cell);
            writeCell(View::Eeprom, cell, True, code);
            const int p1 = p;
            t.replace(n * L + (cell % 8) * f.cellStride + f.firstDigitColumn, f.cellDigits,
                      hexText(code, f.cellDigits), DumpColours::Black);
            t.setCaret(p1);
            return true;
        });
    }
    AdjustEepromCaret();
    t.clearSelection();
    keyAscii = 0;
}

// ---------------------------------------------------------------------------
// Committing a cell

bool MemoryEditors::CommitFlashWord()
{
    return transaction(flash_, [this] { return commitCell(View::Flash); });
}

bool MemoryEditors::CommitEepromByte()
{
    return transaction(eeprom_, [this] { return commitCell(View::Eeprom); });
}

bool MemoryEditors::commitCell(View view)
{
    DumpText &t = text(view);
    const DumpFormat &f = t.format();
    int p = t.caret();
    const int lineOnEntry = t.line(p);
    for (int steps = 0; t.charAt(p - 1) != Blank; ++steps) {
        if (steps >= f.cellDigits)
            return false; // not inside or just after a cell
        --p;
    }
    for (int i = 0; i < f.cellDigits; ++i) {
        const QChar c = t.charAt(p);
        if (!isCellChar(c))
            return false;
        if (c == Dash) {
            t.replace(p, 1, QStringLiteral("0"), f.fillColour);
            p = t.caret();
        } else {
            ++p;
        }
    }
    t.setCaret(p);
    t.clearSelection();

    unsigned value = 0;
    for (int q = p - f.cellDigits; q < p; ++q)
        value = value * 16 + static_cast<unsigned>(hexValue(t.charAt(q)));
    const int n = f.commitLineAfterWalk ? t.line(p - 3) : lineOnEntry;
    const int cell = nearest(t.column(p) - f.commitCellBase, f.cellStride) + 8 * n;
    if (cell < 0 || cell >= f.cellCount)
        return false;
    currentCell_ = static_cast<std::int16_t>(cell);
    writeCell(view, cell, True, static_cast<int>(value));
    return true;
}

void MemoryEditors::writeCellDefined(View view, int cell, Boolean16 defined)
{
    writeCell(view, cell, defined, view == View::Flash ? ProgWords[cell] : EepromBytes[cell]);
}

void MemoryEditors::writeCell(View view, int cell, Boolean16 defined, int value)
{
    if (view == View::Flash) {
        cellBackups_.push_back({view, cell, ProgDefined[cell], ProgWords[cell]});
        ProgDefined[cell] = defined;
        ProgWords[cell] = static_cast<std::int16_t>(static_cast<std::uint16_t>(value));
    } else {
        cellBackups_.push_back({view, cell, EepromDefined[cell], EepromBytes[cell]});
        EepromDefined[cell] = defined;
        EepromBytes[cell] = static_cast<std::uint8_t>(value);
    }
}

template <typename Edit> bool MemoryEditors::transaction(DumpText &t, Edit edit)
{
    if (editDepth_ > 0)
        return edit(); // the outer edit rolls back for all
    ++editDepth_;
    const std::int16_t cell = currentCell_;
    cellBackups_.clear();
    t.beginEdit();
    const bool ok = edit();
    if (ok) {
        t.commitEdit();
    } else {
        t.rollbackEdit();
        currentCell_ = cell;
        for (auto it = cellBackups_.rbegin(); it != cellBackups_.rend(); ++it) {
            if (it->view == View::Flash) {
                ProgDefined[it->cell] = it->defined;
                ProgWords[it->cell] = static_cast<std::int16_t>(it->value);
            } else {
                EepromDefined[it->cell] = it->defined;
                EepromBytes[it->cell] = static_cast<std::uint8_t>(it->value);
            }
        }
    }
    cellBackups_.clear();
    --editDepth_;
    return ok;
}
