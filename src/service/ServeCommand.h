#pragma once

#include "AlertApi.h"
#include "ExitCode.h"
#include "Fleet.h"
#include "HistoryApi.h"
#include "HttpExporter.h"
#include "ScheduleApi.h"
#include "ScheduleRunner.h"
#include "ServiceSettings.h"

#include <QObject>

class AlertWatch;
class HistoryRecorder;
#include <functional>
#include <memory>

// `calidorctl serve`: the fleet of thermostats, read every interval and
// served over HTTP, until SIGTERM or SIGINT.
class ServeCommand : public QObject
{
    Q_OBJECT
public:
    using Notice = std::function<void(const QString &line)>;

    ServeCommand(const ServiceSettings &settings, std::shared_ptr<HidTransport> transport, Notice notice,
                 QObject *parent = nullptr);
    ~ServeCommand() override;

    Fleet &fleet() { return m_fleet; }

    ExitCode run();

private:
    void publish();
    void change(const QString &id, const SetCommand::Values &values, HttpExporter::Reply reply);
    bool loadWebConfig(WebConfig *web);
    void reloadWebConfig();
    static QString webSummary(const WebConfig &web);
    void startSchedules();
    void hookAlerts(AlertWatch &alerts, HistoryRecorder *history);

    const ServiceSettings m_options;
    Notice m_notice;
    Fleet m_fleet;
    HistoryApi m_historyApi;
    AlertApi m_alertApi;
    HttpExporter m_exporter;
    ScheduleRunner m_schedules;
    ScheduleApi m_scheduleApi;
};
