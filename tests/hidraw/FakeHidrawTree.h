#pragma once

// A throw-away sysfs and /dev tree for HidrawTransport. Each device node is
// the slave side of a pseudo-terminal in raw mode: the test plays the device
// on the master side, feeding input reports and reading what was written.

#include "HidrawTransport.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <memory>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

class FakeNode
{
public:
    FakeNode()
    {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
            throw std::runtime_error("no pseudo-terminal");
        m_slavePath = QString::fromLocal8Bit(::ptsname(m_master));
        // Held open by the test so that bytes in flight can be counted.
        m_slave = ::open(QFile::encodeName(m_slavePath).constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        termios raw{};
        if (m_slave < 0 || ::tcgetattr(m_slave, &raw) != 0)
            throw std::runtime_error("cannot set up the pseudo-terminal");
        ::cfmakeraw(&raw);
        ::tcsetattr(m_slave, TCSANOW, &raw);
    }
    ~FakeNode()
    {
        unplug();
        if (m_slave >= 0)
            ::close(m_slave);
    }
    FakeNode(const FakeNode &) = delete;
    FakeNode &operator=(const FakeNode &) = delete;

    QString slavePath() const { return m_slavePath; }

    // Bytes written to the node side and not read there yet.
    int pendingAtNode() const
    {
        int n = 0;
        ::ioctl(m_slave, FIONREAD, &n);
        return n;
    }

    // The device sends one report. Returns once it can be read at the node
    // (a pseudo-terminal passes bytes on asynchronously), unless a reader
    // on another thread may take it at once.
    enum class Wait { UntilReadable, No };
    void send(const Bytes &report, Wait wait = Wait::UntilReadable)
    {
        const int before = pendingAtNode();
        if (::write(m_master, report.data(), report.size()) != static_cast<ssize_t>(report.size()))
            throw std::runtime_error("short write to the fake device");
        for (int i = 0; wait == Wait::UntilReadable && i < 1000 &&
                        pendingAtNode() < before + static_cast<int>(report.size());
             ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

    // What the host wrote to the device: `count` bytes, or fewer after `timeoutMs`.
    Bytes receive(std::size_t count, int timeoutMs = 1000)
    {
        Bytes got;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (got.size() < count) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd pfd{m_master, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&pfd, 1, static_cast<int>(left.count())) <= 0)
                break;
            std::uint8_t buf[256];
            const ssize_t n = ::read(m_master, buf, std::min(sizeof buf, count - got.size()));
            if (n <= 0)
                break;
            got.insert(got.end(), buf, buf + n);
        }
        return got;
    }

    // Pulling the plug: the node hangs up.
    void unplug()
    {
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
    }

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
};

class FakeHidrawTree
{
public:
    FakeHidrawTree()
    {
        if (!m_dir.isValid())
            throw std::runtime_error("no temporary folder");
        QDir(m_dir.path()).mkpath(QStringLiteral("sys/class/hidraw"));
        QDir(m_dir.path()).mkpath(QStringLiteral("dev"));
    }

    QString sysfsRoot() const { return m_dir.filePath(QStringLiteral("sys")); }
    QString devRoot() const { return m_dir.filePath(QStringLiteral("dev")); }
    QString nodePath(const QString &name) const { return devRoot() + QLatin1Char('/') + name; }

    HidrawTransport::Options options() const
    {
        HidrawTransport::Options o;
        o.sysfsRoot = sysfsRoot();
        o.devRoot = devRoot();
        o.useUdev = false;
        return o;
    }

    struct UsbDevice
    {
        QString hidId = QStringLiteral("0003:00000925:00005000");
        QString hidName = QStringLiteral("Velmora Calidor QN52-W");
        QString hidUniq = QStringLiteral("SN-0042");
        QString product = QStringLiteral("Calidor QN52-W"); // empty: no such attribute
        QString serial = QStringLiteral("SN-0042");
        QByteArray descriptor = QByteArray("\x06\x00\xff\x09\x01\xa1\x01\xc0", 8);
    };

