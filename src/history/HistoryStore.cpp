#include "HistoryStore.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <algorithm>
#include <set>
#include <sqlite3.h>

// A prepared statement, reset after each use.
class HistoryStore::Statement
{
public:
    Statement(sqlite3 *db, const char *sql, QString *error)
    {
        if (sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &m_stmt, nullptr) != SQLITE_OK) {
            *error = QString::fromUtf8(sqlite3_errmsg(db));
            m_stmt = nullptr;
        }
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    bool ok() const { return m_stmt != nullptr; }
    sqlite3_stmt *get() { return m_stmt; }

    Statement &reset()
    {
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
        m_next = 1;
        return *this;
    }
    Statement &bind(std::int64_t v)
    {
        sqlite3_bind_int64(m_stmt, m_next++, v);
        return *this;
    }
    template <typename T> Statement &bind(const std::optional<T> &v)
    {
        if (v)
            return bind(std::int64_t(*v));
        sqlite3_bind_null(m_stmt, m_next++);
        return *this;
    }
    Statement &bindNull()
    {
        sqlite3_bind_null(m_stmt, m_next++);
        return *this;
    }
    Statement &bind(const QString &v)
    {
        const QByteArray utf8 = v.toUtf8();
        sqlite3_bind_text(m_stmt, m_next++, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
        return *this;
    }
    int step() { return sqlite3_step(m_stmt); }

private:
    sqlite3_stmt *m_stmt = nullptr;
    int m_next = 1;
};

namespace {

// The schema, one step per version: a file made by an older version gets
// the steps it lacks, in one transaction.
const char *const kMigrations[] = {
    // 1
    "CREATE TABLE thermostat(key INTEGER PRIMARY KEY, id TEXT NOT NULL UNIQUE);"
    // One row per thermostat and minute, keyed by the minute's number times
    // 1024 plus the thermostat's key: a flush appends its rows at the end of
    // the table, where SQLite adds a page without reshuffling its
    // neighbours. Temperatures and thresholds in tenths of a degree, the
    // mean as a sum over the answered reads.
    "CREATE TABLE minute(k INTEGER PRIMARY KEY, reads INTEGER NOT NULL, failures INTEGER NOT NULL,"
    " temp_min INTEGER, temp_sum INTEGER NOT NULL, temp_max INTEGER, tl INTEGER, th INTEGER, mode TEXT,"
    " relay_on_permille INTEGER, probe_worst INTEGER);"
    // Whole hours, rolled up from the minutes once the hour is over.
    "CREATE TABLE hour(thermostat INTEGER NOT NULL, t INTEGER NOT NULL, reads INTEGER NOT NULL,"
    " failures INTEGER NOT NULL, temp_min INTEGER, temp_sum INTEGER NOT NULL, temp_max INTEGER,"
    " tl INTEGER, th INTEGER, relay_on_permille INTEGER, relay_minutes INTEGER NOT NULL,"
    " probe_worst INTEGER, PRIMARY KEY(thermostat, t)) WITHOUT ROWID;"
    // Keyed by the second times 1024 plus its rank in that second, for the
    // same reason; thermostat NULL: the service's own events.
    "CREATE TABLE event(k INTEGER PRIMARY KEY, thermostat INTEGER, kind TEXT NOT NULL, detail TEXT,"
    " source TEXT);"
    // The same in plain words, for a person with the sqlite3 shell.
    "CREATE VIEW minutes AS SELECT (m.k >> 10) * 60 AS t, th.id AS id, m.reads, m.failures,"
    " m.temp_min / 10.0 AS temperature_min, m.temp_sum / 10.0 / nullif(m.reads, 0) AS temperature_mean,"
    " m.temp_max / 10.0 AS temperature_max, m.tl / 10.0 AS tl, m.th / 10.0 AS th, m.mode,"
    " m.relay_on_permille / 1000.0 AS relay_on_fraction, m.probe_worst"
    " FROM minute m JOIN thermostat th ON th.key = (m.k & 1023);"
    "CREATE VIEW events AS SELECT e.k >> 10 AS t, th.id AS id, e.kind, e.detail, e.source"
    " FROM event e LEFT JOIN thermostat th ON th.key = e.thermostat;",
    // 2
    // A thermostat's schedule in its JSON form, whether it is paused, and
    // what of it was last written (JSON), so that a restart neither repeats
    // nor skips a step.
    "CREATE TABLE schedule(thermostat INTEGER PRIMARY KEY, body TEXT NOT NULL, paused INTEGER NOT NULL "
    "DEFAULT 0,"
    " applied TEXT);"
    // The alert rules' open incidents and what was last told of them, one
    // JSON document, so that a restart neither repeats nor forgets one.
    "CREATE TABLE alert_state(k INTEGER PRIMARY KEY CHECK (k = 1), state TEXT NOT NULL);",
};
constexpr int kSteps = int(sizeof kMigrations / sizeof *kMigrations);
static_assert(kSteps == HistoryStore::kSchemaVersion);

constexpr std::int64_t kHour = 3600;
// A thermostat's key fits in the low 10 bits of a minute's key.
constexpr std::int64_t kMaxThermostats = 1023;

std::int64_t ceilDiv(std::int64_t a, std::int64_t b)
{
    return a >= 0 ? (a + b - 1) / b : -((-a) / b);
}

// The first minute key at or after time t.
std::int64_t minuteKey(std::int64_t t)
{
    return ceilDiv(t, 60) * 1024;
}

std::int64_t floorTo(std::int64_t t, std::int64_t step)
{
    return (t >= 0 ? t : t - (step - 1)) / step * step;
}

std::optional<std::int64_t> column(sqlite3_stmt *s, int i)
{
    if (sqlite3_column_type(s, i) == SQLITE_NULL)
        return std::nullopt;
    return sqlite3_column_int64(s, i);
}

QString text(sqlite3_stmt *s, int i)
{
    const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(s, i));
    return p ? QString::fromUtf8(p, sqlite3_column_bytes(s, i)) : QString();
}

// Whether an open failed because the file itself is bad, rather than out of reach.
bool damaged(int code)
{
    code &= 0xff;
    return code == SQLITE_CORRUPT || code == SQLITE_NOTADB || code == SQLITE_FORMAT || code == SQLITE_ERROR;
}

} // namespace

