#pragma once

#include "ClockSync.h"
#include "Fleet.h"
#include "HistoryStore.h"
#include "Schedule.h"
#include "SchedulePlan.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QTimeZone>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>

// The thermostats' schedules, applied by the service: each one's is kept in
// the history's file, with what of it was last written, so that a service
// started at any moment writes what is due then and a restart neither
// repeats nor skips a write. Writes go through Fleet::configure like any
// other change (same checks, same pace, read back). A change by hand (the
// web page, MQTT, the command line, the thermostat's own keys) holds until
// the schedule's next step. Nothing is written while the clock is not known
// to be right.
//
// Lives on the main thread, beside the fleet; its store is a connection of
// its own to the history's file (WAL lets it write beside the writer).
class ScheduleRunner : public QObject
{
    Q_OBJECT
public:
    using Notice = std::function<void(const QString &line)>;
    using Clock = std::function<std::int64_t()>; // ms since the epoch
    using ClockCheck = std::function<ClockSync::Verdict()>;

    // What was last written, as kept in the store.
    struct Applied
    {
        std::int64_t at = 0; // when the values written became due (Unix seconds)
        Schedule::Values values;
        // A change by hand holds until then; INT64_MAX: for good (past a profile's end).
        std::optional<std::int64_t> overriddenUntil;
        QByteArray toJson() const;
        static std::optional<Applied> fromJson(const QByteArray &json);
        bool operator==(const Applied &) const = default;
    };

    // What to do now, from the plan and what was last written.
    struct Decision
    {
        bool write = false;
        bool overrideOver = false; // the change by hand has had its time
        SchedulePlan::Due due;
    };
    static Decision decide(const SchedulePlan &plan, const std::optional<Applied> &applied, bool paused,
                           bool clockSynchronised, const QDateTime &now);

    struct Status
    {
        bool exists = false;
        QByteArray body;
        bool paused = false;
        ClockSync::Verdict clock;
        std::optional<Schedule::Values> current;
        std::optional<QDateTime> nextChange;
        std::optional<QDateTime> overriddenUntil; // invalid QDateTime: for good
        bool overridden = false;
        double writesPerDay = 0;
        std::vector<SchedulePlan::Change> planned; // the band ahead, at most kMostPlanned
        QString state() const;                     // running, paused, overridden or none
    };
    static constexpr int kMostPlanned = 2000;

    ScheduleRunner(Fleet &fleet, QString historyPath, std::int64_t rampSeconds, ClockCheck clockCheck,
                   Notice notice, Clock clock = {}, QTimeZone zone = QTimeZone::systemTimeZone(),
                   QObject *parent = nullptr);
    ~ScheduleRunner() override;

    // Reads the schedules, writes what is due, then goes on every second.
    void start();
    // Reads the store again (a change made there by `calidorctl schedule`).
    void reload();
    // Writes what is due now.
    void tick();

    Status status(const QString &id);
    QStringList ids() const;

    // The API's and MQTT's changes; false with the reason.
    bool set(const QString &id, const Schedule &schedule, QString *error);
    bool clear(const QString &id, QString *error);
    bool setPaused(const QString &id, bool paused, QString *error);

signals:
    // What status() answers for `id` may have changed.
    void changed(const QString &id);

private:
    struct Entry
    {
        QByteArray body;
        std::unique_ptr<SchedulePlan> plan;
        bool paused = false;
        std::optional<Applied> applied;
        bool writing = false; // a configure of ours is on its way
        QString told;         // the last problem told, so it is told once
    };

    HistoryStore *store();
    QDateTime now() const;
    void apply(const QString &id, Entry &entry);
    void byHand(const QString &id, const QString &source);
    void readingChanged(const QString &id);
    void save(const QString &id, const Entry &entry);

    Fleet &m_fleet;
    QString m_path;
    std::int64_t m_rampSeconds;
    ClockCheck m_clockCheck;
    Notice m_notice;
    Clock m_clock;
    QTimeZone m_zone;
    std::unique_ptr<HistoryStore> m_store;
    std::map<QString, Entry> m_entries;
    ClockSync::Verdict m_verdict;
    QTimer m_timer;
    int m_ticks = 0;
};
