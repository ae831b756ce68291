#include "Reading.h"

#include "ThermoFormat.h"
#include "ThresholdEntry.h"

Reading Reading::decode(const ThermoRaw &raw, const QString &device)
{
    Reading r;
    r.device = device;
    r.temperature = ThermoFormat::signedTenths(raw.InTempVar);
    r.low = ThermoFormat::signedTenths(raw.InTempLowVar);
    r.high = ThermoFormat::signedTenths(raw.InTempHighVar);
    if (raw.InTempSwitchVar == 1)
        r.contactOnNO = true;
    else if (raw.InTempSwitchVar == 0)
        r.contactOnNO = false;
    if (raw.InModeStatus == static_cast<std::int32_t>(ThresholdEntry::RelayMode::A))
        r.mode = 'A';
    else if (raw.InModeStatus == static_cast<std::int32_t>(ThresholdEntry::RelayMode::B))
        r.mode = 'B';
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
        return QStringLiteral("unknown");
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
