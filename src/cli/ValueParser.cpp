#include "ValueParser.h"

#include "ConfigSender.h"
#include "ThermoFormat.h"
#include "ThresholdEntry.h"

#include <QRegularExpression>
#include <arpa/inet.h>
#include <cmath>

namespace ValueParser {

Parsed<Celsius> celsius(const QString &text)
{
    static const QRegularExpression form(QStringLiteral("^([+-]?)([0-9]*)(?:[.,]([0-9]+))?$"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch() || (m.captured(2).isEmpty() && m.captured(3).isEmpty()))
        return {std::nullopt,
                QStringLiteral("\"%1\" is not a temperature in °C (like -12.5, 20 or +3.0)").arg(text)};
    if (m.captured(3).size() > 1)
        return {std::nullopt, QStringLiteral("%1 has more than one decimal").arg(text)};

    Celsius value;
    value.sign = m.captured(1) == QLatin1String("-") ? ThresholdEntry::kMinus : ThresholdEntry::kPlus;
    value.whole = m.captured(2);
    value.tenths = m.captured(3);
    value.code = ConfigSender::Code(value.sign, value.whole, value.tenths);
    if (!ConfigSender::inThermostatRange(value.code))
        return {std::nullopt, QStringLiteral("%1 is outside the thermostat's range of %2 to +%3 °C")
                                  .arg(text, celsiusText(ConfigSender::kLowestCode),
                                       celsiusText(ConfigSender::kHighestCode))};
    return {value, {}};
}

Parsed<std::int64_t> durationMs(const QString &text)
{
    static const QRegularExpression form(QStringLiteral("^([0-9]+(?:\\.[0-9]+)?)(ms|s|m)?$"));
    const QRegularExpressionMatch m = form.match(text);
    const QString bad = QStringLiteral("\"%1\" is not a duration (like 500ms, 2s or 1m)").arg(text);
    if (!m.hasMatch())
        return {std::nullopt, bad};
    bool ok = false;
    const double number = m.captured(1).toDouble(&ok);
    if (!ok)
        return {std::nullopt, bad};
    const QString unit = m.captured(2);
    const double scale = unit == QLatin1String("ms") ? 1.0 : unit == QLatin1String("m") ? 60000.0 : 1000.0;
    const double ms = std::round(number * scale);
    if (ms < kShortestIntervalMs)
        return {std::nullopt, QStringLiteral("%1 is shorter than the shortest interval, 100ms").arg(text)};
    if (ms > kLongestIntervalMs)
        return {std::nullopt, QStringLiteral("%1 is longer than the longest interval, one day").arg(text)};
    return {static_cast<std::int64_t>(ms), {}};
}

Parsed<std::int64_t> count(const QString &text)
{
    static const QRegularExpression form(QStringLiteral("^[0-9]{1,9}$"));
    const std::int64_t n = form.match(text).hasMatch() ? text.toLongLong() : 0;
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
    static const QRegularExpression form(
        QStringLiteral("^(?:\\[([0-9A-Fa-f:.]+)\\]|([0-9.]*)):([0-9]{1,5})$"));
    const QRegularExpressionMatch m = form.match(text);
    const QString bad =
        QStringLiteral(
            "\"%1\" is not ADDRESS:PORT with a numeric address (like 127.0.0.1:9830 or [::1]:9830)")
            .arg(text);
    if (!m.hasMatch())
        return {std::nullopt, bad};
    ListenAddress address;
    address.ipv6 = m.hasCaptured(1) && !m.captured(1).isEmpty();
    address.host = address.ipv6 ? m.captured(1) : m.captured(2);
    if (address.host.isEmpty())
        address.host = QLatin1String(kDefaultListenHost);
    address.port = m.captured(3).toInt();
    if (address.port > 65535)
        return {std::nullopt, QStringLiteral("%1 is not a port (0 to 65535)").arg(m.captured(3))};
    unsigned char buffer[sizeof(in6_addr)];
    if (inet_pton(address.ipv6 ? AF_INET6 : AF_INET, address.host.toLatin1().constData(), buffer) != 1)
        return {std::nullopt, bad};
    return {address, {}};
}

} // namespace ValueParser
