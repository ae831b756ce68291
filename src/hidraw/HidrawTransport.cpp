#include "HidrawTransport.h"

#include "HidrawConnection.h"
#include "HidrawIoctl.h"
#include "HidrawSysfs.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <libudev.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int kOpenFlags = O_RDWR | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
constexpr int kAccessRetryStepMs = 50;

// "hidraw10" after "hidraw9": the order in which the kernel numbered them.
bool nodeOrder(const HidDeviceInfo &a, const HidDeviceInfo &b)
{
    auto split = [](const QString &path) {
        int digits = 0;
        while (digits < path.size() && path.at(path.size() - 1 - digits).isDigit())
            ++digits;
        return std::make_pair(path.left(path.size() - digits), path.right(digits).toULongLong());
    };
    return split(a.path) < split(b.path);
}

// When sysfs has no report descriptor, the node itself can give it.
void loadDescriptorFromNode(HidDeviceInfo &info)
{
    if (!info.reportDescriptor.empty())
        return;
    const int fd =
        ::open(QFile::encodeName(info.path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return; // no access yet: the descriptor stays unknown, the device is still listed
    HidrawIoctl::reportDescriptor(fd, info.reportDescriptor);
    ::close(fd);
}

} // namespace

struct HidrawTransport::Udev
{
    udev *context = nullptr;
    udev_monitor *monitor = nullptr;
    std::unique_ptr<QSocketNotifier> notifier;

    ~Udev()
    {
        notifier.reset();
        if (monitor)
            udev_monitor_unref(monitor);
        if (context)
            udev_unref(context);
    }
};

HidrawTransport::HidrawTransport(QObject *parent) : HidrawTransport(Options{}, parent) {}

HidrawTransport::HidrawTransport(Options options, QObject *parent)
    : HidTransport(parent), m_options(std::move(options))
{
    if (!m_options.openNode)
        m_options.openNode = [](const char *path, int flags) { return ::open(path, flags); };
    if (!m_options.useUdev)
        return;

    m_udev = std::make_unique<Udev>();
    m_udev->context = udev_new();
    if (!m_udev->context) {
        m_udev.reset(); // scan /sys by hand instead
        return;
    }

    // The monitor exists before the first enumeration, so a device plugged
    // in between is not missed. Events come from udev, not the kernel, so
    // its rules (and the access they grant) have run when we hear of them.
    m_udev->monitor = udev_monitor_new_from_netlink(m_udev->context, "udev");
    if (!m_udev->monitor)
        return;
    if (udev_monitor_filter_add_match_subsystem_devtype(m_udev->monitor, "hidraw", nullptr) < 0 ||
        udev_monitor_enable_receiving(m_udev->monitor) < 0 || !QCoreApplication::instance()) {
        udev_monitor_unref(m_udev->monitor);
        m_udev->monitor = nullptr;
        return;
    }
    m_udev->notifier =
        std::make_unique<QSocketNotifier>(udev_monitor_get_fd(m_udev->monitor), QSocketNotifier::Read);
    connect(m_udev->notifier.get(), &QSocketNotifier::activated, this, &HidrawTransport::onMonitorReadable);
}

HidrawTransport::~HidrawTransport() = default;

bool HidrawTransport::hasHotplugMonitor() const
{
    return m_udev && m_udev->notifier;
}

std::vector<HidDeviceInfo> HidrawTransport::enumerate()
{
    std::vector<HidDeviceInfo> found = m_udev ? scanUdev() : scanSysfs();
    for (HidDeviceInfo &info : found) {
        loadDescriptorFromNode(info);
        // Only added here: removals are signalled by the monitor or rescan().
        m_known.insert(info.path);
    }
    return found;
}

std::vector<HidDeviceInfo> HidrawTransport::scanSysfs() const
{
    std::vector<HidDeviceInfo> found;
    const QDir classDir(m_options.sysfsRoot + QStringLiteral("/class/hidraw"));
    const QStringList names = classDir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System);
    for (const QString &name : names) {
        const QString hidFolder = classDir.filePath(name + QStringLiteral("/device"));
        if (!QFileInfo(hidFolder).isDir())
            continue;
        HidDeviceInfo info = HidrawSysfs::readHidDevice(hidFolder);
        info.path = QDir(m_options.devRoot).filePath(name);
        found.push_back(std::move(info));
    }
    std::sort(found.begin(), found.end(), nodeOrder);
    return found;
}

