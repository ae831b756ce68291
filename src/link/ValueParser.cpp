#include "ValueParser.h"

#include "ConfigSender.h"
#include "ThermoFormat.h"
#include "ThresholdEntry.h"

#include <QStringView>
#include <arpa/inet.h>
#include <cmath>

namespace {

using ValueParser::Celsius;
using ValueParser::celsiusText;
using ValueParser::Parsed;

// The values are read by hand rather than by regular expressions: the
// service runs under MemoryDenyWriteExecute, where PCRE2's JIT is refused,
// and what the service parses (commands from MQTT and the web) should not
// depend on it.
bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// The run of ASCII digits at `at`, moving `at` past it.
QStringView digitsAt(QStringView text, qsizetype &at)
{
    const qsizetype from = at;
    while (at < text.size() && isDigit(text[at]))
        ++at;
    return text.mid(from, at - from);
}

// A decimal number as typed: [+-] digits [(. or ,) digits], with at least
// one digit somewhere; nothing when it is not one.
struct Decimal
{
    bool negative = false;
    QStringView whole;
    QStringView fraction;
};

std::optional<Decimal> decimalOf(QStringView t)
{
    Decimal d;
    qsizetype at = 0;
    if (at < t.size() && (t[at] == QLatin1Char('+') || t[at] == QLatin1Char('-')))
        d.negative = t[at++] == QLatin1Char('-');
    d.whole = digitsAt(t, at);
    if (at < t.size() && (t[at] == QLatin1Char('.') || t[at] == QLatin1Char(','))) {
        ++at;
        d.fraction = digitsAt(t, at);
        if (d.fraction.isEmpty())
            return std::nullopt;
    }
    if (at != t.size() || (d.whole.isEmpty() && d.fraction.isEmpty()))
        return std::nullopt;
    return d;
}

Parsed<Celsius> celsiusOf(const QString &text, bool roundToTenth)
{
    const std::optional<Decimal> d = decimalOf(text);
    if (!d)
        return {std::nullopt,
                QStringLiteral("\"%1\" is not a temperature in °C (like -12.5, 20 or +3.0)").arg(text)};
    if (d->fraction.size() > 1 && !roundToTenth)
        return {std::nullopt, QStringLiteral("%1 has more than one decimal").arg(text)};

    Celsius value;
    value.sign = d->negative ? ThresholdEntry::kMinus : ThresholdEntry::kPlus;
    value.whole = d->whole.toString();
    value.tenths = d->fraction.left(1).toString();
    value.code = ConfigSender::Code(value.sign, value.whole, value.tenths);
    // Half away from zero, on the digits themselves: 18.45 is 18.5, and
    // 18.000000000000004 is 18.0, with no binary fraction in between.
    if (d->fraction.size() > 1 && d->fraction[1] >= QLatin1Char('5') &&
        ConfigSender::inThermostatRange(value.code)) {
        value.code += d->negative ? -1 : 1;
        const std::int64_t magnitude = std::llabs(value.code);
        value.whole = QString::number(magnitude / 10);
        value.tenths = QString::number(magnitude % 10);
        if (value.code == 0)
            value.sign = ThresholdEntry::kPlus;
    }
    if (!ConfigSender::inThermostatRange(value.code))
        return {std::nullopt, QStringLiteral("%1 is outside the thermostat's range of %2 to +%3 °C")
                                  .arg(text, celsiusText(ConfigSender::kLowestCode),
                                       celsiusText(ConfigSender::kHighestCode))};
    return {value, {}};
}

} // namespace

