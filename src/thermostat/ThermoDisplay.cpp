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

    if (raw.InTempSwitchVar == 1)
        d.contactOnNO = true;
    else if (raw.InTempSwitchVar == 0)
        d.contactOnNO = false;

    if (raw.InModeStatus == 65)
        d.mode = QStringLiteral("    Mode choisi : A");
    else if (raw.InModeStatus == 66)
        d.mode = QStringLiteral("    Mode choisi : B");

    d.low = ThermoFormat::lowThresholdText(raw.InTempLowVar, decimalSeparator);
    d.high = ThermoFormat::highThresholdText(raw.InTempHighVar, decimalSeparator);
    return d;
}
