#pragma once

#include <QChar>
#include <QString>
#include <cstdint>
#include <optional>

// Number forms and value decoding shared by the log lines and the read-out
// fields. Kept free of widgets so the rules can be checked on their own.
namespace ThermoFormat {

// Log form of an integer: a blank before zero or a positive number, "-"
// before a negative one (" 250", "-3").
QString N(std::int64_t k);

// A non-negative number of tenths in the user's decimal notation, without
// sign: "25", "25,5", "0,5".
QString L(std::int32_t tenths, QChar decimalSeparator);

// The form used for negative thresholds: a blank, always a point, no "0"
// before it: " 12.5", " 55", " .5".
QString P(std::int32_t tenths);

// The thermostat holds temperatures as 16-bit two's complement tenths of a
// degree. Whatever width the component hands the raw value over in, only the
// low 16 bits carry the value.
std::int32_t signedTenths(std::int32_t raw);

// Upper-case hexadecimal, no leading zeros; a negative number shows its
// 32-bit two's complement (handles and written values in the log).
QString hex(std::int32_t value);

// InTempSwitchVar: 1 the contact is on NO, 0 on NC; any other value is
// unknown.
std::optional<bool> contactOnNO(std::int32_t switchVar);

// InModeStatus: 'A' or 'B' for the two relay modes; any other value is
// unknown.
std::optional<char> relayMode(std::int32_t modeStatus);

// "+ 25,5 °C", "- 0,1 °C".
QString temperatureText(std::int32_t raw, QChar decimalSeparator);

// "TL <  + 20 °C", "TL <  -  12.5 °C". The positive form follows the user's
// separator, the negative one always shows a point.
QString lowThresholdText(std::int32_t raw, QChar decimalSeparator);
QString highThresholdText(std::int32_t raw, QChar decimalSeparator);

} // namespace ThermoFormat