HistoryStore::HistoryStore(sqlite3 *db, Access access) : m_db(db), m_access(access) {}

HistoryStore::~HistoryStore()
{
    m_merge.reset();
    m_ignore.reset();
    m_event.reset();
    m_roll.reset();
    m_key.reset();
    m_newKey.reset();
    sqlite3_close_v2(m_db);
}

QString HistoryStore::lastError() const
{
    return QString::fromUtf8(sqlite3_errmsg(m_db));
}

bool HistoryStore::exec(const char *sql, QString *error)
{
    char *message = nullptr;
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, &message) == SQLITE_OK)
        return true;
    if (error)
        *error = QString::fromUtf8(message ? message : sqlite3_errmsg(m_db));
    sqlite3_free(message);
    return false;
}

namespace {

struct Attempt
{
    sqlite3 *db = nullptr;
    int code = SQLITE_OK;
    QString error;
};

std::int64_t pragmaInt(sqlite3 *db, const char *sql, int *code)
{
    sqlite3_stmt *s = nullptr;
    std::int64_t v = -1;
    *code = sqlite3_prepare_v2(db, sql, -1, &s, nullptr);
    if (*code == SQLITE_OK) {
        *code = sqlite3_step(s);
        if (*code == SQLITE_ROW) {
            v = sqlite3_column_int64(s, 0);
            *code = SQLITE_OK;
        }
    }
    sqlite3_finalize(s);
    return v;
}

QString pragmaText(sqlite3 *db, const char *sql, int *code)
{
    sqlite3_stmt *s = nullptr;
    QString v;
    *code = sqlite3_prepare_v2(db, sql, -1, &s, nullptr);
    if (*code == SQLITE_OK) {
        *code = sqlite3_step(s);
        if (*code == SQLITE_ROW) {
            v = text(s, 0);
            *code = SQLITE_OK;
        }
    }
    sqlite3_finalize(s);
    return v;
}

Attempt fail(sqlite3 *db, int code, const QString &error = {})
{
    Attempt a;
    a.code = code;
    a.error = error.isEmpty() ? QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(code)) : error;
    sqlite3_close_v2(db);
    return a;
}

