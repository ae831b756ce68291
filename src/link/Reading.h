#pragma once

#include "ThermoDisplay.h"

#include <QString>
#include <cstdint>
#include <optional>

// One reading of input report A, decoded the way the window decodes it.
// Values the thermostat should never send stay unknown rather than guessed.
struct Reading
{
    QString id;                      // the stable id (serial, or USB port)
    QString device;                  // the hidraw node, or the virtual thermostat's path
    std::int32_t temperature = 0;    // signed tenths of a degree
    std::int32_t low = 0;            // TL
    std::int32_t high = 0;           // TH
    std::optional<bool> contactOnNO; // true: C-NO, false: C-NC
    std::optional<char> mode;        // 'A' or 'B'
    std::int32_t probeStatus = 0;
    std::int32_t bootStatus = 0;

    static Reading decode(const ThermoRaw &raw, const QString &device, const QString &id = {});

    // "probe working", "probe short-circuited", "no probe connected",
    // "measurement failed its CRC check"; "unrecognised status" past 3.
    static QString probeMeaning(std::int32_t status);

    // The probe says it could not measure (status 1 to 3): the temperature
    // sent is not a measurement.
    bool probeFault() const { return probeStatus >= 1 && probeStatus <= 3; }

    QString contactText() const; // "C-NO", "C-NC", empty when unknown
    QString modeText() const;    // "A", "B", empty when unknown
};
