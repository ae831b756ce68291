#pragma once

#include <QChar>
#include <QString>
#include <cstdint>
#include <optional>

// The seven raw values of input report A, as the device variables give them.
struct ThermoRaw
{
    std::int32_t InTempVar = 0;
    std::int32_t InTempLowVar = 0;
    std::int32_t InTempHighVar = 0;
    std::int32_t InTempSwitchVar = 0;
    std::int32_t InModeStatus = 0;
    std::int32_t InBootStatus = 0;
    std::int32_t InSondeStatus = 0;
};

// What one successful read changes on screen. An empty field means "leave
// that control as it is": values the thermostat should never send do not
// wipe what was shown before.
struct ThermoDisplay
{
    struct Probe
    {
        QString text;
        bool fault = false; // shown in red
    };

    std::optional<QString> temperature; // Text_nombre_t
    std::optional<Probe> probe;         // Text_status
    std::optional<bool> contactOnNO;    // true: Image4/C-NO, false: Image5/C-NC
    std::optional<QString> mode;        // Text_Mode_relais
    std::optional<QString> low;         // Txt_t1_uniter_recev
    std::optional<QString> high;        // Txt_t2_uniter_recev

    static ThermoDisplay from(const ThermoRaw &raw, QChar decimalSeparator);
};