// Opens, checks and brings the schema up to date; a damaged file comes back
// with a code that says so.
Attempt attempt(const QString &path, HistoryStore::Access access)
{
    const bool readOnly = access == HistoryStore::Access::ReadOnly;
    sqlite3 *db = nullptr;
    const int flags =
        (readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) | SQLITE_OPEN_NOMUTEX;
    int code = sqlite3_open_v2(QFile::encodeName(path).constData(), &db, flags, nullptr);
    if (code != SQLITE_OK)
        return fail(db, code);
    sqlite3_extended_result_codes(db, 1);
    // A reader waits for the writer's checkpoint rather than failing.
    sqlite3_busy_timeout(db, 5000);
    // Both the writer and a reader go through the file in order: a small
    // cache does, and keeps the service small (the default is 2 MB each).
    sqlite3_exec(db, "PRAGMA cache_size=-256", nullptr, nullptr, nullptr);
    const std::int64_t version = pragmaInt(db, "PRAGMA user_version", &code);
    if (code != SQLITE_OK)
        return fail(db, code);
    if (version > HistoryStore::kSchemaVersion)
        return fail(db, SQLITE_CANTOPEN,
                    QStringLiteral("it was made by a newer version (schema %1)").arg(version));
    if (readOnly) {
        if (version < 1)
            return fail(db, SQLITE_CANTOPEN, QStringLiteral("it holds no history"));
        return {db, SQLITE_OK, {}};
    }
    if (version == 0) {
        // Small pages: a flush rewrites only the pages it touches.
        sqlite3_exec(db, "PRAGMA page_size=512", nullptr, nullptr, nullptr);
    }
    const QString journal = pragmaText(db, "PRAGMA journal_mode=WAL", &code);
    if (code != SQLITE_OK)
        return fail(db, code);
    if (journal != QLatin1String("wal"))
        return fail(db, SQLITE_CANTOPEN, QStringLiteral("it cannot be put in WAL mode"));
    if (version > 0) {
        const QString check = pragmaText(db, "PRAGMA quick_check", &code);
        if (code != SQLITE_OK)
            return fail(db, code);
        if (check != QLatin1String("ok"))
            return fail(db, SQLITE_CORRUPT, check);
    }
    // Each commit reaches the disk before append() returns: a power cut costs
    // at most what was not flushed yet. The journal is copied into the file
    // about once a day rather than every few hours (4 MB of journal); the
    // writer appends, so a small cache serves it.
    sqlite3_exec(db, "PRAGMA synchronous=FULL; PRAGMA wal_autocheckpoint=4000", nullptr, nullptr, nullptr);
    if (version < HistoryStore::kSchemaVersion) {
        char *message = nullptr;
        // Another process (the service's writer, `calidorctl schedule`) may
        // have made the file between our look and our lock: the version is
        // read again under the lock, and only the missing steps run.
        code = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        if (code != SQLITE_OK)
            return fail(db, code);
        const std::int64_t locked = pragmaInt(db, "PRAGMA user_version", &code);
        if (code != SQLITE_OK) {
            sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
            return fail(db, code);
        }
        QByteArray script;
        for (int i = int(locked); i < kSteps; ++i)
            script += kMigrations[i];
        script += "PRAGMA user_version=" + QByteArray::number(HistoryStore::kSchemaVersion) + ";COMMIT;";
        code = sqlite3_exec(db, script.constData(), nullptr, nullptr, &message);
        if (code != SQLITE_OK) {
            const QString why = QString::fromUtf8(message ? message : sqlite3_errstr(code));
            sqlite3_free(message);
            sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
            return fail(db, code, why);
        }
    }
    return {db, SQLITE_OK, {}};
}

} // namespace

