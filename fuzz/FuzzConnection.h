#pragma once

#include "HidTransport.h"

#include <cstddef>
#include <cstdint>
#include <vector>

class ByteStream;
class FuzzTransport;

// One open interface of a FuzzTransport device. After its device is
// unplugged, or once it has answered Gone, every transfer answers Gone.
class FuzzConnection final : public HidConnection
{
public:
    FuzzConnection(FuzzTransport &transport, ByteStream &responses, std::size_t device,
                   std::uint32_t generation, std::int32_t handle);
    ~FuzzConnection() override;

    std::int32_t handle() const override { return m_handle; }
    HidIoStatus readInputReport(std::uint8_t reportId, std::vector<std::uint8_t> &report,
                                int timeoutMs) override;
    HidIoStatus writeOutputReport(const std::vector<std::uint8_t> &report) override;
    HidIoStatus getFeatureReport(std::uint8_t reportId, std::vector<std::uint8_t> &report) override;
    HidIoStatus setFeatureReport(const std::vector<std::uint8_t> &report) override;

private:
    HidIoStatus outcome(); // draws one transfer's ending
    HidIoStatus read(std::uint8_t reportId, std::vector<std::uint8_t> &report);
    HidIoStatus write(const std::vector<std::uint8_t> &report);

    FuzzTransport &m_transport;
    ByteStream &m_responses;
    std::size_t m_device;
    std::uint32_t m_generation;
    std::int32_t m_handle;
    bool m_failed = false;
    std::uint8_t m_lastOutcome = 0;
};