namespace ValueParser {

Parsed<Celsius> celsius(const QString &text)
{
    return celsiusOf(text, false);
}

Parsed<Celsius> celsiusToTenth(const QString &text)
{
    return celsiusOf(text, true);
}

Parsed<std::int64_t> durationMs(const QString &text)
{
    // digits [. digits] [ms|s|m]
    const QString bad = QStringLiteral("\"%1\" is not a duration (like 500ms, 2s or 1m)").arg(text);
    const QStringView t(text);
    qsizetype at = 0;
    if (digitsAt(t, at).isEmpty())
        return {std::nullopt, bad};
    if (at < t.size() && t[at] == QLatin1Char('.')) {
        ++at;
        if (digitsAt(t, at).isEmpty())
            return {std::nullopt, bad};
    }
    const QStringView number = t.left(at);
    const QStringView unit = t.mid(at);
    if (!unit.isEmpty() && unit != QLatin1String("ms") && unit != QLatin1String("s") &&
        unit != QLatin1String("m"))
        return {std::nullopt, bad};
    bool ok = false;
    const double value = number.toDouble(&ok);
    if (!ok)
        return {std::nullopt, bad};
    const double scale = unit == QLatin1String("ms") ? 1.0 : unit == QLatin1String("m") ? 60000.0 : 1000.0;
    const double ms = std::round(value * scale);
    if (ms < kShortestIntervalMs)
        return {std::nullopt, QStringLiteral("%1 is shorter than the shortest interval, 100ms").arg(text)};
    if (ms > kLongestIntervalMs)
        return {std::nullopt, QStringLiteral("%1 is longer than the longest interval, one day").arg(text)};
    return {static_cast<std::int64_t>(ms), {}};
}

Parsed<std::int64_t> count(const QString &text)
{
    qsizetype at = 0;
    const QStringView digits = digitsAt(text, at);
    const bool wellFormed = at == text.size() && !digits.isEmpty() && digits.size() <= 9;
    const std::int64_t n = wellFormed ? digits.toLongLong() : 0;
    if (n < 1)
        return {std::nullopt, QStringLiteral("\"%1\" is not a number of readings (1 or more)").arg(text)};
    return {n, {}};
}

Parsed<std::int16_t> relayMode(const QString &text)
{
    if (text.compare(QLatin1String("A"), Qt::CaseInsensitive) == 0)
        return {static_cast<std::int16_t>(ThresholdEntry::RelayMode::A), {}};
    if (text.compare(QLatin1String("B"), Qt::CaseInsensitive) == 0)
        return {static_cast<std::int16_t>(ThresholdEntry::RelayMode::B), {}};
    return {std::nullopt, QStringLiteral("\"%1\" is not a relay mode (A or B)").arg(text)};
}

QString celsiusText(std::int64_t tenths)
{
    const QString magnitude =
        ThermoFormat::L(static_cast<std::int32_t>(std::llabs(tenths)), QLatin1Char('.'));
    return tenths < 0 ? QLatin1Char('-') + magnitude : magnitude;
}

Parsed<ListenAddress> listenAddress(const QString &text)
{
    // [IPv6]:PORT or IPv4:PORT or :PORT; the address itself is checked by inet_pton
    const QString bad =
        QStringLiteral(
            "\"%1\" is not ADDRESS:PORT with a numeric address (like 127.0.0.1:9830 or [::1]:9830)")
            .arg(text);
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon < 0)
        return {std::nullopt, bad};
    const QStringView hostPart = QStringView(text).left(colon);
    const QStringView portPart = QStringView(text).mid(colon + 1);
    qsizetype at = 0;
    if (digitsAt(portPart, at).isEmpty() || at != portPart.size() || portPart.size() > 5)
        return {std::nullopt, bad};
    ListenAddress address;
    address.ipv6 = hostPart.startsWith(QLatin1Char('['));
    if (address.ipv6) {
        if (!hostPart.endsWith(QLatin1Char(']')) || hostPart.size() < 3)
            return {std::nullopt, bad};
        address.host = hostPart.mid(1, hostPart.size() - 2).toString();
    } else {
        address.host = hostPart.toString();
        if (address.host.isEmpty())
            address.host = QLatin1String(kDefaultListenHost);
    }
    address.port = portPart.toInt();
    if (address.port > 65535)
        return {std::nullopt, QStringLiteral("%1 is not a port (0 to 65535)").arg(portPart)};
    // inet_pton takes exactly the numeric forms: no names, no zone ids.
    unsigned char buffer[sizeof(in6_addr)];
    if (inet_pton(address.ipv6 ? AF_INET6 : AF_INET, address.host.toLatin1().constData(), buffer) != 1)
        return {std::nullopt, bad};
    return {address, {}};
}

} // namespace ValueParser