std::unique_ptr<HistoryStore> HistoryStore::open(const QString &path, Access access, QString *notice,
                                                 QString *error)
{
    if (access == Access::ReadWrite)
        QDir().mkpath(QFileInfo(path).absolutePath());
    else if (!QFileInfo::exists(path)) {
        *error = QStringLiteral("%1: no history there").arg(path);
        return nullptr;
    }
    Attempt a = attempt(path, access);
    // Another process making or opening the same file (the service's writer
    // beside `calidorctl schedule`) can hold a lock that SQLite's busy wait
    // does not cover, such as the switch to WAL: tried again a few times.
    for (int again = 0;
         !a.db && again < 20 && ((a.code & 0xff) == SQLITE_BUSY || (a.code & 0xff) == SQLITE_LOCKED);
         ++again) {
        QThread::msleep(50);
        a = attempt(path, access);
    }
    if (!a.db && access == Access::ReadWrite && damaged(a.code) && QFileInfo::exists(path)) {
        const QString aside =
            path + QStringLiteral(".corrupt-") +
            QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
        if (!QFile::rename(path, aside)) {
            *error = QStringLiteral("%1 is damaged (%2) and cannot be moved aside").arg(path, a.error);
            return nullptr;
        }
        // The journal belongs to the damaged file; it goes with it.
        QFile::rename(path + QStringLiteral("-wal"), aside + QStringLiteral("-wal"));
        QFile::remove(path + QStringLiteral("-shm"));
        *notice = QStringLiteral("history: %1 could not be used (%2); moved aside to %3, starting a new one")
                      .arg(path, a.error, aside);
        a = attempt(path, access);
    }
    if (!a.db) {
        *error = QStringLiteral("%1: %2").arg(path, a.error);
        return nullptr;
    }
    std::unique_ptr<HistoryStore> store(new HistoryStore(a.db, access));
    if (!store->prepare(error))
        return nullptr;
    return store;
}

bool HistoryStore::prepare(QString *error)
{
    auto make = [&](std::unique_ptr<Statement> &into, const char *sql) {
        into = std::make_unique<Statement>(m_db, sql, error);
        return into->ok();
    };
    if (!make(m_key, "SELECT key FROM thermostat WHERE id = ?"))
        return false;
    if (m_access == Access::ReadOnly)
        return true;
    const bool made =
        make(m_newKey, "INSERT INTO thermostat(id) VALUES(?)") &&
        make(m_merge,
             "INSERT INTO minute VALUES(?1,?2,?3,?4,?5,?6,?7,?8,?9,?10,?11) ON CONFLICT DO UPDATE SET"
             " relay_on_permille = CASE WHEN relay_on_permille IS NULL THEN excluded.relay_on_permille"
             "   WHEN excluded.relay_on_permille IS NULL THEN relay_on_permille"
             "   ELSE (relay_on_permille * reads + excluded.relay_on_permille * excluded.reads)"
             "        / max(reads + excluded.reads, 1) END,"
             " reads = reads + excluded.reads, failures = failures + excluded.failures,"
             " temp_min = min(coalesce(temp_min, excluded.temp_min), coalesce(excluded.temp_min, temp_min)),"
             " temp_sum = temp_sum + excluded.temp_sum,"
             " temp_max = max(coalesce(temp_max, excluded.temp_max), coalesce(excluded.temp_max, temp_max)),"
             " tl = coalesce(excluded.tl, tl), th = coalesce(excluded.th, th),"
             " mode = coalesce(excluded.mode, mode),"
             " probe_worst = max(coalesce(probe_worst, excluded.probe_worst),"
             "                   coalesce(excluded.probe_worst, probe_worst))") &&
        make(m_ignore, "INSERT OR IGNORE INTO minute VALUES(?1,?2,?3,?4,?5,?6,?7,?8,?9,?10,?11)") &&
        make(m_event, "INSERT INTO event VALUES((SELECT coalesce(max(k) + 1, ?1 * 1024) FROM event"
                      " WHERE k >= ?1 * 1024 AND k < (?1 + 1) * 1024), ?2, ?3, ?4, ?5)") &&
        make(
            m_roll,
            "INSERT OR REPLACE INTO hour SELECT ?1, g.h, g.reads, g.failures, g.tmin, g.tsum, g.tmax,"
            " (SELECT tl FROM minute m WHERE m.k >= g.h / 60 * 1024 AND m.k < (g.h + 3600) / 60 * 1024"
            "  AND (m.k & 1023) = ?1 AND m.tl IS NOT NULL ORDER BY m.k DESC LIMIT 1),"
            " (SELECT th FROM minute m WHERE m.k >= g.h / 60 * 1024 AND m.k < (g.h + 3600) / 60 * 1024"
            "  AND (m.k & 1023) = ?1 AND m.th IS NOT NULL ORDER BY m.k DESC LIMIT 1),"
            " g.relay, g.relays, g.probe FROM"
            " (SELECT (k >> 10) * 60 / 3600 * 3600 AS h, sum(reads) AS reads, sum(failures) AS failures,"
            "  min(temp_min) AS tmin, sum(temp_sum) AS tsum, max(temp_max) AS tmax,"
            "  avg(relay_on_permille) AS relay, count(relay_on_permille) AS relays, max(probe_worst) AS probe"
            "  FROM minute WHERE k >= ?2 AND k < ?3 AND (k & 1023) = ?1 GROUP BY h) g");
    if (!made)
        return false;
    // The hour last written in stays open; the hours of each thermostat
    // before it that were never rolled up (the service stopped in them) are
    // rolled up now.
    sqlite3_stmt *s = nullptr;
    sqlite3_prepare_v2(m_db, "SELECT (min(k) >> 10) * 60, (max(k) >> 10) * 60 / 3600 * 3600 FROM minute", -1,
                       &s, nullptr);
    std::optional<std::int64_t> first, open;
    if (sqlite3_step(s) == SQLITE_ROW) {
        first = column(s, 0);
        open = column(s, 1);
    }
    sqlite3_finalize(s);
    if (!first || !open)
        return true;
    std::vector<std::pair<std::int64_t, std::int64_t>> rolled; // thermostat, the end of its roll-up
    sqlite3_prepare_v2(m_db,
                       "SELECT key, (SELECT max(t) + 3600 FROM hour WHERE hour.thermostat = thermostat.key)"
                       " FROM thermostat",
                       -1, &s, nullptr);
    while (sqlite3_step(s) == SQLITE_ROW)
        rolled.emplace_back(sqlite3_column_int64(s, 0), column(s, 1).value_or(*first));
    sqlite3_finalize(s);
    for (const auto &[thermostat, from] : rolled) {
        m_openHour[thermostat] = *open;
        if (from < *open && !rollHours(thermostat, from, *open)) {
            *error = lastError();
            return false;
        }
    }
    return true;
}