    // Laid out as the kernel does for a USB device: the class entry and the
    // hidraw folder's "device" link lead to the HID device folder, which
    // sits below the USB interface and the USB device.
    FakeNode &addUsbDevice(const QString &name, const UsbDevice &d)
    {
        const QString usb = QStringLiteral("devices/pci0/usb1/1-%1").arg(++m_port);
        const QString hid =
            usb +
            QStringLiteral("/1-%1:1.0/0003:0925:5000.%2").arg(m_port).arg(m_port, 4, 10, QLatin1Char('0'));
        const QString hidraw = hid + QStringLiteral("/hidraw/") + name;
        QDir sys(sysfsRoot());
        sys.mkpath(hidraw);
        write(sys.filePath(usb + QStringLiteral("/busnum")), "1\n");
        if (!d.product.isEmpty())
            write(sys.filePath(usb + QStringLiteral("/product")), d.product.toUtf8() + '\n');
        if (!d.serial.isEmpty())
            write(sys.filePath(usb + QStringLiteral("/serial")), d.serial.toUtf8() + '\n');
        write(sys.filePath(hid + QStringLiteral("/uevent")),
              "DRIVER=hid-generic\nHID_ID=" + d.hidId.toUtf8() + "\nHID_NAME=" + d.hidName.toUtf8() +
                  "\nHID_PHYS=usb-0000:00:14.0-1/input0\nHID_UNIQ=" + d.hidUniq.toUtf8() +
                  "\nMODALIAS=hid:b0003g0001v00000925p00005000\n");
        write(sys.filePath(hid + QStringLiteral("/report_descriptor")), d.descriptor);
        link(QStringLiteral("../.."), sys.filePath(hidraw + QStringLiteral("/device")));
        link(QStringLiteral("../../") + hidraw, sys.filePath(QStringLiteral("class/hidraw/") + name));
        return addNode(name);
    }

    // A class entry that is a plain folder with whatever uevent it is given
    // and, when `descriptor` is not null, a report descriptor.
    FakeNode &addPlainDevice(const QString &name, const QByteArray &uevent, const QByteArray &descriptor)
    {
        QDir sys(sysfsRoot());
        const QString hid = QStringLiteral("class/hidraw/") + name + QStringLiteral("/device");
        sys.mkpath(hid);
        write(sys.filePath(hid + QStringLiteral("/uevent")), uevent);
        if (!descriptor.isNull())
            write(sys.filePath(hid + QStringLiteral("/report_descriptor")), descriptor);
        return addNode(name);
    }

    // The kernel takes the class entry and the node away; the device hangs up.
    void remove(const QString &name)
    {
        QFile::remove(sysfsRoot() + QStringLiteral("/class/hidraw/") + name);
        QDir(sysfsRoot() + QStringLiteral("/class/hidraw/") + name).removeRecursively();
        QFile::remove(nodePath(name));
        if (auto it = m_nodes.find(name); it != m_nodes.end())
            it->second->unplug();
    }

    FakeNode &node(const QString &name) { return *m_nodes.at(name); }

private:
    FakeNode &addNode(const QString &name)
    {
        auto node = std::make_unique<FakeNode>();
        link(node->slavePath(), nodePath(name));
        FakeNode &ref = *node;
        m_nodes[name] = std::move(node);
        return ref;
    }

    static void write(const QString &path, const QByteArray &content)
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(content) != content.size())
            throw std::runtime_error("cannot write " + path.toStdString());
    }

    static void link(const QString &target, const QString &at)
    {
        if (::symlink(QFile::encodeName(target).constData(), QFile::encodeName(at).constData()) != 0)
            throw std::runtime_error("cannot link " + at.toStdString());
    }

    QTemporaryDir m_dir;
    int m_port = 0;
    std::map<QString, std::unique_ptr<FakeNode>> m_nodes;
};
