#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

// What the operating system tells about one HID interface before it is opened.
struct HidDeviceInfo
{
    QString path; // e.g. "/dev/hidraw3" or "virtual:1"
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    QString product;                            // product string descriptor
    QString serial;                             // serial number string descriptor
    std::vector<std::uint8_t> reportDescriptor; // raw report descriptor bytes
    // Why the identity (bus, vendor, product) could not be read; empty when
    // it was. An interface with an unknown identity is never opened.
    QString identityProblem;
    // The physical USB port: the sysfs name of the USB device ("1-1.2"),
    // which stays the same across replugs into the same socket; empty when
    // the interface is not on USB.
    QString port;
};

enum class HidIoStatus {
    Ok,      // the transfer was done
    Timeout, // nothing arrived within the time-out
    Gone,    // the device has disappeared (ENODEV, POLLHUP, unplugged)
    Error    // any other failure; the device may still be there
};

// One opened interface. Every report buffer starts with the report-ID byte,
// 0 when the device declares no report IDs, followed by the report's bytes,
// as hidraw expects on write and as HIDIOCGINPUT answers.
class HidConnection
{
public:
    virtual ~HidConnection() = default;

    // Operating-system handle of the open interface (the file descriptor for
    // hidraw); shown in the log, never interpreted by callers.
    virtual std::int32_t handle() const = 0;

    // Fills `report` with the device's current input report of that ID.
    // `report` arrives sized to the expected length (ID byte included).
    virtual HidIoStatus readInputReport(std::uint8_t reportId, std::vector<std::uint8_t> &report,
                                        int timeoutMs) = 0;
    virtual HidIoStatus writeOutputReport(const std::vector<std::uint8_t> &report) = 0;
    virtual HidIoStatus getFeatureReport(std::uint8_t reportId, std::vector<std::uint8_t> &report) = 0;
    virtual HidIoStatus setFeatureReport(const std::vector<std::uint8_t> &report) = 0;
};

// The operating-system side of the HID access component: the virtual
// thermostat for tests and simulation, hidraw + libudev for real devices.
// Signals are delivered on the thread that owns the transport (the UI thread).
class HidTransport : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~HidTransport() override = default;

    virtual std::vector<HidDeviceInfo> enumerate() = 0;

    // nullptr on failure, with a reason in `error` when given.
    virtual std::unique_ptr<HidConnection> open(const QString &path, QString *error = nullptr) = 0;

signals:
    void deviceArrived(const QString &path);
    void deviceRemoved(const QString &path);
};