std::optional<std::int64_t> HistoryStore::key(const QString &id, bool create)
{
    const auto known = m_keys.find(id);
    if (known != m_keys.end())
        return known->second;
    m_key->reset().bind(id);
    if (m_key->step() == SQLITE_ROW) {
        const std::int64_t k = sqlite3_column_int64(m_key->get(), 0);
        m_key->reset();
        return m_keys[id] = k;
    }
    m_key->reset();
    if (!create || !m_newKey)
        return std::nullopt;
    if (m_newKey->reset().bind(id).step() != SQLITE_DONE || sqlite3_last_insert_rowid(m_db) > kMaxThermostats)
        return std::nullopt;
    // Not cached until the transaction commits: a rollback takes the key back.
    return sqlite3_last_insert_rowid(m_db);
}

bool HistoryStore::rollHours(std::int64_t thermostat, std::int64_t from, std::int64_t to)
{
    return m_roll->reset().bind(thermostat).bind(minuteKey(from)).bind(minuteKey(to)).step() == SQLITE_DONE;
}

bool HistoryStore::insertMinutes(const std::vector<MinuteRow> &minutes, Statement &statement, int *added)
{
    std::map<std::int64_t, std::set<std::int64_t>> hours; // per thermostat
    for (const MinuteRow &r : minutes) {
        const std::optional<std::int64_t> k = key(r.id, true);
        if (!k)
            return false;
        statement.reset()
            .bind(minuteKey(r.t) + *k)
            .bind(std::int64_t(r.reads))
            .bind(std::int64_t(r.failures));
        statement.bind(r.temperatureMin)
            .bind(r.temperatureSum)
            .bind(r.temperatureMax)
            .bind(r.low)
            .bind(r.high);
        if (r.mode)
            statement.bind(QString(QLatin1Char(*r.mode)));
        else
            statement.bindNull();
        statement.bind(r.relayOnPermille).bind(r.probeWorst);
        if (statement.step() != SQLITE_DONE)
            return false;
        if (added)
            *added += sqlite3_changes(m_db);
        hours[*k].insert(floorTo(r.t, kHour));
    }
    // Every hour touched is rolled up again, except each thermostat's newest,
    // which is still filling; the one open before is rolled up once passed.
    const bool live = &statement == m_merge.get();
    for (auto &[thermostat, touched] : hours) {
        const std::int64_t newest = *touched.rbegin();
        const auto open = m_openHour.find(thermostat);
        if (live && open != m_openHour.end() && open->second < newest)
            touched.insert(open->second);
        for (const std::int64_t h : touched)
            if ((!live || h < newest) && !rollHours(thermostat, h, h + kHour))
                return false;
    }
    if (live)
        for (auto &[thermostat, touched] : hours)
            m_openHour[thermostat] = std::max(m_openHour[thermostat], *touched.rbegin());
    return true;
}

