// The schedule table of HistoryStore: few rows, written by hand or once a
// step, so each statement is prepared where it is used.
#include "HistoryStore.h"

#include <sqlite3.h>

namespace {

QByteArray blob(sqlite3_stmt *s, int i)
{
    const auto *p = static_cast<const char *>(sqlite3_column_blob(s, i));
    return p ? QByteArray(p, sqlite3_column_bytes(s, i)) : QByteArray();
}

// Runs `sql` with the thermostat's key as ?1 and `text` (when given) as ?2;
// how many rows changed, -1 on failure.
int run(sqlite3 *db, const char *sql, std::int64_t key, const QByteArray *text, std::optional<int> flag)
{
    sqlite3_stmt *s = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &s, nullptr) != SQLITE_OK)
        return -1;
    sqlite3_bind_int64(s, 1, key);
    if (text)
        sqlite3_bind_text(s, 2, text->constData(), int(text->size()), SQLITE_TRANSIENT);
    if (flag)
        sqlite3_bind_int(s, 2, *flag);
    const int code = sqlite3_step(s);
    sqlite3_finalize(s);
    return code == SQLITE_DONE ? sqlite3_changes(db) : -1;
}

} // namespace

std::vector<HistoryStore::ScheduleRow> HistoryStore::schedules()
{
    std::vector<ScheduleRow> out;
    sqlite3_stmt *s = nullptr;
    sqlite3_prepare_v2(m_db,
                       "SELECT t.id, s.body, s.paused, s.applied FROM schedule s"
                       " JOIN thermostat t ON t.key = s.thermostat ORDER BY t.id",
                       -1, &s, nullptr);
    while (s && sqlite3_step(s) == SQLITE_ROW) {
        const auto *id = reinterpret_cast<const char *>(sqlite3_column_text(s, 0));
        out.push_back({QString::fromUtf8(id), blob(s, 1), sqlite3_column_int(s, 2) != 0, blob(s, 3)});
    }
    sqlite3_finalize(s);
    return out;
}

std::optional<HistoryStore::ScheduleRow> HistoryStore::schedule(const QString &id)
{
    for (ScheduleRow &row : schedules())
        if (row.id == id)
            return std::move(row);
    return std::nullopt;
}

bool HistoryStore::setSchedule(const QString &id, const QByteArray &body, QString *error)
{
    const std::optional<std::int64_t> k = key(id, true);
    if (!k) {
        *error = QStringLiteral("no room for thermostat %1 in the history").arg(id);
        return false;
    }
    m_keys[id] = *k;
    if (run(m_db,
            "INSERT INTO schedule(thermostat, body, paused, applied) VALUES(?1, ?2, 0, NULL)"
            " ON CONFLICT(thermostat) DO UPDATE SET body = excluded.body, applied = NULL",
            *k, &body, std::nullopt) < 0) {
        *error = lastError();
        return false;
    }
    return true;
}

bool HistoryStore::clearSchedule(const QString &id, QString *error)
{
    const std::optional<std::int64_t> k = key(id, false);
    const int changed =
        k ? run(m_db, "DELETE FROM schedule WHERE thermostat = ?1", *k, nullptr, std::nullopt) : 0;
    if (changed < 0)
        *error = lastError();
    return changed > 0;
}

bool HistoryStore::pauseSchedule(const QString &id, bool paused, QString *error)
{
    const std::optional<std::int64_t> k = key(id, false);
    const int changed =
        k ? run(m_db, "UPDATE schedule SET paused = ?2 WHERE thermostat = ?1", *k, nullptr, paused ? 1 : 0)
          : 0;
    if (changed < 0)
        *error = lastError();
    return changed > 0;
}

bool HistoryStore::setScheduleApplied(const QString &id, const QByteArray &applied, QString *error)
{
    const std::optional<std::int64_t> k = key(id, false);
    const int changed =
        k ? run(m_db, "UPDATE schedule SET applied = ?2 WHERE thermostat = ?1", *k, &applied, std::nullopt)
          : 0;
    if (changed < 0)
        *error = lastError();
    return changed > 0;
}
