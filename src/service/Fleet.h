#pragma once

#include "ConfigurePace.h"
#include "HidTransport.h"
#include "Reading.h"
#include "SetCommand.h"
#include "ThermostatWorker.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class QThread;

// What the service knows of one thermostat.
struct ThermostatState
{
    QString id;   // stable id
    QString path; // its node now; the last known one while absent
    QString product;
    QString serial;
    bool up = false;                // the last read answered
    bool tried = false;             // its first read, or opening it, has had an outcome
    std::optional<Reading> reading; // the last good reading, kept while down
    QDateTime readAt;               // when `reading` was taken
    std::uint64_t reads = 0;        // reads that answered
    std::uint64_t readErrors = 0;   // reads that did not
};

// Every thermostat on the machine, plugged in now or later, each read every
// interval through its own ThermostatLink (the code every program shares).
// A thermostat that goes away keeps its state, down, until it is back under
// the same id. Each problem is told once, not at every interval.
//
// Threads and ownership: each thermostat has a ThermostatWorker on a thread
// of its own, which owns its link and does its reads and writes in order.
// The Fleet, its states and its signals live on the main thread (the one
// that made it): a worker's results reach it as queued calls through a
// mailbox, and the states change only there. Other threads (the HTTP
// server's) read snapshot(): an immutable copy, replaced whole after each
// change under a mutex, so a reader sees one consistent moment.
class Fleet : public QObject
{
    Q_OBJECT
public:
    using Notice = std::function<void(const QString &line)>; // one line for standard error

    Fleet(std::shared_ptr<HidTransport> transport, std::int64_t intervalMs, Notice notice,
          QObject *parent = nullptr);
    ~Fleet() override;

    // Finds the thermostats and starts their workers, which read each at once
    // and then every interval.
    void start();
    // Stops every worker. One stuck in a transfer is waited for `graceMs` at
    // most (all together), then left to the end of the process: see abandoned().
    void stop(int graceMs = 300);
    // Workers that did not end within stop()'s grace: the process should end
    // without running the destructors they may still be using.
    bool abandoned() const { return !m_abandoned.isEmpty(); }
    QStringList abandonedIds() const { return m_abandoned; }

    // Asks every worker for one read now; answers how many were asked. Each
    // answer counts in answers() when it arrives.
    int readAll();
    std::uint64_t answers() const { return m_answers; }

    std::vector<ThermostatState> states() const; // ordered by id
    std::optional<ThermostatState> state(const QString &id) const;
    // The states for another thread: never changed once handed out.
    std::shared_ptr<const std::vector<ThermostatState>> snapshot() const;

    struct Outcome
    {
        bool ok = false;
        bool written = false;  // false when refused, or when nothing differed
        QString reason;        // why not ok, one line
        SetCommand::Plan plan; // what the thermostat holds afterwards, when ok
    };
    using Done = std::function<void(const Outcome &)>;
    // The checks, writes and read-back of `calidorctl set`, on the
    // thermostat's own thread; `done` runs on this thread once the read-back
    // is over (at once when the id is unknown). Values not given keep what
    // the thermostat holds, and values it holds already write nothing.
    // `source` says who asked ("mqtt", "web", ...).
    void configure(const QString &id, const SetCommand::Values &values, const QString &source, Done done);

    // Another program of ours (`calidorctl set`) says it is writing a
    // thermostat: told as configured() with its source, for a thermostat
    // the fleet knows.
    void writtenBy(const QString &id, const QString &source);

signals:
    void thermostatAdded(const QString &id);
    void availabilityChanged(const QString &id, bool up);
    void readingChanged(const QString &id);                    // the first reading, or a value changed
    void readDone(const QString &id, bool answered);           // after every read of one thermostat
    void configured(const QString &id, const QString &source); // a configuration was written
    void intervalDone();                                       // once an interval, to publish
    // Once after start(), when every thermostat found then has answered its
    // first read, failed it, or failed to open.
    void firstRoundDone();

private:
    struct Member
    {
        ThermostatState state;
        std::unique_ptr<ThermostatWorker> worker;
        std::unique_ptr<QThread> thread;
        bool open = false;
        bool opening = false;
        bool problemTold = false;
    };

    void discover();
    void tick();
    void startWorker(Member &member);
    void opened(const QString &id, const ThermostatWorker::OpenResult &result);
    void readFinished(const QString &id, const ThermostatWorker::ReadResult &result);
    void setUp(Member &member, bool up);
    void tell(Member &member, const QString &line);
    void publishSnapshot();
    void firstOutcome(Member &member);

    std::shared_ptr<HidTransport> m_inner;     // the real transport, on this thread
    std::shared_ptr<HidTransport> m_transport; // the same, for the workers
    std::int64_t m_intervalMs;
    Notice m_notice;
    QTimer m_timer;
    std::map<QString, Member> m_members;
    ConfigurePace m_pace; // one limit for every source of configurations
    std::shared_ptr<WorkerMailbox> m_mailbox;
    QDateTime m_lastRetry;
    bool m_running = false;
    bool m_firstRoundTold = false;
    QStringList m_abandoned;
    std::uint64_t m_answers = 0;
    mutable std::mutex m_snapshotMutex;
    std::shared_ptr<const std::vector<ThermostatState>> m_snapshot;
};
