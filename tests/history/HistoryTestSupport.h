#pragma once

#include "HistoryStore.h"

#include <QString>
#include <sqlite3.h>
#include <string>

// A thermostat's minute with a given temperature and the usual settings.
inline MinuteRow minuteAt(const QString &id, std::int64_t t, std::int32_t temperature,
                          std::int32_t reads = 60, std::int32_t relayPermille = 500)
{
    MinuteRow r;
    r.id = id;
    r.t = t;
    r.reads = reads;
    r.temperatureMin = temperature - 2;
    r.temperatureSum = std::int64_t(temperature) * reads;
    r.temperatureMax = temperature + 3;
    r.low = 200;
    r.high = 250;
    r.mode = 'A';
    r.relayOnPermille = relayPermille;
    r.probeWorst = 0;
    return r;
}

// What SQLite itself says of a file, through a connection of its own.
inline std::string sqliteAnswer(const QString &path, const char *sql)
{
    sqlite3 *db = nullptr;
    std::string out = "cannot open";
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt *s = nullptr;
        out = "error";
        if (sqlite3_prepare_v2(db, sql, -1, &s, nullptr) == SQLITE_OK && sqlite3_step(s) == SQLITE_ROW)
            out = reinterpret_cast<const char *>(sqlite3_column_text(s, 0));
        sqlite3_finalize(s);
    }
    sqlite3_close(db);
    return out;
}
