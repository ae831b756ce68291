#include "VirtualTransport.h"

#include "VirtualConnection.h"

#include <QMetaObject>
#include <QPointer>
#include <algorithm>

VirtualTransport::VirtualTransport(QObject *parent) : HidTransport(parent) {}

VirtualTransport::~VirtualTransport() = default;

QString VirtualTransport::plug(std::shared_ptr<VirtualThermostat> device)
{
    auto socket = std::make_shared<VirtualSocket>();
    socket->device = std::move(device);
    socket->realStall = m_realStall;
    const QString path = QStringLiteral("virtual:%1").arg(m_nextPath++);
    m_slots.push_back(Slot{path, std::move(socket)});
    emit deviceArrived(path);
    return path;
}

bool VirtualTransport::unplug(const QString &path, bool announce)
{
    const auto it =
        std::find_if(m_slots.begin(), m_slots.end(), [&](const Slot &s) { return s.path == path; });
    if (it == m_slots.end())
        return false;
    it->socket->plugged = false;
    m_slots.erase(it);
    if (announce)
        emit deviceRemoved(path);
    return true;
}

bool VirtualTransport::unplugAfterReads(const QString &path, int reads)
{
    const Slot *s = find(path);
    if (!s)
        return false;
    s->socket->readsBeforeUnplug = reads < 0 ? 0 : reads;
    // The socket may outlive this transport through an open connection.
    const QPointer<VirtualTransport> self(this);
    s->socket->pulled = [self, path] {
        if (self)
            QMetaObject::invokeMethod(
                self, [self, path] { self->unplug(path); }, Qt::QueuedConnection);
    };
    return true;
}

const VirtualTransport::Slot *VirtualTransport::find(const QString &path) const
{
    for (const auto &s : m_slots)
        if (s.path == path)
            return &s;
    return nullptr;
}

std::shared_ptr<VirtualThermostat> VirtualTransport::thermostat(const QString &path) const
{
    const Slot *s = find(path);
    return s ? s->socket->device : nullptr;
}

QStringList VirtualTransport::paths() const
{
    QStringList out;
    for (const auto &s : m_slots)
        out << s.path;
    return out;
}

void VirtualTransport::setRealStall(bool on)
{
    m_realStall = on;
    for (auto &s : m_slots)
        s.socket->realStall = on;
}

std::vector<HidDeviceInfo> VirtualTransport::enumerate()
{
    std::vector<HidDeviceInfo> out;
    for (const auto &s : m_slots) {
        const VirtualThermostat &d = *s.socket->device;
        HidDeviceInfo info;
        info.path = s.path;
        info.vendorId = d.vendorId();
        info.productId = d.productId();
        info.product = d.productName();
        info.serial = d.serialNumber();
        info.port = d.usbPort();
        info.reportDescriptor = d.reportDescriptor();
        out.push_back(std::move(info));
    }
    return out;
}

std::unique_ptr<HidConnection> VirtualTransport::open(const QString &path, QString *error)
{
    const Slot *s = find(path);
    if (!s || m_openFails) {
        if (error)
            *error = s ? QStringLiteral("permission denied") : QStringLiteral("no such device");
        return nullptr;
    }
    ++m_opens;
    return std::make_unique<VirtualConnection>(s->socket, m_nextHandle++);
}