bool HistoryStore::append(const std::vector<MinuteRow> &minutes, const std::vector<HistoryEvent> &events,
                          QString *error)
{
    if (m_access != Access::ReadWrite) {
        *error = QStringLiteral("the history is open read-only");
        return false;
    }
    const auto openBefore = m_openHour;
    const auto keysBefore = m_keys;
    bool ok = exec("BEGIN IMMEDIATE", error) && insertMinutes(minutes, *m_merge, nullptr);
    for (auto e = events.begin(); ok && e != events.end(); ++e) {
        m_event->reset().bind(e->t);
        if (e->id.isEmpty()) {
            m_event->bindNull();
        } else {
            const std::optional<std::int64_t> k = key(e->id, true);
            if (!k) {
                ok = false;
                break;
            }
            m_event->bind(*k);
        }
        m_event->bind(e->kind).bind(e->detail);
        if (e->source.isEmpty())
            m_event->bindNull();
        else
            m_event->bind(e->source);
        ok = m_event->step() == SQLITE_DONE;
    }
    if (ok && exec("COMMIT", error))
        return true;
    if (error->isEmpty())
        *error = lastError();
    sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    m_openHour = openBefore;
    m_keys = keysBefore;
    return false;
}

int HistoryStore::import(const std::vector<MinuteRow> &minutes, QString *error)
{
    if (m_access != Access::ReadWrite) {
        *error = QStringLiteral("the history is open read-only");
        return -1;
    }
    const auto keysBefore = m_keys;
    int added = 0;
    if (exec("BEGIN IMMEDIATE", error) && insertMinutes(minutes, *m_ignore, &added) && exec("COMMIT", error))
        return added;
    if (error->isEmpty())
        *error = lastError();
    sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    m_keys = keysBefore;
    return -1;
}

std::int64_t HistoryStore::chooseStep(std::int64_t from, std::int64_t to, int maxPoints)
{
    maxPoints = std::max(maxPoints, 1);
    auto fits = [&](std::int64_t step) {
        return to <= from || floorTo(to - 1, step) / step - floorTo(from, step) / step + 1 <= maxPoints;
    };
    static const std::int64_t kLadder[] = {60, 120, 300, 600, 900, 1800, 3600, 7200, 10800, 21600, 43200};
    for (const std::int64_t step : kLadder)
        if (fits(step))
            return step;
    const std::int64_t day = 86400;
    std::int64_t days = std::max<std::int64_t>(1, (to - from) / day / maxPoints);
    while (!fits(days * day))
        ++days;
    return days * day;
}

