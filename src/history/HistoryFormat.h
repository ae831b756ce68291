#pragma once

#include "HistoryStore.h"

#include <QByteArray>
#include <QString>
#include <vector>

// A range of history as the HTTP API and `calidorctl history` give it: JSON
// {"id","from","to","step_seconds","series":[...],"events":[...]}, or CSV
// with a header row and one row per point. Times are Unix seconds, values
// degrees; a value not known is null in JSON, empty in CSV.
namespace HistoryFormat {

QByteArray json(const QString &id, const HistoryStore::Range &range, const std::vector<HistoryEvent> &events);
QByteArray csv(const HistoryStore::Range &range);

} // namespace HistoryFormat
