#pragma once

#include "HidTransport.h"
#include "VirtualThermostat.h"

#include <QStringList>
#include <memory>
#include <vector>

struct VirtualSocket;

// A HID transport with virtual thermostats instead of USB devices. Devices are
// plugged and unplugged by the test or the simulation console; deviceArrived
// and deviceRemoved are emitted at once, from within plug() and unplug().
class VirtualTransport : public HidTransport
{
    Q_OBJECT
public:
    explicit VirtualTransport(QObject *parent = nullptr);
    ~VirtualTransport() override;

    // Plugs a device in and returns its path ("virtual:1", "virtual:2", ...);
    // paths are never reused within one transport.
    QString plug(std::shared_ptr<VirtualThermostat> device);
    // Pulls a device out: its open connections answer Gone from now on. With
    // `announce` false no deviceRemoved is emitted, as when the system's
    // notice comes late. False when no device has that path.
    bool unplug(const QString &path, bool announce = true);
    // The device drops out on the read that follows the next `reads` reads,
    // as when the cable is pulled between two polls; that read answers Gone
    // and the removal is announced from the event loop, as the system's
    // notice would be. False when no device has that path.
    bool unplugAfterReads(const QString &path, int reads);

    std::shared_ptr<VirtualThermostat> thermostat(const QString &path) const;
    QStringList paths() const;

    // Open refuses every device (as when permissions are missing).
    void setOpenFails(bool on) { m_openFails = on; }
    // A stalled read really sleeps for its time-out instead of answering at once.
    void setRealStall(bool on);
    int openCount() const { return m_opens; }

    std::vector<HidDeviceInfo> enumerate() override;
    std::unique_ptr<HidConnection> open(const QString &path, QString *error = nullptr) override;

private:
    struct Slot
    {
        QString path;
        std::shared_ptr<VirtualSocket> socket;
    };

    const Slot *find(const QString &path) const;

    std::vector<Slot> m_slots;
    int m_nextPath = 1;
    std::int32_t m_nextHandle = 0x101;
    bool m_openFails = false;
    bool m_realStall = false;
    int m_opens = 0;
};
