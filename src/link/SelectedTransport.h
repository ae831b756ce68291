#pragma once

#include "HidTransport.h"
#include "TrackedConnection.h"

#include <memory>

// The one thermostat a command works on, out of all that a transport finds:
// the HID component opens whatever matches, so it is shown only the chosen
// node. Hot-plug notices pass through for every node, so a thermostat that
// comes back under another node can be chosen again.
class SelectedTransport : public HidTransport
{
    Q_OBJECT
public:
    explicit SelectedTransport(std::shared_ptr<HidTransport> inner, QObject *parent = nullptr);

    void select(const QString &path) { m_selected = path; }
    const QString &selected() const { return m_selected; }

    std::vector<HidDeviceInfo> enumerate() override;
    std::unique_ptr<HidConnection> open(const QString &path, QString *error = nullptr) override;

    // What the connections opened here share: the end of the last transfer
    // and the output reports held back.
    TrackedConnection::Shared &tracking() { return *m_shared; }

private:
    std::shared_ptr<HidTransport> m_inner;
    QString m_selected;
    std::shared_ptr<TrackedConnection::Shared> m_shared = std::make_shared<TrackedConnection::Shared>();
};
