#include "ThermoDisplay.h"

#include "ThermoFormat.h"

ThermoDisplay ThermoDisplay::from(const ThermoRaw &raw, QChar decimalSeparator)
{
    ThermoDisplay d;
    d.temperature = ThermoFormat::temperatureText(raw.InTempVar, decimalSeparator);

    switch (raw.InSondeStatus) {
    case 0:
        d.probe = Probe{QStringLiteral("Sonde fonctionnelle."), false};
        break;
    case 1:
        d.probe =
            Probe{QStringLiteral("Merci de vérifier la sonde car elle se trouve en cour-circuit."), true};
        break;
    case 2:
        d.probe = Probe{QStringLiteral("Merci de connecter une sonde."), true};
        break;
    case 3:
        d.probe = Probe{QStringLiteral("Mesure fausse > Erreur de CRC."), true};
        break;
    default:
        break;
    }

    d.contactOnNO = ThermoFormat::contactOnNO(raw.InTempSwitchVar);
    if (const auto mode = ThermoFormat::relayMode(raw.InModeStatus))
        d.mode = QStringLiteral("    Mode choisi : ") + QLatin1Char(*mode);

    d.low = ThermoFormat::lowThresholdText(raw.InTempLowVar, decimalSeparator);
    d.high = ThermoFormat::highThresholdText(raw.InTempHighVar, decimalSeparator);
    return d;
}