std::optional<HistoryStore::Range> HistoryStore::range(const QString &id, std::int64_t from, std::int64_t to,
                                                       int maxPoints, QString *error)
{
    const std::optional<std::int64_t> k = key(id, false);
    if (!k) {
        *error = QStringLiteral("no history for %1").arg(id);
        return std::nullopt;
    }
    Range out;
    out.from = from;
    out.to = to;
    out.step = chooseStep(from, to, maxPoints);
    if (to <= from)
        return out;

    // Whole steps: the first begins at or before `from`. Whole hours come
    // from the roll-up, the rest from the minutes.
    const std::int64_t lower = floorTo(from, out.step);
    std::int64_t cutoff = lower;
    const bool hourly = out.step % kHour == 0;
    std::vector<std::pair<const char *, std::int64_t>> parts;
    if (hourly) {
        sqlite3_stmt *s = nullptr;
        sqlite3_prepare_v2(m_db, "SELECT max(t) + 3600 FROM hour WHERE thermostat = ?", -1, &s, nullptr);
        sqlite3_bind_int64(s, 1, *k);
        if (sqlite3_step(s) == SQLITE_ROW)
            cutoff = std::clamp(column(s, 0).value_or(lower), lower, to);
        sqlite3_finalize(s);
    }
    struct Bucket
    {
        std::int64_t reads = 0, sum = 0, relayWeight = 0, lastT = 0;
        double relaySum = 0;
        std::optional<std::int64_t> min, max, low, high;
        bool any = false;
    };
    std::map<std::int64_t, Bucket> buckets;
    // [a, b) in the table's own keys.
    auto collect = [&](const char *sql, std::int64_t a, std::int64_t b, bool fromHours) {
        if (a >= b)
            return true;
        sqlite3_stmt *s = nullptr;
        if (sqlite3_prepare_v2(m_db, sql, -1, &s, nullptr) != SQLITE_OK)
            return false;
        sqlite3_bind_int64(s, 1, *k);
        sqlite3_bind_int64(s, 2, a);
        sqlite3_bind_int64(s, 3, b);
        int rc;
        while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
            const std::int64_t t = sqlite3_column_int64(s, 0);
            Bucket &bucket = buckets[floorTo(t, out.step)];
            bucket.any = true;
            bucket.reads += sqlite3_column_int64(s, 1);
            if (const auto v = column(s, 2))
                bucket.min = std::min(bucket.min.value_or(*v), *v);
            bucket.sum += sqlite3_column_int64(s, 3);
            if (const auto v = column(s, 4))
                bucket.max = std::max(bucket.max.value_or(*v), *v);
            if (t >= bucket.lastT) {
                bucket.lastT = t;
                if (const auto v = column(s, 5))
                    bucket.low = v;
                if (const auto v = column(s, 6))
                    bucket.high = v;
            }
            if (const auto v = column(s, 7)) {
                const std::int64_t weight = fromHours ? sqlite3_column_int64(s, 8) : 1;
                bucket.relaySum += sqlite3_column_double(s, 7) * double(weight);
                bucket.relayWeight += weight;
            }
        }
        sqlite3_finalize(s);
        return rc == SQLITE_DONE;
    };
    bool ok = true;
    if (hourly)
        ok = collect("SELECT t, reads, temp_min, temp_sum, temp_max, tl, th, relay_on_permille, relay_minutes"
                     " FROM hour WHERE thermostat = ?1 AND t >= ?2 AND t < ?3 ORDER BY t",
                     lower, cutoff, true);
    ok = ok &&
         collect("SELECT (k >> 10) * 60, reads, temp_min, temp_sum, temp_max, tl, th, relay_on_permille, 1"
                 " FROM minute WHERE k >= ?2 AND k < ?3 AND (k & 1023) = ?1",
                 minuteKey(std::max(lower, cutoff)), minuteKey(to), false);
    if (!ok) {
        *error = lastError();
        return std::nullopt;
    }
    out.points.reserve(buckets.size());
    for (const auto &[t, b] : buckets) {
        Point p;
        p.t = t;
        if (b.min)
            p.temperatureMin = *b.min / 10.0;
        if (b.max)
            p.temperatureMax = *b.max / 10.0;
        if (b.reads > 0)
            p.temperatureMean = double(b.sum) / double(b.reads) / 10.0;
        if (b.low)
            p.low = *b.low / 10.0;
        if (b.high)
            p.high = *b.high / 10.0;
        if (b.relayWeight > 0)
            p.relayOnFraction = b.relaySum / double(b.relayWeight) / 1000.0;
        out.points.push_back(p);
    }
    return out;
}

std::vector<HistoryEvent> HistoryStore::events(const QString &id, std::int64_t from, std::int64_t to,
                                               int limit)
{
    std::vector<HistoryEvent> out;
    const std::optional<std::int64_t> k = key(id, false);
    sqlite3_stmt *s = nullptr;
    sqlite3_prepare_v2(m_db,
                       "SELECT * FROM (SELECT k >> 10, kind, detail, source, k FROM event"
                       " WHERE k >= ?2 * 1024 AND k < ?3 * 1024 AND (thermostat = ?1 OR thermostat IS NULL)"
                       " ORDER BY k DESC LIMIT ?4) ORDER BY k",
                       -1, &s, nullptr);
    if (k)
        sqlite3_bind_int64(s, 1, *k);
    sqlite3_bind_int64(s, 2, from);
    sqlite3_bind_int64(s, 3, to);
    sqlite3_bind_int64(s, 4, limit);
    while (sqlite3_step(s) == SQLITE_ROW)
        out.push_back({id, sqlite3_column_int64(s, 0), text(s, 1), text(s, 2), text(s, 3)});
    sqlite3_finalize(s);
    return out;
}

