// calidor-kernel-emu: virtual thermostats as devices of the running kernel,
// through /dev/uhid or as USB devices on vhci_hcd, for tests on a real kernel.
#include "KernelEmulator.h"

#include <QStringList>
#include <cstdio>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

const char *const Usage =
    "usage: calidor-kernel-emu [--control SOCKET] uhid[:SERIAL]|usb[:SERIAL]...\n"
    "       calidor-kernel-emu --control SOCKET --send COMMAND\n"
    "Commands: status, unplug N, plug N, refuse N on|off, ignore N on|off, silent N on|off,\n"
    "          probe N STATUS, temperature N TENTHS, quit\n";

// Sends one command to a running emulator and prints its answer.
int send(const QByteArray &path, const QByteArray &command)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.constData(), sizeof addr.sun_path - 1);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
        std::fprintf(stderr, "calidor-kernel-emu: no emulator at %s: %s\n", path.constData(),
                     std::strerror(errno));
        return 1;
    }
    const QByteArray line = command + '\n';
    if (::write(fd, line.constData(), static_cast<std::size_t>(line.size())) != line.size())
        return 1;
    QByteArray answer;
    char buf[4096];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0)
        answer.append(buf, static_cast<qsizetype>(n));
    ::close(fd);
    std::fwrite(answer.constData(), 1, static_cast<std::size_t>(answer.size()), stdout);
    return answer.startsWith("error") ? 1 : 0;
}

} // namespace

int main(int argc, char **argv)
{
    QByteArray control = "/run/calidor-kernel-emu.sock";
    QByteArray command;
    std::vector<KernelEmulator::Plan> plans;
    for (int i = 1; i < argc; ++i) {
        const QString a = QString::fromLocal8Bit(argv[i]);
        if ((a == QLatin1String("--control") || a == QLatin1String("--send")) && i + 1 < argc) {
            (a == QLatin1String("--control") ? control : command) = argv[++i];
        } else if (a == QLatin1String("--help")) {
            std::fputs(Usage, stdout);
            return 0;
        } else if (a.startsWith(QLatin1String("uhid")) || a.startsWith(QLatin1String("usb"))) {
            const QStringList p = a.split(QLatin1Char(':'));
            if (p.size() > 2 || (p[0] != QLatin1String("uhid") && p[0] != QLatin1String("usb"))) {
                std::fprintf(stderr, "calidor-kernel-emu: not a thermostat: %s\n%s", argv[i], Usage);
                return 2;
            }
            plans.push_back(
                {p[0] == QLatin1String("usb") ? EmulatedThermostat::Bus::Usb : EmulatedThermostat::Bus::Uhid,
                 p.value(1)});
        } else {
            std::fprintf(stderr, "calidor-kernel-emu: unknown argument %s\n%s", argv[i], Usage);
            return 2;
        }
    }
    if (!command.isEmpty())
        return send(control, command);
    if (plans.empty()) {
        std::fputs(Usage, stderr);
        return 2;
    }
    if (const QString why = KernelEmulator::cannotRun(plans); !why.isEmpty()) {
        std::fprintf(stderr, "calidor-kernel-emu: %s\n", qPrintable(why));
        return 1;
    }
    KernelEmulator emulator(plans, QString::fromLocal8Bit(control));
    return emulator.run();
}
