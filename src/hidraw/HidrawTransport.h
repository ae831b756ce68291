#pragma once

#include "HidTransport.h"

#include <QElapsedTimer>
#include <QHash>
#include <QSet>
#include <QString>
#include <functional>
#include <memory>

// Real USB HID devices on Linux: hidraw nodes found through libudev, hot-plug
// through a udev monitor watched on the user-interface thread.
//
// The sysfs and device roots can be moved, so the same code runs against a
// fake tree: with `useUdev` off, devices are found by scanning
// <sysfsRoot>/class/hidraw/*/device and their nodes are <devRoot>/<name>;
// rescan() then stands in for the udev monitor.
class HidrawTransport final : public HidTransport
{
    Q_OBJECT
public:
    struct Options
    {
        QString sysfsRoot = QStringLiteral("/sys");
        QString devRoot = QStringLiteral("/dev");
        bool useUdev = true;

        // Permissions on a new node are set by udev just after it appears:
        // an open that meets EACCES within `arrivalGraceMs` of the arrival
        // is tried again for up to `accessRetryMs`.
        int arrivalGraceMs = 3000;
        int accessRetryMs = 1000;

        // open(2) by default; replaceable so a refused open can be staged
        // even when the tests run with every permission.
        std::function<int(const char *path, int flags)> openNode;
    };

    explicit HidrawTransport(QObject *parent = nullptr); // the system's own roots, with udev
    explicit HidrawTransport(Options options, QObject *parent = nullptr);
    ~HidrawTransport() override;

    std::vector<HidDeviceInfo> enumerate() override;
    std::unique_ptr<HidConnection> open(const QString &path, QString *error = nullptr) override;

    // Looks at the nodes present now and signals those that came and went
    // since the last enumerate() or rescan(). Hot-plug for a fake tree, or
    // wherever no udev monitor could be set up.
    void rescan();

    // True when a udev monitor reports arrivals and removals by itself.
    bool hasHotplugMonitor() const;

private:
    struct Udev;

    std::vector<HidDeviceInfo> scanSysfs() const;
    std::vector<HidDeviceInfo> scanUdev() const;
    void onMonitorReadable();
    void noteArrival(const QString &path);
    void noteRemoval(const QString &path);
    bool arrivedRecently(const QString &path) const;
    int openWithRetry(const QString &path, int &err) const;

    Options m_options;
    std::unique_ptr<Udev> m_udev;
    QSet<QString> m_known;
    QHash<QString, QElapsedTimer> m_arrivals;
};
