#include "Reading.h"

#include "ThermoFormat.h"

Reading Reading::decode(const ThermoRaw &raw, const QString &device, const QString &id)
{
    Reading r;
    r.id = id;
    r.device = device;
    r.temperature = ThermoFormat::signedTenths(raw.InTempVar);
    r.low = ThermoFormat::signedTenths(raw.InTempLowVar);
    r.high = ThermoFormat::signedTenths(raw.InTempHighVar);
    r.contactOnNO = ThermoFormat::contactOnNO(raw.InTempSwitchVar);
    r.mode = ThermoFormat::relayMode(raw.InModeStatus);
    r.probeStatus = raw.InSondeStatus;
    r.bootStatus = raw.InBootStatus;
    return r;
}

QString Reading::probeMeaning(std::int32_t status)
{
    switch (status) {
    case 0:
        return QStringLiteral("probe working");
    case 1:
        return QStringLiteral("probe short-circuited");
    case 2:
        return QStringLiteral("no probe connected");
    case 3:
        return QStringLiteral("measurement failed its CRC check");
    default:
        // Not "unknown": Home Assistant would read that as "no data".
        return QStringLiteral("unrecognised status");
    }
}

QString Reading::contactText() const
{
    if (!contactOnNO)
        return {};
    return *contactOnNO ? QStringLiteral("C-NO") : QStringLiteral("C-NC");
}

QString Reading::modeText() const
{
    return mode ? QString(QLatin1Char(*mode)) : QString();
}
