#pragma once

#include "ConfigSender.h"
#include "ExitCode.h"
#include "HidAgent.h"
#include "Reading.h"
#include "SelectedTransport.h"
#include "TSoftDet.h"

#include <QObject>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

// One thermostat reached the way the window reaches it: the HID component
// over a transport, and a device object bound to the opened interface.
// Every transfer is bounded by the component's time-out. Once opened, the
// link follows the thermostat: when it is unplugged the link says so, and
// when a thermostat that fits the same choice comes back it opens it again.
class ThermostatLink : public QObject
{
    Q_OBJECT
public:
    static constexpr int kTimeoutMs = 2000;
    static inline const QString kUdevRule = QStringLiteral("/usr/lib/udev/rules.d/70-calidor-qn52w.rules");

    struct Failure
    {
        ExitCode code = ExitCode::Ok;
        QString message; // one line, without the program name

        explicit operator bool() const { return code != ExitCode::Ok; }
    };

    explicit ThermostatLink(std::shared_ptr<HidTransport> transport, QObject *parent = nullptr);
    ~ThermostatLink() override;

    // The thermostats present, in the transport's order (positions from 1).
    std::vector<HidDeviceInfo> thermostats() const { return thermostatsOf(*m_inner); }
    static std::vector<HidDeviceInfo> thermostatsOf(HidTransport &transport);

    // Which of `candidates` a --device value names: empty means the only
    // one; else a node path, a stable id, or a position from 1, tried in
    // that order. `id`, when given, receives the chosen one's stable id.
    static Failure choose(const QString &selection, const std::vector<HidDeviceInfo> &candidates,
                          QString *path, QString *id = nullptr);

    // What to tell when a node could not be opened; `err` is the errno of
    // the attempt (0 when unknown), `reason` what the component said.
    static Failure openFailure(const QString &path, int err, const QString &reason);

    Failure open(const QString &selection);
    bool isOpen() const { return m_device != nullptr; }
    QString device() const { return m_transport->selected(); }
    // The stable id of the thermostat opened (or last opened).
    QString id() const { return m_id; }

    std::optional<Reading> read(Failure *failure);

    // The five writes of a configuration and report B, as the window does them.
    Failure write(std::int32_t codeLow, std::int32_t codeHigh, std::int16_t mode,
                  const ConfigSender::WriteObserver &wrote = {});

    // While held, output reports are kept here instead of being sent.
    void holdWrites(bool on) { m_transport->tracking().holdWrites = on; }
    const std::vector<std::vector<std::uint8_t>> &heldWrites() { return m_transport->tracking().heldWrites; }

signals:
    void lost(const QString &path);
    void back(const QString &path);

private:
    void intfOpened();
    void intfClosed(std::int32_t numStillOpen, const QString &name, std::int32_t handle);
    void deviceArrived();
    Failure transferFailure(const char *what) const;
    Failure tryOpen(const QString &path);

    std::shared_ptr<HidTransport> m_inner;
    std::shared_ptr<SelectedTransport> m_transport;
    std::shared_ptr<HidAgent> m_agent;
    std::shared_ptr<TSoftDet> m_device;
    QString m_selection;
    QString m_id;
    bool m_follow = false;  // reopen when a fitting thermostat arrives
    QString m_agentMessage; // why the component did not open the node
    QString m_bindFailure;  // why the opened interface could not be bound
};
