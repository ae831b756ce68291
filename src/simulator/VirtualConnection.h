#pragma once

#include "HidTransport.h"
#include "VirtualThermostat.h"

#include <atomic>
#include <functional>
#include <memory>

// What a plugged virtual device and its open connections share: the device
// itself and whether it is still in its socket. A connection may be used on
// another thread than the transport's (the service reads each thermostat on
// its own), so what either side may change while the other looks is atomic.
struct VirtualSocket
{
    std::shared_ptr<VirtualThermostat> device;
    std::atomic<bool> plugged = true;
    std::atomic<bool> realStall = false; // a stalled read really waits for its time-out
    // Reads still answered before the device drops out; negative: never.
    std::atomic<int> readsBeforeUnplug = -1;
    std::function<void()> pulled; // told when the device drops out by itself
};

// An open interface of a virtual device. Once the device is unplugged every
// transfer answers Gone, as a real interface does after the cable is pulled.
class VirtualConnection : public HidConnection
{
public:
    VirtualConnection(std::shared_ptr<VirtualSocket> socket, std::int32_t handle)
        : m_socket(std::move(socket)), m_handle(handle)
    {
    }

    std::int32_t handle() const override { return m_handle; }
    HidIoStatus readInputReport(std::uint8_t reportId, std::vector<std::uint8_t> &report,
                                int timeoutMs) override;
    HidIoStatus writeOutputReport(const std::vector<std::uint8_t> &report) override;
    HidIoStatus getFeatureReport(std::uint8_t reportId, std::vector<std::uint8_t> &report) override;
    HidIoStatus setFeatureReport(const std::vector<std::uint8_t> &report) override;

private:
    std::shared_ptr<VirtualSocket> m_socket;
    std::int32_t m_handle;
};
