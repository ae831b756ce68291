#pragma once

#include <QChar>
#include <optional>

// The ASCII columns show byte values as characters of one fixed ANSI code
// page, Windows-1252, whatever the desktop's locale is, so a dump reads the
// same on every machine.
namespace Cp1252 {

// The character shown for code 0..255. The five codes the code page leaves
// unassigned (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the control character of
// the same value, as the platform's own conversion does.
QChar toUnicode(unsigned char code);

// The code of a typed character, or nothing when the code page has no such
// character.
std::optional<unsigned char> fromUnicode(QChar ch);

} // namespace Cp1252
