#include "ThermoFormat.h"

#include "ThresholdEntry.h"

namespace ThermoFormat {

namespace {

const QString degrees = QStringLiteral(" °C");

QString thresholdText(const QString &prefix, std::int32_t raw, QChar decimalSeparator)
{
    const std::int32_t tenths = signedTenths(raw);
    if (tenths < 0)
        return prefix + QStringLiteral(" - ") + P(-tenths) + degrees;
    return prefix + QStringLiteral(" + ") + L(tenths, decimalSeparator) + degrees;
}

} // namespace

QString N(std::int64_t k)
{
    if (k < 0)
        return QString::number(k);
    return QLatin1Char(' ') + QString::number(k);
}

QString L(std::int32_t tenths, QChar decimalSeparator)
{
    QString text = QString::number(tenths / 10);
    if (tenths % 10 != 0)
        text += decimalSeparator + QString::number(tenths % 10);
    return text;
}

QString P(std::int32_t tenths)
{
    QString text = QStringLiteral(" ");
    if (tenths / 10 != 0)
        text += QString::number(tenths / 10);
    if (tenths % 10 != 0)
        text += QLatin1Char('.') + QString::number(tenths % 10);
    return text;
}

std::int32_t signedTenths(std::int32_t raw)
{
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(static_cast<std::uint32_t>(raw) & 0xFFFFu));
}

QString hex(std::int32_t value)
{
    return QString::number(static_cast<std::uint32_t>(value), 16).toUpper();
}

std::optional<bool> contactOnNO(std::int32_t switchVar)
{
    if (switchVar == 1)
        return true;
    if (switchVar == 0)
        return false;
    return std::nullopt;
}

std::optional<char> relayMode(std::int32_t modeStatus)
{
    if (modeStatus == static_cast<std::int32_t>(ThresholdEntry::RelayMode::A))
        return 'A';
    if (modeStatus == static_cast<std::int32_t>(ThresholdEntry::RelayMode::B))
        return 'B';
    return std::nullopt;
}

QString temperatureText(std::int32_t raw, QChar decimalSeparator)
{
    const std::int32_t tenths = signedTenths(raw);
    if (tenths < 0)
        return QStringLiteral("- ") + L(-tenths, decimalSeparator) + degrees;
    return QStringLiteral("+ ") + L(tenths, decimalSeparator) + degrees;
}

QString lowThresholdText(std::int32_t raw, QChar decimalSeparator)
{
    return thresholdText(QStringLiteral("TL < "), raw, decimalSeparator);
}

QString highThresholdText(std::int32_t raw, QChar decimalSeparator)
{
    return thresholdText(QStringLiteral("TH > "), raw, decimalSeparator);
}

} // namespace ThermoFormat
