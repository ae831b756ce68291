#include "ScheduleApi.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <microhttpd.h>

namespace {

constexpr const char *kPrefix = "/api/v1/thermostats/";

struct Target
{
    QByteArray id;
    QByteArray action; // empty, "pause" or "resume"
};

// /api/v1/thermostats/ID/schedule[/pause|/resume], and no other shape.
std::optional<Target> target(const QByteArray &path)
{
    if (!path.startsWith(kPrefix))
        return std::nullopt;
    const QList<QByteArray> parts = path.mid(qsizetype(qstrlen(kPrefix))).split('/');
    if (parts.size() < 2 || parts.size() > 3 || parts[0].isEmpty() || parts[1] != "schedule")
        return std::nullopt;
    if (parts.size() == 3 && parts[2] != "pause" && parts[2] != "resume")
        return std::nullopt;
    return Target{parts[0], parts.size() == 3 ? parts[2] : QByteArray()};
}

HttpExporter::Answer json(unsigned status, const QJsonObject &o, const char *allow = "")
{
    HttpExporter::Answer a;
    a.status = status;
    a.contentType = "application/json";
    a.body = QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
    a.allow = allow;
    return a;
}

HttpExporter::Answer refused(unsigned status, const QString &reason, const char *allow = "")
{
    return json(status, {{QStringLiteral("ok"), false}, {QStringLiteral("reason"), reason}}, allow);
}

QJsonValue iso(const std::optional<QDateTime> &t)
{
    return t && t->isValid() ? QJsonValue(t->toUTC().toString(Qt::ISODate)) : QJsonValue();
}

QJsonObject values(const Schedule::Values &v)
{
    QJsonObject o{{QStringLiteral("tl"), v.tl / 10.0}, {QStringLiteral("th"), v.th / 10.0}};
    o.insert(QStringLiteral("mode"), v.mode ? QJsonValue(QString(QChar(*v.mode))) : QJsonValue());
    return o;
}

} // namespace

ScheduleApi::ScheduleApi(ScheduleRunner &runner, std::function<bool(const QString &id)> known)
    : m_runner(runner), m_known(std::move(known))
{
}

bool ScheduleApi::claims(const QByteArray &path)
{
    return target(path).has_value();
}

QJsonObject ScheduleApi::toJson(const ScheduleRunner::Status &s)
{
    QJsonObject o;
    o.insert(QStringLiteral("schedule"),
             s.exists ? QJsonValue(QJsonDocument::fromJson(s.body).object()) : QJsonValue());
    o.insert(QStringLiteral("state"), s.state());
    o.insert(QStringLiteral("paused"), s.paused);
    o.insert(QStringLiteral("clock_synchronised"), s.clock.synchronised);
    o.insert(QStringLiteral("clock"), s.clock.why);
    o.insert(QStringLiteral("current"), s.current ? QJsonValue(values(*s.current)) : QJsonValue());
    o.insert(QStringLiteral("next_change"), iso(s.nextChange));
    o.insert(QStringLiteral("overridden"), s.overridden);
    o.insert(QStringLiteral("overridden_until"), iso(s.overriddenUntil));
    o.insert(QStringLiteral("writes_per_day"), s.writesPerDay);
    QJsonArray planned;
    for (const SchedulePlan::Change &c : s.planned) {
        QJsonObject p = values(c.values);
        p.remove(QStringLiteral("mode"));
        p.insert(QStringLiteral("t"), qint64(c.at.toSecsSinceEpoch()));
        planned.append(p);
    }
    o.insert(QStringLiteral("planned"), planned);
    return o;
}

HttpExporter::Answer ScheduleApi::answer(const QByteArray &method, const QByteArray &path,
                                         const QByteArray &body)
{
    const std::optional<Target> t = target(path);
    if (!t)
        return refused(MHD_HTTP_NOT_FOUND, QStringLiteral("not found"));
    const QString id = QString::fromUtf8(t->id);
    const bool action = !t->action.isEmpty();
    const bool reading = method == "GET" || method == "HEAD";
    if (action ? method != "POST" : !(reading || method == "PUT" || method == "DELETE"))
        return refused(MHD_HTTP_METHOD_NOT_ALLOWED,
                       QStringLiteral("not with %1").arg(QString::fromLatin1(method.left(16))),
                       action ? "POST" : "GET, HEAD, PUT, DELETE");
    if (!m_known(id) && !m_runner.ids().contains(id))
        return refused(MHD_HTTP_NOT_FOUND, QStringLiteral("no thermostat %1").arg(id.left(64)));
    QString error;
    bool done = true;
    if (action) {
        done = m_runner.setPaused(id, t->action == "pause", &error);
    } else if (method == "PUT") {
        const Schedule::Parsed parsed = Schedule::parse(body);
        if (!parsed.schedule)
            return refused(MHD_HTTP_UNPROCESSABLE_CONTENT, parsed.error);
        done = m_runner.set(id, *parsed.schedule, &error);
    } else if (method == "DELETE") {
        done = m_runner.clear(id, &error);
    }
    if (!done)
        return refused(error.contains(QLatin1String("no schedule")) ? MHD_HTTP_NOT_FOUND
                                                                    : MHD_HTTP_SERVICE_UNAVAILABLE,
                       error);
    return json(MHD_HTTP_OK, toJson(m_runner.status(id)));
}
