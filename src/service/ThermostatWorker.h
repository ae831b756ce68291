#pragma once

#include "HidTransport.h"
#include "Reading.h"
#include "SetCommand.h"
#include "ThermostatLink.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class QThread;

// The way back from the workers to whoever listens on the main thread:
// what a worker posts runs there, in order, or not at all once the
// listener has said it is gone (a worker stuck in a read may post long
// after the service stopped listening).
class WorkerMailbox
{
public:
    explicit WorkerMailbox(QObject *listener) : m_listener(listener) {}

    // Runs `task` on the listener's thread, queued behind what is already there.
    void post(std::function<void()> task);
    // After this, nothing more runs; returns once no post is under way.
    void close();

private:
    std::mutex m_mutex;
    QObject *m_listener;
};

// One thermostat on a thread of its own, with its own event loop, so that a
// thermostat that does not answer (the kernel waits up to 5 s for a
// GET_REPORT, and nothing can interrupt that wait) holds up no other
// thermostat, no command for another one, and no answer to a client.
//
// Everything here runs on the worker's thread, one event at a time: reads
// every interval, opens, and configurations are done in the order they
// were asked, so two commands for one thermostat never mix their writes.
// The link and everything it opens belong to this thread. Results go back
// through the mailbox as plain values; nothing is shared.
class ThermostatWorker : public QObject
{
    Q_OBJECT
public:
    struct ReadResult
    {
        bool attempted = false;         // false: the link was not open, nothing was asked
        std::optional<Reading> reading; // when it answered
        QString failure;                // why not, one line
        QString path;                   // the node it was read on
    };
    struct OpenResult
    {
        ThermostatLink::Failure failure;
        QString path;
    };
    struct ConfigureResult
    {
        bool ok = false;
        bool written = false;
        QString reason;
        SetCommand::Plan plan;
    };

    struct Listener
    {
        std::function<void(const ReadResult &)> read;
        std::function<void(const OpenResult &)> opened;
        std::function<void(const QString &path)> lost;
        std::function<void(const QString &path)> back;
    };

    ThermostatWorker(QString id, std::shared_ptr<HidTransport> transport, std::int64_t intervalMs,
                     std::shared_ptr<WorkerMailbox> mailbox, Listener listener);
    ~ThermostatWorker() override;

    // Each of these is asked from the main thread and done on the worker's.
    void askOpen();
    void askRead();
    void askConfigure(const SetCommand::Values &values, std::function<void(const ConfigureResult &)> done);
    // Closes the thermostat and ends the thread's loop.
    void askShutdown();

    // The worker on a new thread of its own, started; the thread is its parent's business.
    static std::unique_ptr<QThread> startThread(ThermostatWorker *worker, const QString &id);

private:
    void open();
    void read();
    void ensureLink();

    const QString m_id;
    std::shared_ptr<HidTransport> m_transport;
    std::int64_t m_intervalMs;
    std::shared_ptr<WorkerMailbox> m_mailbox;
    Listener m_listener;
    std::unique_ptr<ThermostatLink> m_link; // made on the worker's thread
    std::unique_ptr<QTimer> m_timer;
};
