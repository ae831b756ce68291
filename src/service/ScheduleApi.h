#pragma once

#include "HttpExporter.h"
#include "ScheduleRunner.h"

#include <QByteArray>
#include <QJsonObject>

// The schedules on the service's HTTP server, answered on the main thread:
//   GET    /api/v1/thermostats/ID/schedule         the schedule and where it stands
//   PUT    /api/v1/thermostats/ID/schedule         a new one (its JSON), refused whole
//   DELETE /api/v1/thermostats/ID/schedule
//   POST   /api/v1/thermostats/ID/schedule/pause   and .../resume
// The login and the checks of a change are the server's, before this.
class ScheduleApi
{
public:
    explicit ScheduleApi(ScheduleRunner &runner, std::function<bool(const QString &id)> known);

    static bool claims(const QByteArray &path);
    HttpExporter::Answer answer(const QByteArray &method, const QByteArray &path, const QByteArray &body);

    static QJsonObject toJson(const ScheduleRunner::Status &status);

private:
    ScheduleRunner &m_runner;
    std::function<bool(const QString &id)> m_known;
};
