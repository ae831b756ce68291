#include "AlertApi.h"

#include "AlertMessage.h"
#include "ServiceClock.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSysInfo>
#include <algorithm>
#include <microhttpd.h>

namespace {

HttpExporter::Answer json(unsigned status, const QJsonObject &o)
{
    HttpExporter::Answer a;
    a.status = status;
    a.contentType = "application/json";
    a.body = QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
    return a;
}

HttpExporter::Answer refused(unsigned status, const QString &reason)
{
    return json(status, {{QStringLiteral("ok"), false}, {QStringLiteral("reason"), reason}});
}

} // namespace

AlertApi::AlertApi(Notice notice) : m_notice(std::move(notice)) {}

void AlertApi::setOpen(std::vector<Incidents::Open> open)
{
    std::stable_sort(open.begin(), open.end(),
                     [](const Incidents::Open &a, const Incidents::Open &b) { return a.began < b.began; });
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_open = std::move(open);
}

void AlertApi::attach(std::shared_ptr<AlertSender> sender, std::size_t channels)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_sender = std::move(sender);
    m_channels = m_sender ? channels : 0;
}

QString AlertApi::kindWord(Incidents::Kind kind)
{
    switch (kind) {
    case Incidents::Kind::OutOfBand:
        return QStringLiteral("out_of_band");
    case Incidents::Kind::Silent:
        return QStringLiteral("silent");
    case Incidents::Kind::ProbeFault:
        return QStringLiteral("probe_fault");
    case Incidents::Kind::ForeignChange:
        return QStringLiteral("foreign_change");
    }
    return {};
}

QByteArray AlertApi::incidents(const std::vector<Incidents::Open> &open)
{
    QJsonArray list;
    for (const Incidents::Open &o : open)
        list.append(QJsonObject{{QStringLiteral("id"), o.id.isEmpty() ? QJsonValue() : QJsonValue(o.id)},
                                {QStringLiteral("kind"), kindWord(o.kind)},
                                {QStringLiteral("since"), o.began.toUTC().toString(Qt::ISODate)},
                                {QStringLiteral("detail"), o.detail}});
    return QJsonDocument(QJsonObject{{QStringLiteral("incidents"), list}}).toJson(QJsonDocument::Compact) +
           '\n';
}

std::optional<HttpExporter::Answer> AlertApi::answer(const QByteArray &method, const QByteArray &path,
                                                     const Query &query)
{
    if (path != kIncidents)
        return std::nullopt;
    if (method != "GET" && method != "HEAD") {
        HttpExporter::Answer a = refused(MHD_HTTP_METHOD_NOT_ALLOWED, QStringLiteral("only GET and HEAD"));
        a.allow = "GET, HEAD";
        return a;
    }
    if (!query.isEmpty())
        return refused(MHD_HTTP_BAD_REQUEST, QStringLiteral("no parameters here"));
    std::vector<Incidents::Open> open;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        open = m_open;
    }
    HttpExporter::Answer a;
    a.contentType = "application/json";
    a.body = incidents(open);
    return a;
}

HttpExporter::Answer AlertApi::test(const QByteArray &body)
{
    // Nothing to say but "send": an empty body or an empty object.
    if (!body.trimmed().isEmpty()) {
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(body, &error);
        if (error.error != QJsonParseError::NoError || !document.isObject())
            return refused(MHD_HTTP_BAD_REQUEST, QStringLiteral("the body is a JSON object, {}"));
        if (!document.object().isEmpty())
            return refused(
                MHD_HTTP_UNPROCESSABLE_CONTENT,
                QStringLiteral("unknown key \"%1\"").arg(document.object().keys().first().left(40)));
    }
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_sender || m_channels == 0)
        return refused(MHD_HTTP_UNPROCESSABLE_CONTENT, QStringLiteral("no channel configured"));
    m_sender->send(AlertMessage::test(QDateTime::fromMSecsSinceEpoch(ServiceClock::nowMs(), Qt::UTC),
                                      QSysInfo::machineHostName()));
    m_notice(QStringLiteral("alert: a test alert asked from the dashboard, queued to %1 channel(s)")
                 .arg(m_channels));
    return json(MHD_HTTP_OK,
                {{QStringLiteral("ok"), true}, {QStringLiteral("channels"), qint64(m_channels)}});
}
