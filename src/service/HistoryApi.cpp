#include "HistoryApi.h"

#include "HistoryFormat.h"
#include "HistoryInput.h"
#include "ReadingFormat.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <microhttpd.h>

namespace {

constexpr const char *kJson = "application/json";
constexpr const char *kCsv = "text/csv; charset=utf-8";
constexpr const char *kText = "text/plain; charset=utf-8";
constexpr const char *kPrefix = "/api/v1/thermostats";

HttpExporter::Answer answered(unsigned status, const char *type, const QByteArray &body, const char *allow = "")
{
    HttpExporter::Answer a;
    a.status = status;
    a.contentType = type;
    a.body = body;
    a.allow = allow;
    return a;
}

HttpExporter::Answer refused(unsigned status, const QString &why)
{
    return answered(status, kText, why.toUtf8() + '\n');
}

} // namespace

HistoryApi::HistoryApi(QString historyPath) : m_path(std::move(historyPath)) {}

HistoryApi::~HistoryApi() = default;

HistoryStore *HistoryApi::store()
{
    if (!m_store && !m_path.isEmpty()) {
        QString notice, error;
        m_store = HistoryStore::open(m_path, HistoryStore::Access::ReadOnly, &notice, &error);
    }
    return m_store.get();
}

QByteArray HistoryApi::thermostats(const std::vector<ThermostatState> &states)
{
    QJsonArray list;
    for (const ThermostatState &s : states) {
        QJsonObject o{{QStringLiteral("id"), s.id}, {QStringLiteral("up"), s.up}};
        // The keys of `read --format json`, from the same code.
        o.insert(QStringLiteral("reading"),
                 s.reading
                     ? QJsonDocument::fromJson(ReadingFormat::single(OutputFormat::Json, *s.reading).toUtf8())
                           .object()
                     : QJsonValue());
        o.insert(QStringLiteral("read_at"), s.reading && s.readAt.isValid()
                                                ? QJsonValue(ReadingFormat::timestamp(s.readAt))
                                                : QJsonValue());
        list.append(o);
    }
    return QJsonDocument(list).toJson(QJsonDocument::Compact) + '\n';
}

std::optional<HttpExporter::Answer> HistoryApi::answer(const QByteArray &method, const QByteArray &path,
                                                       const Query &query, const States &states,
                                                       std::int64_t now)
{
    if (path != kPrefix && !path.startsWith(QByteArray(kPrefix) + '/'))
        return std::nullopt;
    if (method != "GET" && method != "HEAD")
        return answered(MHD_HTTP_METHOD_NOT_ALLOWED, kText, "only GET and HEAD\n", "GET, HEAD");
    if (path == kPrefix) {
        if (!query.isEmpty())
            return refused(MHD_HTTP_BAD_REQUEST, QStringLiteral("no parameters here"));
        static const std::vector<ThermostatState> none;
        return answered(MHD_HTTP_OK, kJson, thermostats(states ? *states : none));
    }
    // /api/v1/thermostats/ID/history, and nothing else below it.
    const QList<QByteArray> parts = path.mid(int(qstrlen(kPrefix)) + 1).split('/');
    if (parts.size() != 2 || parts[1] != "history" || parts[0].isEmpty())
        return refused(MHD_HTTP_NOT_FOUND, QStringLiteral("not found"));
    const QString id = QString::fromUtf8(parts[0]);

    QString from, to, points, format;
    for (const auto &[name, value] : query) {
        QString *into = name == QLatin1String("from")     ? &from
                        : name == QLatin1String("to")     ? &to
                        : name == QLatin1String("points") ? &points
                        : name == QLatin1String("format") ? &format
                                                          : nullptr;
        if (!into)
            return refused(MHD_HTTP_BAD_REQUEST, QStringLiteral("unknown parameter %1").arg(name.left(40)));
        if (!into->isNull())
            return refused(MHD_HTTP_BAD_REQUEST, QStringLiteral("%1 given twice").arg(name));
        *into = value.isNull() ? QStringLiteral("") : value;
    }
    if (!format.isNull() && format != QLatin1String("csv") && format != QLatin1String("json"))
        return refused(MHD_HTTP_BAD_REQUEST, QStringLiteral("format: csv or json"));
    const HistoryInput::Query q = HistoryInput::query(from, to, points, now);
    if (!q.error.isEmpty())
        return refused(MHD_HTTP_BAD_REQUEST, q.error);

    const std::lock_guard<std::mutex> lock(m_mutex);
    HistoryStore *history = store();
    bool live = false;
    if (states)
        for (const ThermostatState &s : *states)
            live = live || s.id == id;
    if (!history || !history->has(id)) {
        if (!live)
            return refused(MHD_HTTP_NOT_FOUND, QStringLiteral("no thermostat %1").arg(id.left(80)));
        // Known, but nothing written yet (or no history kept): an empty range.
        HistoryStore::Range empty;
        empty.from = q.from;
        empty.to = q.to;
        empty.step = HistoryStore::chooseStep(q.from, q.to, q.points);
        return answered(MHD_HTTP_OK, format == QLatin1String("csv") ? kCsv : kJson,
                        format == QLatin1String("csv") ? HistoryFormat::csv(empty)
                                                       : HistoryFormat::json(id, empty, {}));
    }
    QString error;
    const std::optional<HistoryStore::Range> range = history->range(id, q.from, q.to, q.points, &error);
    if (!range) {
        m_store.reset(); // opened again at the next request
        return refused(MHD_HTTP_SERVICE_UNAVAILABLE,
                       QStringLiteral("the history cannot be read: %1").arg(error));
    }
    if (format == QLatin1String("csv"))
        return answered(MHD_HTTP_OK, kCsv, HistoryFormat::csv(*range));
    return answered(MHD_HTTP_OK, kJson, HistoryFormat::json(id, *range, history->events(id, q.from, q.to)));
}
