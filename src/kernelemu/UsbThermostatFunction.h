#pragma once

#include "EmulatedThermostat.h"
#include "UsbipWire.h"

#include <QString>
#include <cstdint>
#include <vector>

// The thermostat as a USB device function: its answers to the transfers the
// host submits on the control endpoint and the two interrupt endpoints.
class UsbThermostatFunction
{
public:
    static constexpr std::int32_t Stall = -32; // -EPIPE, what a stalled endpoint gives the host

    explicit UsbThermostatFunction(EmulatedThermostat &thermostat,
                                   QString manufacturer = QStringLiteral("Calidor"));

    struct Reply
    {
        bool pending = false; // no answer now (interrupt IN with nothing to send, a fault)
        std::int32_t status = 0;
        std::vector<std::uint8_t> data; // IN data
    };
    Reply submit(const UsbipWire::Command &cmd, const std::vector<std::uint8_t> &outData);

private:
    Reply control(const std::array<std::uint8_t, 8> &setup, const std::vector<std::uint8_t> &outData);
    Reply descriptor(std::uint8_t requestType, std::uint16_t value);

    EmulatedThermostat &m_thermostat;
    QString m_manufacturer;
    std::uint8_t m_configuration = 0;
};
