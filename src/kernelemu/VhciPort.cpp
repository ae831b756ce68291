#include "VhciPort.h"

#include <QFile>
#include <QStringList>
#include <cerrno>
#include <cstring>

namespace {

constexpr int FullSpeed = 2; // USB_SPEED_FULL
constexpr int PortFree = 4;  // VDEV_ST_NULL

bool writeAttribute(const QString &name, const QByteArray &text, QString *why)
{
    QFile f(VhciPort::controllerFolder() + QLatin1Char('/') + name);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        if (why)
            *why = QStringLiteral("cannot open %1: %2").arg(f.fileName(), f.errorString());
        return false;
    }
    if (f.write(text) != text.size()) {
        if (why)
            *why = QStringLiteral("%1 refused \"%2\": %3")
                       .arg(f.fileName(), QString::fromLatin1(text.trimmed()), f.errorString());
        return false;
    }
    return true;
}

} // namespace

namespace VhciPort {

QString controllerFolder()
{
    return QStringLiteral("/sys/devices/platform/vhci_hcd.0");
}

std::optional<int> freePort(const QString &statusText)
{
    // hub port sta spd dev sockfd local_busid
    for (const QString &line : statusText.split(QLatin1Char('\n'))) {
        const QStringList f = line.simplified().split(QLatin1Char(' '));
        if (f.size() < 3 || f[0] != QLatin1String("hs"))
            continue;
        bool portOk = false;
        bool stateOk = false;
        const int port = f[1].toInt(&portOk, 10);
        const int state = f[2].toInt(&stateOk, 10);
        if (portOk && stateOk && state == PortFree)
            return port;
    }
    return std::nullopt;
}

bool attach(int port, int socketFd, unsigned devid, QString *why)
{
    return writeAttribute(
        QStringLiteral("attach"),
        QStringLiteral("%1 %2 %3 %4\n").arg(port).arg(socketFd).arg(devid).arg(FullSpeed).toLatin1(), why);
}

bool detach(int port, QString *why)
{
    return writeAttribute(QStringLiteral("detach"), QByteArray::number(port) + '\n', why);
}

} // namespace VhciPort
