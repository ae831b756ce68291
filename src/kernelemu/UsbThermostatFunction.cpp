#include "UsbThermostatFunction.h"

#include "UsbDescriptors.h"

namespace {

constexpr std::uint8_t StandardIn = 0x80;
constexpr std::uint8_t InterfaceIn = 0x81;
constexpr std::uint8_t ClassInterfaceIn = 0xA1;
constexpr std::uint8_t ClassInterfaceOut = 0x21;

constexpr std::uint8_t GetStatus = 0x00;
constexpr std::uint8_t GetDescriptor = 0x06;
constexpr std::uint8_t GetConfiguration = 0x08;
constexpr std::uint8_t SetConfiguration = 0x09;
constexpr std::uint8_t HidGetReport = 0x01;
constexpr std::uint8_t HidGetIdle = 0x02;
constexpr std::uint8_t HidSetReport = 0x09;
constexpr std::uint8_t HidSetIdle = 0x0A;
constexpr std::uint8_t HidSetProtocol = 0x0B;
constexpr std::uint8_t InputReport = 1;
constexpr std::uint8_t OutputReport = 2;

UsbThermostatFunction::Reply answer(std::vector<std::uint8_t> data, std::uint16_t maxLength)
{
    if (data.size() > maxLength)
        data.resize(maxLength);
    return {false, 0, std::move(data)};
}

} // namespace

UsbThermostatFunction::UsbThermostatFunction(EmulatedThermostat &thermostat, QString manufacturer)
    : m_thermostat(thermostat), m_manufacturer(std::move(manufacturer))
{
}

UsbThermostatFunction::Reply UsbThermostatFunction::submit(const UsbipWire::Command &cmd,
                                                           const std::vector<std::uint8_t> &outData)
{
    if (m_thermostat.silent)
        return {true, 0, {}};
    if (cmd.ep == 0)
        return control(cmd.setup, outData);
    if (cmd.ep == (UsbDescriptors::OutEndpoint & 0x0F) && cmd.direction == UsbipWire::DirOut)
        return {false, m_thermostat.takeOutputReport(outData) ? 0 : Stall, {}};
    if (cmd.ep == (UsbDescriptors::InEndpoint & 0x0F) && cmd.direction == UsbipWire::DirIn)
        return {true, 0, {}}; // the thermostat sends nothing by itself: it is read with GET_REPORT
    return {false, Stall, {}};
}

UsbThermostatFunction::Reply UsbThermostatFunction::control(const std::array<std::uint8_t, 8> &setup,
                                                            const std::vector<std::uint8_t> &outData)
{
    const std::uint8_t type = setup[0];
    const std::uint8_t request = setup[1];
    const auto value = static_cast<std::uint16_t>(setup[2] | (setup[3] << 8));
    const auto length = static_cast<std::uint16_t>(setup[6] | (setup[7] << 8));

    if (request == GetDescriptor && (type == StandardIn || type == InterfaceIn)) {
        Reply r = descriptor(type, value);
        if (!r.pending && r.status == 0 && r.data.size() > length)
            r.data.resize(length);
        return r;
    }
    if (type == StandardIn && request == GetStatus)
        return answer({0, 0}, length);
    if (type == StandardIn && request == GetConfiguration)
        return answer({m_configuration}, length);
    if (type == 0x00 && request == SetConfiguration) {
        if (value > 1)
            return {false, Stall, {}};
        m_configuration = static_cast<std::uint8_t>(value);
        return {};
    }
    if ((type & 0x60) == 0) // other standard requests (SET_INTERFACE, CLEAR_FEATURE on a halt): nothing to do
        return (type & 0x80) ? Reply{false, Stall, {}} : Reply{};

    if (type == ClassInterfaceIn && request == HidGetReport) {
        if ((value >> 8) != InputReport)
            return {false, Stall, {}};
        const EmulatedThermostat::Answer a =
            m_thermostat.getInputReport(static_cast<std::uint8_t>(value & 0xFF));
        if (a.kind == EmulatedThermostat::Answer::Ignored)
            return {true, 0, {}};
        if (a.kind == EmulatedThermostat::Answer::Refused)
            return {false, Stall, {}};
        return answer(a.report, length);
    }
    if (type == ClassInterfaceIn && request == HidGetIdle)
        return answer({0}, length);
    if (type == ClassInterfaceOut && request == HidSetReport) {
        if ((value >> 8) != OutputReport)
            return {false, Stall, {}};
        return {false, m_thermostat.takeOutputReport(outData) ? 0 : Stall, {}};
    }
    if (type == ClassInterfaceOut && (request == HidSetIdle || request == HidSetProtocol))
        return {};
    return {false, Stall, {}};
}

UsbThermostatFunction::Reply UsbThermostatFunction::descriptor(std::uint8_t requestType, std::uint16_t value)
{
    const VirtualThermostat &m = m_thermostat.model();
    const std::uint8_t kind = value >> 8;
    const std::uint8_t index = value & 0xFF;
    const std::size_t rdSize = m.reportDescriptor().size();
    if (requestType == InterfaceIn) {
        if (kind == 0x22)
            return {false, 0, m.reportDescriptor()};
        if (kind == 0x21)
            return {false, 0, UsbDescriptors::hid(rdSize)};
        return {false, Stall, {}};
    }
    switch (kind) {
    case 0x01:
        return {false, 0, UsbDescriptors::device(m.vendorId(), m.productId(), !m.serialNumber().isEmpty())};
    case 0x02:
        return {false, 0, UsbDescriptors::configuration(rdSize)};
    case 0x03:
        if (index == 0)
            return {false, 0, UsbDescriptors::languages()};
        if (index == UsbDescriptors::ManufacturerIndex)
            return {false, 0, UsbDescriptors::string(m_manufacturer)};
        if (index == UsbDescriptors::ProductIndex)
            return {false, 0, UsbDescriptors::string(m.productName())};
        if (index == UsbDescriptors::SerialIndex && !m.serialNumber().isEmpty())
            return {false, 0, UsbDescriptors::string(m.serialNumber())};
        return {false, Stall, {}};
    default: // a full-speed device has no qualifier; no BOS before USB 2.01
        return {false, Stall, {}};
    }
}
