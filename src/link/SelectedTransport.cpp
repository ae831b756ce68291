#include "SelectedTransport.h"

#include <algorithm>

SelectedTransport::SelectedTransport(std::shared_ptr<HidTransport> inner, QObject *parent)
    : HidTransport(parent), m_inner(std::move(inner))
{
    connect(m_inner.get(), &HidTransport::deviceArrived, this, &HidTransport::deviceArrived);
    connect(m_inner.get(), &HidTransport::deviceRemoved, this, &HidTransport::deviceRemoved);
}

std::vector<HidDeviceInfo> SelectedTransport::enumerate()
{
    std::vector<HidDeviceInfo> found = m_inner->enumerate();
    found.erase(std::remove_if(found.begin(), found.end(),
                               [this](const HidDeviceInfo &info) { return info.path != m_selected; }),
                found.end());
    return found;
}

std::unique_ptr<HidConnection> SelectedTransport::open(const QString &path, QString *error)
{
    if (path != m_selected) {
        if (error)
            *error = QStringLiteral("not the chosen thermostat");
        return nullptr;
    }
    std::unique_ptr<HidConnection> inner = m_inner->open(path, error);
    if (!inner)
        return nullptr;
    return std::make_unique<TrackedConnection>(std::move(inner), m_shared);
}
