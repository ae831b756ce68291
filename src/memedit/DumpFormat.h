#pragma once

#include <cstdint>

// A text colour as 0xRRGGBB.
using DumpColour = std::uint32_t;

// The constants that tell the program-memory dump from the EEPROM dump: the
// column map of a line and the few places where the editing rules differ.
// Both views are edited by the same rules read through one of these.
struct DumpFormat
{
    int cellCount;         // cells in the image
    int cellDigits;        // hex digits per cell
    int addressDigits;     // hex digits of the line address
    int firstDigitColumn;  // first digit of cell 0; cell k starts at first + k * cellStride
    int cellStride;        // digits plus the blank that follows
    int addressLastColumn; // Address region: columns 0..addressLastColumn
    int dataLastColumn;    // Data region: up to dataLastColumn; Outside after it
    int separatorColumn;   // the " :" after the data
    int asciiColumn;       // ASCII character of cell 0
    int lineLength;        // characters per line, line break included
    int lastLine;
    int leftWrapColumn;       // Left wraps to the previous line when the column is at most this
    int rightExtraColumn;     // Right jumps 10 more from this column on
    int eraseCellBase;        // erase: cell = nearest((col - base) / stride)
    int commitCellBase;       // commit: cell = nearest((col - base) / stride)
    DumpColour fillColour;    // colour of the zeros that complete a cell
    bool capFirstDigit;       // first digit never above 3
    bool commitLineAfterWalk; // commit takes its line after walking back (program memory)

    int lineCount() const { return lastLine + 1; }
    int cellsPerLine() const { return 8; }
    int cellColumn(int k) const { return firstDigitColumn + k * cellStride; }
    int lastDigitColumn() const { return dataLastColumn; }
};

namespace DumpColours {
inline constexpr DumpColour Black = 0x000000;      // RGB(0, 0, 0)
inline constexpr DumpColour Separator = 0x010000;  // RGB(1, 0, 0)
inline constexpr DumpColour FilledZero = 0x00B400; // RGB(0, 180, 0)
} // namespace DumpColours

inline constexpr DumpFormat FlashFormat{
    8192, 4, 4, 7, 5, 5, 45, 46, 49, 59, 1023, 7, 46, 7, 11, DumpColours::FilledZero, true, true,
};

inline constexpr DumpFormat EepromFormat{
    256, 2, 2, 5, 3, 3, 27, 28, 31, 41, 31, 5, 38, 5, 7, DumpColours::Black, false, false,
};
