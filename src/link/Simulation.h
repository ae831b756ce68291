#pragma once

#include "VirtualThermostat.h"
#include "VirtualTransport.h"

#include <QObject>
#include <QProcessEnvironment>
#include <QString>
#include <memory>
#include <vector>

// The virtual thermostats of --simulate. Unlike the window's, they keep the
// thresholds and the mode they were set to between runs, in a small state
// file, so that `set` and then `read` in two commands behave as with a real
// device.
//
// For tests, the environment can ask for more thermostats
// (CALIDORCTL_SIMULATE_THERMOSTATS), an unplug after N reads
// (CALIDORCTL_SIMULATE_UNPLUG_AFTER) followed by a replug M ms later
// (CALIDORCTL_SIMULATE_REPLUG_AFTER), thermostats that never answer
// (CALIDORCTL_SIMULATE_STALL=1), one that stops answering for a while
// (CALIDORCTL_SIMULATE_STALL=SERIAL:FROM_MS:FOR_MS, counted from the start),
// one that refuses writes
// (CALIDORCTL_SIMULATE_FAIL_WRITES=1), or one that does not open
// (CALIDORCTL_SIMULATE_OPEN_FAILS=1).
class Simulation : public QObject
{
    Q_OBJECT
public:
    explicit Simulation(const QProcessEnvironment &environment, QObject *parent = nullptr);

    std::shared_ptr<VirtualTransport> transport() const { return m_transport; }

    // $XDG_RUNTIME_DIR/calidorctl-simulate.state, or the temporary folder
    // when there is no runtime folder.
    static QString stateFile(const QProcessEnvironment &environment);

    // Keeps what the thermostats were set to during this run. False with a
    // reason when the state file could not be written.
    bool save(QString *error) const;

private:
    struct Unit
    {
        QString serial;
        std::shared_ptr<VirtualThermostat> thermostat;
    };

    void load();
    void stallLater(const QString &spec);
    void replugLater(const QString &path);

    QString m_stateFile;
    std::shared_ptr<VirtualTransport> m_transport;
    std::vector<Unit> m_units;
    int m_replugAfterMs = -1;
};
