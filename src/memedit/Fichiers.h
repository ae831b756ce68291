#pragma once

#include <array>
#include <cstdint>

// The two memory images kept for a software update of the thermostat. They
// are global on purpose: they live for the whole run and every part of the
// program that might one day load or send them reaches the same arrays.
// A cell that is not defined is shown as dashes, whatever its value.
namespace Fichiers {

// Booleans stored in the images are 16-bit, True = -1.
using Boolean16 = std::int16_t;
inline constexpr Boolean16 True = -1;
inline constexpr Boolean16 False = 0;

inline constexpr int ProgWordCount = 8192;
inline constexpr int EepromByteCount = 256;

extern std::array<std::int16_t, ProgWordCount> ProgWords;
extern std::array<Boolean16, ProgWordCount> ProgDefined;
extern std::array<std::uint8_t, EepromByteCount> EepromBytes;
extern std::array<Boolean16, EepromByteCount> EepromDefined;

} // namespace Fichiers
