#pragma once

#include "UsbThermostatFunction.h"
#include "UsbipWire.h"

#include <QString>
#include <cstdint>
#include <map>
#include <vector>

// One device's end of a USB/IP connection, as bytes in and bytes out, so the
// protocol runs without a kernel in the tests. The kernel may cut the stream
// anywhere; a command this device cannot take breaks the session, since
// nothing after it can be trusted to be aligned.
class UsbipSession
{
public:
    explicit UsbipSession(UsbThermostatFunction &function);

    // False once the stream is broken; error() says why.
    bool feed(const std::uint8_t *data, std::size_t size);
    std::vector<std::uint8_t> takeOutput();
    QString error() const { return m_error; }
    std::size_t pending() const { return m_pending.size(); }

private:
    void handle(const UsbipWire::Command &cmd, const std::vector<std::uint8_t> &outData);

    UsbThermostatFunction &m_function;
    std::vector<std::uint8_t> m_in;
    std::vector<std::uint8_t> m_out;
    std::map<std::uint32_t, UsbipWire::Command> m_pending; // by seqnum, not answered yet
    QString m_error;
};
