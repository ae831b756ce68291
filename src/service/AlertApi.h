#pragma once

#include "AlertSender.h"
#include "HttpExporter.h"
#include "Incidents.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

// The alerts on the service's HTTP server:
//   GET  /api/v1/incidents    the open incidents, oldest first (open as every GET)
//   POST /api/v1/alerts/test  a test alert queued to every channel; the
//                             exporter checks it as a change (a login, JSON,
//                             the page's own Origin) before it comes here
// The HTTP threads ask; the main thread tells it what is open and where
// alerts go. Never waits for a channel: a test alert is queued, as any.
class AlertApi
{
public:
    using Notice = std::function<void(const QString &line)>;
    using Query = HttpExporter::Query;

    static constexpr const char *kIncidents = "/api/v1/incidents";
    static constexpr const char *kTest = "/api/v1/alerts/test";

    explicit AlertApi(Notice notice);

    void setOpen(std::vector<Incidents::Open> open);
    // The channels' sender; nullptr once the alert rules have stopped.
    void attach(std::shared_ptr<AlertSender> sender, std::size_t channels);

    // nullopt: not this API's path for a GET.
    std::optional<HttpExporter::Answer> answer(const QByteArray &method, const QByteArray &path,
                                               const Query &query);
    // The POST of kTest, once its head passed the checks of a change.
    HttpExporter::Answer test(const QByteArray &body);

    static QByteArray incidents(const std::vector<Incidents::Open> &open);
    // The API's word for a kind: out_of_band, silent, probe_fault, foreign_change.
    static QString kindWord(Incidents::Kind kind);

private:
    Notice m_notice;
    std::mutex m_mutex;
    std::vector<Incidents::Open> m_open;
    std::shared_ptr<AlertSender> m_sender;
    std::size_t m_channels = 0;
};
