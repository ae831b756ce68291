#include "Fichiers.h"

namespace Fichiers {

// Zero at start-up; nothing resets the values afterwards.
std::array<std::int16_t, ProgWordCount> ProgWords{};
std::array<Boolean16, ProgWordCount> ProgDefined{};
std::array<std::uint8_t, EepromByteCount> EepromBytes{};
std::array<Boolean16, EepromByteCount> EepromDefined{};

} // namespace Fichiers
