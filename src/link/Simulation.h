#pragma once

#include "VirtualThermostat.h"
#include "VirtualTransport.h"

#include <QObject>
#include <QProcessEnvironment>
#include <QString>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

// The virtual thermostats of --simulate. Like real ones they keep the
// thresholds and the mode they were set to, and every process of the user
// sees the same: the settings live in a small state file, written after
// each report B and looked at (its inode, time and size) before each report
// A. So `set` while `serve` runs changes the thermostat the service reads,
// and `set` then `read` in two commands behave as with a real device. The
// measured temperature is each process's own model.
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

    // Whether what the thermostats were set to during this run reached the
    // state file. False with the first reason it did not.
    bool save(QString *error) const;

private:
    // The state file as last read: a write (a rename) changes the inode.
    struct Stamp
    {
        quint64 inode = 0;
        qint64 mtimeNs = 0;
        qint64 size = -1;
        bool operator==(const Stamp &) const = default;
    };
    struct Settings
    {
        int low = 0;
        int high = 0;
        int mode = 0;
    };
    struct Unit
    {
        QString serial;
        std::shared_ptr<VirtualThermostat> thermostat;
        Stamp seen; // touched only on the thread that moves this thermostat's reports
    };

    std::map<QString, Settings> readState() const;
    void pull(Unit &unit);
    void push(Unit &unit);
    void stallLater(const QString &spec);
    void replugLater(const QString &path);

    QString m_stateFile;
    std::shared_ptr<VirtualTransport> m_transport;
    std::vector<Unit> m_units; // never resized once made: the hooks hold their unit
    int m_replugAfterMs = -1;
    mutable std::mutex m_errorMutex;
    QString m_writeError; // the first write that failed
};
