#pragma once

#include <QString>
#include <cstdint>
#include <optional>

// The values calidorctl takes on its command line, checked before anything
// is done with them. Each parse answers a value or the rule it broke.
namespace ValueParser {

// A temperature in °C as the user typed it, split the way the thermostat's
// configuration is encoded: sign, whole degrees, tenths digit.
struct Celsius
{
    QString sign;          // "+" or "-"
    QString whole;         // digits, may be empty (".5")
    QString tenths;        // one digit or empty
    std::int64_t code = 0; // signed tenths of a degree
};

template <typename T> struct Parsed
{
    std::optional<T> value;
    QString error; // the rule broken, when there is no value
};

// "-12.5", "20", "+3.0", "20,5": at most one decimal, a point or a comma,
// within the thermostat's range of -55.0 to +125.0 °C. More decimals are
// refused: from a person typing, they are a slip.
Parsed<Celsius> celsius(const QString &text);

// The same with any number of decimals, rounded to the nearest tenth, half
// away from zero, before the range is checked: for programs that convert
// from °F and send "18.333333333333332".
Parsed<Celsius> celsiusToTenth(const QString &text);

// "500ms", "2s", "1.5s", "1m"; a bare number counts in seconds. At least
// 100 ms and at most one day.
Parsed<std::int64_t> durationMs(const QString &text);

// A whole number of readings, 1 or more.
Parsed<std::int64_t> count(const QString &text);

// "A" or "B" (either case) as the thermostat's mode code.
Parsed<std::int16_t> relayMode(const QString &text);

// Where `serve` listens: "127.0.0.1:9830", "[::1]:9830", "0.0.0.0:80",
// ":0" (the default address, a free port). Only numeric addresses: the
// service binds to exactly the address it is given, never to what a name
// happens to resolve to.
struct ListenAddress
{
    QString host; // IPv4 or IPv6 literal, without brackets
    int port = 0; // 0: any free port
    bool ipv6 = false;
};
Parsed<ListenAddress> listenAddress(const QString &text);
inline constexpr const char *kDefaultListenHost = "127.0.0.1";
constexpr int kDefaultListenPort = 9830;

// Signed tenths as a decimal number with the point: "-12.5", "20", "0.5".
QString celsiusText(std::int64_t tenths);

constexpr std::int64_t kShortestIntervalMs = 100;
constexpr std::int64_t kLongestIntervalMs = 24LL * 60 * 60 * 1000;

} // namespace ValueParser