QStringList HistoryStore::ids()
{
    QStringList out;
    sqlite3_stmt *s = nullptr;
    sqlite3_prepare_v2(m_db, "SELECT id FROM thermostat ORDER BY id", -1, &s, nullptr);
    while (sqlite3_step(s) == SQLITE_ROW)
        out << text(s, 0);
    sqlite3_finalize(s);
    return out;
}

bool HistoryStore::has(const QString &id)
{
    return key(id, false).has_value();
}

int HistoryStore::prune(std::int64_t before, int batch, QString *error)
{
    if (m_access != Access::ReadWrite) {
        *error = QStringLiteral("the history is open read-only");
        return -1;
    }
    sqlite3_stmt *s = nullptr;
    const char *const sql[] = {
        "DELETE FROM minute WHERE k IN (SELECT k FROM minute WHERE k < (?1 + 59) / 60 * 1024 ORDER BY k "
        "LIMIT ?2)",
        "DELETE FROM event WHERE k IN (SELECT k FROM event WHERE k < ?1 * 1024 ORDER BY k LIMIT ?2)",
        "DELETE FROM hour WHERE (thermostat, t) IN (SELECT thermostat, t FROM hour WHERE t + 3600 <= ?1 "
        "LIMIT ?2)",
    };
    if (!exec("BEGIN IMMEDIATE", error))
        return -1;
    int minutes = -1;
    for (const char *q : sql) {
        if (sqlite3_prepare_v2(m_db, q, -1, &s, nullptr) != SQLITE_OK)
            break;
        sqlite3_bind_int64(s, 1, before);
        sqlite3_bind_int64(s, 2, batch);
        const int rc = sqlite3_step(s);
        sqlite3_finalize(s);
        if (rc != SQLITE_DONE)
            break;
        if (minutes < 0)
            minutes = sqlite3_changes(m_db);
        if (q == sql[2] && exec("COMMIT", error))
            return minutes;
    }
    if (error->isEmpty())
        *error = lastError();
    sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    return -1;
}

std::optional<QByteArray> HistoryStore::alertState(QString *error)
{
    int code = SQLITE_OK;
    if (pragmaInt(m_db, "PRAGMA user_version", &code) < 2)
        return std::nullopt; // a file of an older version: nothing was kept
    sqlite3_stmt *s = nullptr;
    if (sqlite3_prepare_v2(m_db, "SELECT state FROM alert_state WHERE k = 1", -1, &s, nullptr) != SQLITE_OK) {
        *error = lastError();
        return std::nullopt;
    }
    std::optional<QByteArray> out;
    const int rc = sqlite3_step(s);
    if (rc == SQLITE_ROW)
        out = QByteArray(static_cast<const char *>(sqlite3_column_blob(s, 0)), sqlite3_column_bytes(s, 0));
    else if (rc != SQLITE_DONE)
        *error = lastError();
    sqlite3_finalize(s);
    return out;
}

bool HistoryStore::setAlertState(const QByteArray &state, QString *error)
{
    if (m_access != Access::ReadWrite) {
        *error = QStringLiteral("the history is open read-only");
        return false;
    }
    sqlite3_stmt *s = nullptr;
    if (sqlite3_prepare_v2(m_db, "INSERT OR REPLACE INTO alert_state(k, state) VALUES(1, ?1)", -1, &s,
                           nullptr) != SQLITE_OK) {
        *error = lastError();
        return false;
    }
    sqlite3_bind_text(s, 1, state.constData(), int(state.size()), SQLITE_TRANSIENT);
    const bool done = sqlite3_step(s) == SQLITE_DONE;
    if (!done)
        *error = lastError();
    sqlite3_finalize(s);
    return done;
}
