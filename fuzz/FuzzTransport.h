#pragma once

#include "ByteStream.h"
#include "HidTransport.h"

#include <QString>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <set>
#include <vector>

// A bus of devices that answer whatever the fuzzer's bytes say: which devices
// are plugged, what they declare, and how every transfer ends (short, long,
// wrong ID, failing, or the device vanishing right after it). Paths are
// "fuzz:N"; handles are the lowest free numbers from 3 up, as file
// descriptors are, so a closed handle is soon reused.
class FuzzTransport final : public HidTransport
{
    Q_OBJECT
public:
    struct Device
    {
        HidDeviceInfo info;
        bool plugged = false;
        bool refuseOpen = false;
        std::uint32_t generation = 0; // bumped by every unplug
    };

    // Transfers draw their outcome from `responses`, which must outlive the
    // transport and its connections.
    explicit FuzzTransport(ByteStream &responses, QObject *parent = nullptr);

    std::vector<HidDeviceInfo> enumerate() override;
    std::unique_ptr<HidConnection> open(const QString &path, QString *error = nullptr) override;

    std::size_t addDevice(HidDeviceInfo info, bool refuseOpen);
    std::size_t deviceCount() const { return m_devices.size(); }
    const Device &device(std::size_t index) const { return m_devices[index]; }
    void setDescriptor(std::size_t index, std::vector<std::uint8_t> descriptor);

    // Both signal at once, as the hot-plug monitor does from the event loop.
    void plug(std::size_t index);
    void unplug(std::size_t index);
    // A device that disappears during a transfer is announced later, from
    // the event loop, the way a real removal reaches the program.
    void vanishLater(std::size_t index);

    std::size_t liveConnections() const { return m_handles.size(); }
    bool isLive(std::size_t index, std::uint32_t generation) const;

private:
    friend class FuzzConnection;
    std::int32_t takeHandle();
    void releaseHandle(std::int32_t handle) { m_handles.erase(handle); }

    ByteStream &m_responses;
    std::vector<Device> m_devices;
    std::set<std::int32_t> m_handles;
};