std::vector<HidDeviceInfo> HidrawTransport::scanUdev() const
{
    std::vector<HidDeviceInfo> found;
    udev_enumerate *en = udev_enumerate_new(m_udev->context);
    if (!en)
        return scanSysfs();
    udev_enumerate_add_match_subsystem(en, "hidraw");
    udev_enumerate_scan_devices(en);

    udev_list_entry *entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(en))
    {
        udev_device *dev = udev_device_new_from_syspath(m_udev->context, udev_list_entry_get_name(entry));
        if (!dev)
            continue;
        const char *node = udev_device_get_devnode(dev);
        // The parent belongs to `dev` and goes with it.
        udev_device *hid = udev_device_get_parent_with_subsystem_devtype(dev, "hid", nullptr);
        if (node && hid) {
            HidDeviceInfo info = HidrawSysfs::readHidDevice(QString::fromUtf8(udev_device_get_syspath(hid)));
            info.path = QString::fromUtf8(node);
            found.push_back(std::move(info));
        }
        udev_device_unref(dev);
    }
    udev_enumerate_unref(en);
    std::sort(found.begin(), found.end(), nodeOrder);
    return found;
}

void HidrawTransport::rescan()
{
    QSet<QString> present;
    for (const HidDeviceInfo &info : m_udev ? scanUdev() : scanSysfs())
        present.insert(info.path);

    QStringList gone(m_known.begin(), m_known.end());
    gone.erase(
        std::remove_if(gone.begin(), gone.end(), [&](const QString &p) { return present.contains(p); }),
        gone.end());
    QStringList came(present.begin(), present.end());
    came.erase(
        std::remove_if(came.begin(), came.end(), [&](const QString &p) { return m_known.contains(p); }),
        came.end());
    gone.sort();
    came.sort();

    for (const QString &path : gone)
        noteRemoval(path);
    for (const QString &path : came)
        noteArrival(path);
}

void HidrawTransport::onMonitorReadable()
{
    // The socket is non-blocking: receive until it is empty.
    while (udev_device *dev = udev_monitor_receive_device(m_udev->monitor)) {
        const char *action = udev_device_get_action(dev);
        const char *node = udev_device_get_devnode(dev);
        if (action && node) {
            if (std::strcmp(action, "add") == 0)
                noteArrival(QString::fromUtf8(node));
            else if (std::strcmp(action, "remove") == 0)
                noteRemoval(QString::fromUtf8(node));
        }
        udev_device_unref(dev);
    }
}

void HidrawTransport::noteArrival(const QString &path)
{
    m_arrivals[path].start();
    if (m_known.contains(path))
        return; // already listed by an enumeration that ran after the plug-in
    m_known.insert(path);
    emit deviceArrived(path);
}

void HidrawTransport::noteRemoval(const QString &path)
{
    m_arrivals.remove(path);
    if (!m_known.remove(path))
        return;
    emit deviceRemoved(path);
}

bool HidrawTransport::arrivedRecently(const QString &path) const
{
    const auto it = m_arrivals.constFind(path);
    return it != m_arrivals.constEnd() && !it->hasExpired(m_options.arrivalGraceMs);
}

int HidrawTransport::openWithRetry(const QString &path, int &err) const
{
    const QByteArray native = QFile::encodeName(path);
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        const int fd = m_options.openNode(native.constData(), kOpenFlags);
        if (fd >= 0)
            return fd;
        err = errno;
        if (err == EINTR)
            continue;
        if (err != EACCES || !arrivedRecently(path) || waited.hasExpired(m_options.accessRetryMs))
            return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(kAccessRetryStepMs));
    }
}

std::unique_ptr<HidConnection> HidrawTransport::open(const QString &path, QString *error)
{
    int err = 0;
    const int fd = openWithRetry(path, err);
    if (fd < 0) {
        if (error) {
            *error =
                QStringLiteral("Cannot open %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(err)));
            if (err == EACCES || err == EPERM)
                *error += QStringLiteral(" (is the udev rule for the thermostat installed? "
                                         "Unplug and replug the thermostat after installing it)");
        }
        return nullptr;
    }
    return std::make_unique<HidrawConnection>(fd);
}
