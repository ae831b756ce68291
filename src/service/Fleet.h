#pragma once

#include "HidTransport.h"
#include "Reading.h"
#include "SetCommand.h"
#include "ThermostatLink.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

// What the service knows of one thermostat.
struct ThermostatState
{
    QString id;   // stable id
    QString path; // its node now; the last known one while absent
    QString product;
    QString serial;
    bool up = false;                // the last read answered
    std::optional<Reading> reading; // the last good reading, kept while down
    QDateTime readAt;               // when `reading` was taken
    std::uint64_t reads = 0;        // reads that answered
    std::uint64_t readErrors = 0;   // reads that did not
};

// Every thermostat on the machine, plugged in now or later, each reached
// through its own ThermostatLink (the command line's code) and read every
// interval. A thermostat that goes away keeps its state, down, until it is
// back under the same id. Each problem is told once, not at every interval.
class Fleet : public QObject
{
    Q_OBJECT
public:
    using Notice = std::function<void(const QString &line)>; // one line for standard error

    Fleet(std::shared_ptr<HidTransport> transport, std::int64_t intervalMs, Notice notice,
          QObject *parent = nullptr);
    ~Fleet() override;

    void start(); // a first round of reads at once, then one every interval
    void stop();
    void readAll(); // one round of reads now

    std::vector<ThermostatState> states() const; // ordered by id
    std::optional<ThermostatState> state(const QString &id) const;

    struct Outcome
    {
        bool ok = false;
        bool written = false;  // false when refused, or when nothing differed
        QString reason;        // why not ok, one line
        SetCommand::Plan plan; // what the thermostat holds afterwards, when ok
    };
    // The checks, writes and read-back of `calidorctl set`; values not given
    // keep what the thermostat holds, and values it holds already write
    // nothing.
    Outcome configure(const QString &id, const SetCommand::Values &values);

signals:
    void thermostatAdded(const QString &id);
    void availabilityChanged(const QString &id, bool up);
    void readingChanged(const QString &id); // the first reading, or a value changed
    void configured(const QString &id);     // a configuration was written
    void intervalDone();                    // after each round of reads

private:
    struct Member
    {
        ThermostatState state;
        std::unique_ptr<ThermostatLink> link;
        bool problemTold = false;
    };

    void discover();
    void readOne(Member &member);
    void setUp(Member &member, bool up);
    void tell(Member &member, const QString &line);

    std::shared_ptr<HidTransport> m_transport;
    Notice m_notice;
    QTimer m_timer;
    std::map<QString, Member> m_members;
    QDateTime m_lastRetry;
    bool m_running = false;
};
