#include "KernelEmulator.h"

#include "UhidProtocol.h"
#include "VhciPort.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QStringList>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr int ControlTimeoutMs = 2000; // a client that connects and says nothing

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

bool writeAll(int fd, const void *data, std::size_t size)
{
    const auto *p = static_cast<const std::uint8_t *>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd pfd{fd, POLLOUT, 0};
            if (::poll(&pfd, 1, ControlTimeoutMs) <= 0)
                return false;
            continue;
        }
        if (n <= 0)
            return false;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

KernelEmulator::KernelEmulator(const std::vector<Plan> &plans, QString controlPath)
    : m_controlPath(std::move(controlPath))
{
    for (const Plan &p : plans) {
        Slot s;
        s.thermostat = std::make_unique<EmulatedThermostat>(p.bus, p.serial);
        if (p.bus == EmulatedThermostat::Bus::Usb)
            s.function = std::make_unique<UsbThermostatFunction>(*s.thermostat);
        m_slots.push_back(std::move(s));
    }
}

KernelEmulator::~KernelEmulator()
{
    for (Slot &s : m_slots)
        unplug(s);
    if (m_control >= 0) {
        ::close(m_control);
        ::unlink(QFile::encodeName(m_controlPath).constData());
    }
    if (m_signals >= 0)
        ::close(m_signals);
}

QString KernelEmulator::cannotRun(const std::vector<Plan> &plans)
{
    if (::geteuid() != 0)
        return QStringLiteral("needs root: it creates devices in the kernel");
    for (const Plan &p : plans) {
        if (p.bus == EmulatedThermostat::Bus::Uhid && ::access("/dev/uhid", R_OK | W_OK) != 0)
            return QStringLiteral("/dev/uhid is missing: load the uhid module first (modprobe uhid)");
        if (p.bus == EmulatedThermostat::Bus::Usb &&
            !QFile::exists(VhciPort::controllerFolder() + QStringLiteral("/attach")))
            return QStringLiteral("%1 is missing: load the vhci-hcd module first (modprobe vhci-hcd)")
                .arg(VhciPort::controllerFolder());
    }
    return {};
}

bool KernelEmulator::plug(Slot &slot, unsigned index, QString *why)
{
    EmulatedThermostat &t = *slot.thermostat;
    if (t.plugged)
        return true;
    if (t.bus() == EmulatedThermostat::Bus::Uhid) {
        slot.fd = ::open("/dev/uhid", O_RDWR | O_CLOEXEC | O_NONBLOCK);
        if (slot.fd < 0) {
            *why = QStringLiteral("cannot open /dev/uhid: %1").arg(systemError());
            return false;
        }
        const uhid_event ev = UhidProtocol::create(t);
        if (!writeAll(slot.fd, &ev, sizeof ev)) {
            *why = QStringLiteral("/dev/uhid refused the device: %1").arg(systemError());
            ::close(slot.fd);
            slot.fd = -1;
            return false;
        }
        t.where = QStringLiteral("uhid");
        t.plugged = true;
        return true;
    }

    QFile status(VhciPort::controllerFolder() + QStringLiteral("/status"));
    const auto port = status.open(QIODevice::ReadOnly)
                          ? VhciPort::freePort(QString::fromLatin1(status.readAll()))
                          : std::nullopt;
    if (!port) {
        *why = QStringLiteral("no free port on %1").arg(VhciPort::controllerFolder());
        return false;
    }
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
        *why = QStringLiteral("socketpair: %1").arg(systemError());
        return false;
    }
    // The kernel keeps its own reference to its end once attached.
    const bool ok = VhciPort::attach(*port, pair[1], (1u << 16) | (index + 2), why);
    ::close(pair[1]);
    if (!ok) {
        ::close(pair[0]);
        return false;
    }
    ::fcntl(pair[0], F_SETFL, O_NONBLOCK);
    slot.fd = pair[0];
    slot.port = *port;
    slot.session = std::make_unique<UsbipSession>(*slot.function);
    t.where = QStringLiteral("vhci port %1").arg(*port);
    t.plugged = true;
    return true;
}

void KernelEmulator::unplug(Slot &slot)
{
    if (!slot.thermostat->plugged)
        return;
    if (slot.thermostat->bus() == EmulatedThermostat::Bus::Uhid) {
        const uhid_event ev = UhidProtocol::destroy();
        writeAll(slot.fd, &ev, sizeof ev);
    } else {
        QString why;
        if (!VhciPort::detach(slot.port, &why))
            std::fprintf(stderr, "calidor-kernel-emu: %s\n", qPrintable(why));
        slot.session.reset();
    }
    ::close(slot.fd);
    slot.fd = -1;
    slot.port = -1;
    slot.thermostat->plugged = false;
}

void KernelEmulator::serveUhid(Slot &slot)
{
    uhid_event ev{};
    const ssize_t n = ::read(slot.fd, &ev, sizeof ev);
    if (n <= 0)
        return;
    if (const auto reply = UhidProtocol::handle(*slot.thermostat, ev, static_cast<std::size_t>(n)))
        writeAll(slot.fd, &*reply, sizeof *reply);
}

void KernelEmulator::serveUsb(Slot &slot)
{
    std::uint8_t buf[8192];
    const ssize_t n = ::read(slot.fd, buf, sizeof buf);
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    if (n <= 0 || !slot.session->feed(buf, static_cast<std::size_t>(n))) {
        // The kernel let go of the device (or sent what cannot be followed): it is unplugged.
        if (n > 0)
            std::fprintf(stderr, "calidor-kernel-emu: %s: %s\n", qPrintable(slot.thermostat->where),
                         qPrintable(slot.session->error()));
        unplug(slot);
        return;
    }
    const std::vector<std::uint8_t> out = slot.session->takeOutput();
    if (!out.empty())
        writeAll(slot.fd, out.data(), out.size());
}

