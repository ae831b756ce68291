#pragma once

#include "Fleet.h"
#include "HistoryStore.h"
#include "HttpExporter.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <memory>
#include <mutex>

// The JSON API of the history, on the service's HTTP server:
//   GET /api/v1/thermostats                   every thermostat, its last reading
//   GET /api/v1/thermostats/ID/history?from=T&to=T&points=N[&format=csv]
// It runs on the HTTP server's thread and reads the history through a
// read-only connection of its own, which WAL lets read while the writer
// writes.
class HistoryApi
{
public:
    using Query = QList<QPair<QString, QString>>;
    using States = std::shared_ptr<const std::vector<ThermostatState>>;

    explicit HistoryApi(QString historyPath); // empty: no history kept
    ~HistoryApi();

    // nullopt: not an API path.
    std::optional<HttpExporter::Answer> answer(const QByteArray &method, const QByteArray &path,
                                               const Query &query, const States &states, std::int64_t now);

    static QByteArray thermostats(const std::vector<ThermostatState> &states);

private:
    HistoryStore *store(); // opened on first use, again after a failure

    QString m_path;
    std::mutex m_mutex;
    std::unique_ptr<HistoryStore> m_store;
};
