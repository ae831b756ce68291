#include "FuzzTransport.h"

#include "FuzzConnection.h"

#include <QMetaObject>

FuzzTransport::FuzzTransport(ByteStream &responses, QObject *parent)
    : HidTransport(parent), m_responses(responses)
{
}

std::size_t FuzzTransport::addDevice(HidDeviceInfo info, bool refuseOpen)
{
    info.path = QStringLiteral("fuzz:%1").arg(m_devices.size());
    m_devices.push_back(Device{std::move(info), false, refuseOpen, 0});
    return m_devices.size() - 1;
}

void FuzzTransport::setDescriptor(std::size_t index, std::vector<std::uint8_t> descriptor)
{
    m_devices[index].info.reportDescriptor = std::move(descriptor);
}

std::vector<HidDeviceInfo> FuzzTransport::enumerate()
{
    std::vector<HidDeviceInfo> found;
    for (const Device &d : m_devices)
        if (d.plugged)
            found.push_back(d.info);
    return found;
}

std::unique_ptr<HidConnection> FuzzTransport::open(const QString &path, QString *error)
{
    for (std::size_t k = 0; k < m_devices.size(); ++k) {
        const Device &d = m_devices[k];
        if (d.info.path != path)
            continue;
        if (!d.plugged || d.refuseOpen)
            break;
        return std::make_unique<FuzzConnection>(*this, m_responses, k, d.generation, takeHandle());
    }
    if (error)
        *error = QStringLiteral("Cannot open %1").arg(path);
    return nullptr;
}

void FuzzTransport::plug(std::size_t index)
{
    Device &d = m_devices[index];
    if (d.plugged)
        return;
    d.plugged = true;
    emit deviceArrived(d.info.path);
}

void FuzzTransport::unplug(std::size_t index)
{
    Device &d = m_devices[index];
    if (!d.plugged)
        return;
    d.plugged = false;
    ++d.generation;
    emit deviceRemoved(d.info.path);
}

void FuzzTransport::vanishLater(std::size_t index)
{
    Device &d = m_devices[index];
    if (!d.plugged)
        return;
    // Gone for transfers at once; the notice follows.
    ++d.generation;
    QMetaObject::invokeMethod(
        this, [this, index] { unplug(index); }, Qt::QueuedConnection);
}

bool FuzzTransport::isLive(std::size_t index, std::uint32_t generation) const
{
    const Device &d = m_devices[index];
    return d.plugged && d.generation == generation;
}

std::int32_t FuzzTransport::takeHandle()
{
    std::int32_t h = 3;
    while (m_handles.count(h))
        ++h;
    m_handles.insert(h);
    return h;
}