QString KernelEmulator::status() const
{
    QJsonArray list;
    for (const Slot &s : m_slots)
        list.append(s.thermostat->record());
    return QString::fromUtf8(
        QJsonDocument(QJsonObject{{QStringLiteral("thermostats"), list}}).toJson(QJsonDocument::Compact));
}

QString KernelEmulator::command(const QString &line)
{
    const QStringList w = line.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (w.isEmpty())
        return QStringLiteral("error: empty command");
    if (w[0] == QLatin1String("status"))
        return status();
    if (w[0] == QLatin1String("quit")) {
        m_quit = true;
        return QStringLiteral("ok");
    }
    bool ok = false;
    const int i = w.size() > 1 ? w[1].toInt(&ok) : -1;
    if (!ok || i < 0 || i >= static_cast<int>(m_slots.size()))
        return QStringLiteral("error: no thermostat \"%1\"").arg(w.size() > 1 ? w[1] : QString());
    Slot &s = m_slots[static_cast<std::size_t>(i)];
    EmulatedThermostat &t = *s.thermostat;
    if (w[0] == QLatin1String("unplug")) {
        unplug(s);
        return QStringLiteral("ok");
    }
    if (w[0] == QLatin1String("plug")) {
        QString why;
        return plug(s, static_cast<unsigned>(i), &why) ? QStringLiteral("ok")
                                                       : QStringLiteral("error: ") + why;
    }
    if (w.size() != 3)
        return QStringLiteral("error: %1 needs a thermostat and a value").arg(w[0]);
    const bool on = w[2] == QLatin1String("on");
    if (w[0] == QLatin1String("refuse"))
        t.refuseGetReport = on;
    else if (w[0] == QLatin1String("ignore"))
        t.ignoreGetReport = on;
    else if (w[0] == QLatin1String("silent"))
        t.silent = on;
    else if (w[0] == QLatin1String("probe"))
        t.model().injectProbeStatus(w[2].toInt());
    else if (w[0] == QLatin1String("temperature"))
        t.model().setTemperature(w[2].toInt());
    else
        return QStringLiteral("error: unknown command \"%1\"").arg(w[0]);
    return QStringLiteral("ok");
}

void KernelEmulator::serveControl()
{
    const int c = ::accept4(m_control, nullptr, nullptr, SOCK_CLOEXEC);
    if (c < 0)
        return;
    QByteArray line;
    char buf[256];
    while (!line.contains('\n') && line.size() < 1024) {
        pollfd pfd{c, POLLIN, 0};
        if (::poll(&pfd, 1, ControlTimeoutMs) <= 0)
            break;
        const ssize_t n = ::read(c, buf, sizeof buf);
        if (n <= 0)
            break;
        line.append(buf, static_cast<qsizetype>(n));
    }
    const QByteArray answer = command(QString::fromUtf8(line.left(line.indexOf('\n')))).toUtf8() + '\n';
    writeAll(c, answer.constData(), static_cast<std::size_t>(answer.size()));
    ::close(c);
}

int KernelEmulator::run()
{
    sigset_t mask;
    sigemptyset(&mask);
    sigaddset(&mask, SIGTERM);
    sigaddset(&mask, SIGINT);
    sigprocmask(SIG_BLOCK, &mask, nullptr);
    m_signals = ::signalfd(-1, &mask, SFD_CLOEXEC);
    std::signal(SIGPIPE, SIG_IGN);

    m_control = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const QByteArray path = QFile::encodeName(m_controlPath);
    if (path.size() >= static_cast<qsizetype>(sizeof addr.sun_path)) {
        std::fprintf(stderr, "calidor-kernel-emu: control socket path too long\n");
        return 2;
    }
    std::memcpy(addr.sun_path, path.constData(), static_cast<std::size_t>(path.size()));
    ::unlink(path.constData());
    if (::bind(m_control, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 ||
        ::listen(m_control, 8) != 0) {
        std::fprintf(stderr, "calidor-kernel-emu: cannot listen on %s: %s\n", path.constData(),
                     std::strerror(errno));
        return 1;
    }

    for (std::size_t i = 0; i < m_slots.size(); ++i) {
        QString why;
        if (!plug(m_slots[i], static_cast<unsigned>(i), &why)) {
            std::fprintf(stderr, "calidor-kernel-emu: thermostat %zu: %s\n", i, qPrintable(why));
            return 1;
        }
        std::printf("thermostat %zu: %s, serial \"%s\"\n", i, qPrintable(m_slots[i].thermostat->where),
                    qPrintable(m_slots[i].thermostat->model().serialNumber()));
    }
    std::printf("ready, control socket %s\n", path.constData());
    std::fflush(stdout);

    while (!m_quit) {
        std::vector<pollfd> fds{{m_signals, POLLIN, 0}, {m_control, POLLIN, 0}};
        for (const Slot &s : m_slots)
            fds.push_back({s.fd, static_cast<short>(s.fd >= 0 ? POLLIN : 0), 0});
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR)
                continue;
            return 1;
        }
        if (fds[0].revents)
            break;
        if (fds[1].revents & POLLIN)
            serveControl();
        for (std::size_t i = 0; i < m_slots.size(); ++i) {
            Slot &s = m_slots[i];
            if (s.fd < 0 || !(fds[i + 2].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            if (s.thermostat->bus() == EmulatedThermostat::Bus::Uhid)
                serveUhid(s);
            else
                serveUsb(s);
        }
    }
    return 0;
}
