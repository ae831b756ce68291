#pragma once

#include "HistoryTypes.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// The history's one SQLite file: the connection and its statements, in the
// service's words. Minute rows are keyed by (minute, thermostat), so that a
// flush of every thermostat's minute touches one page of the table; whole
// hours are rolled up beside them once each hour is over, so that a year
// comes back in a few thousand rows. WAL with synchronous=FULL: a commit is
// on the disk when append() returns, and readers never wait for it.
//
// One thread at a time per store; open one store per thread.
class HistoryStore
{
public:
    enum class Access { ReadWrite, ReadOnly };

    // ReadWrite creates the file (and its folder) when missing; a file that
    // is not a database or fails its check is renamed aside with the time
    // and a new one started, told in `notice`. nullptr with `error` when the
    // file cannot be had at all.
    static std::unique_ptr<HistoryStore> open(const QString &path, Access access, QString *notice,
                                              QString *error);
    ~HistoryStore();
    HistoryStore(const HistoryStore &) = delete;
    HistoryStore &operator=(const HistoryStore &) = delete;

    static constexpr int kSchemaVersion = 2;

    // One transaction. A minute already kept (the service stopped and came
    // back within it) is merged with the new part.
    bool append(const std::vector<MinuteRow> &minutes, const std::vector<HistoryEvent> &events,
                QString *error);
    // Old logs: minutes already kept stay as they are, so a second import adds
    // nothing. Returns how many were added, or -1.
    int import(const std::vector<MinuteRow> &minutes, QString *error);

    struct Point
    {
        std::int64_t t = 0;                                                    // the step's start
        std::optional<double> temperatureMin, temperatureMean, temperatureMax; // degrees
        std::optional<double> low, high;                                       // degrees, at the step's end
        std::optional<double> relayOnFraction;                                 // 0..1
    };
    struct Range
    {
        std::int64_t from = 0, to = 0, step = 60;
        std::vector<Point> points;
    };
    // [from, to) in steps chosen so that at most maxPoints come back; the
    // first step begins at `from` rounded down to the step.
    std::optional<Range> range(const QString &id, std::int64_t from, std::int64_t to, int maxPoints,
                               QString *error);
    // The thermostat's events and the service's own, oldest first; at most
    // `limit`, the latest ones when there are more.
    std::vector<HistoryEvent> events(const QString &id, std::int64_t from, std::int64_t to, int limit = 5000);
    QStringList ids();
    bool has(const QString &id);
    // Deletes at most `batch` of the oldest minutes (and events, and hours)
    // before `before`; how many minute rows went, -1 on failure.
    int prune(std::int64_t before, int batch, QString *error);

    // Schedules (HistoryStoreSchedules.cpp): one row per thermostat, its
    // JSON as given, whether it is paused, and what of it was last written
    // (JSON of the service's own, null until something was). A new body
    // clears `applied`, so the new schedule starts from what is due.
    struct ScheduleRow
    {
        QString id;
        QByteArray body;
        bool paused = false;
        QByteArray applied;
    };
    std::vector<ScheduleRow> schedules();
    std::optional<ScheduleRow> schedule(const QString &id);
    bool setSchedule(const QString &id, const QByteArray &body, QString *error);
    // False with an empty error when there was no schedule to act on.
    bool clearSchedule(const QString &id, QString *error);
    bool pauseSchedule(const QString &id, bool paused, QString *error);
    bool setScheduleApplied(const QString &id, const QByteArray &applied, QString *error);

    // The alert rules' state, one JSON document kept beside the history so
    // that a restart neither repeats nor forgets an incident. nullopt when
    // none was kept (or the file predates it); the caller checks the text.
    std::optional<QByteArray> alertState(QString *error);
    bool setAlertState(const QByteArray &state, QString *error);

    // The step for [from, to): the smallest of 1, 2, 5, 10, 15, 30 minutes,
    // 1, 2, 3, 6, 12 hours or a whole number of days that gives at most
    // maxPoints steps aligned on multiples of itself.
    static std::int64_t chooseStep(std::int64_t from, std::int64_t to, int maxPoints);

private:
    class Statement;
    HistoryStore(sqlite3 *db, Access access);
    bool prepare(QString *error);
    bool exec(const char *sql, QString *error);
    QString lastError() const;
    std::optional<std::int64_t> key(const QString &id, bool create);
    bool insertMinutes(const std::vector<MinuteRow> &minutes, Statement &statement, int *added);
    bool rollHours(std::int64_t thermostat, std::int64_t from, std::int64_t to);

    sqlite3 *m_db;
    Access m_access;
    std::map<QString, std::int64_t> m_keys;
    std::map<std::int64_t, std::int64_t> m_openHour; // per thermostat: the hour not rolled up yet
    std::unique_ptr<Statement> m_merge, m_ignore, m_event, m_roll, m_key, m_newKey;
};
