#include "HistoryFormat.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>

namespace HistoryFormat {

namespace {

struct Column
{
    const char *name;
    std::optional<double> HistoryStore::Point::*value;
};

const Column kColumns[] = {
    {"temperature_min", &HistoryStore::Point::temperatureMin},
    {"temperature_mean", &HistoryStore::Point::temperatureMean},
    {"temperature_max", &HistoryStore::Point::temperatureMax},
    {"tl", &HistoryStore::Point::low},
    {"th", &HistoryStore::Point::high},
    {"relay_on_fraction", &HistoryStore::Point::relayOnFraction},
};

// Two decimals carry every tenth of a degree and a mean's rounding.
double rounded(double v, int decimals)
{
    const double scale = decimals == 2 ? 100.0 : 1000.0;
    return std::round(v * scale) / scale;
}

int decimalsOf(const Column &c)
{
    return c.value == &HistoryStore::Point::relayOnFraction ? 3 : 2;
}

} // namespace

QByteArray json(const QString &id, const HistoryStore::Range &range, const std::vector<HistoryEvent> &events)
{
    QJsonArray series;
    for (const HistoryStore::Point &p : range.points) {
        QJsonObject o{{QStringLiteral("t"), qint64(p.t)}};
        for (const Column &c : kColumns) {
            const std::optional<double> &v = p.*(c.value);
            o.insert(QLatin1String(c.name), v ? QJsonValue(rounded(*v, decimalsOf(c))) : QJsonValue());
        }
        series.append(o);
    }
    QJsonArray happened;
    for (const HistoryEvent &e : events) {
        QJsonObject o{{QStringLiteral("t"), qint64(e.t)}, {QStringLiteral("kind"), e.kind}};
        if (!e.detail.isEmpty())
            o.insert(QStringLiteral("detail"), e.detail);
        if (!e.source.isEmpty())
            o.insert(QStringLiteral("source"), e.source);
        happened.append(o);
    }
    const QJsonObject root{{QStringLiteral("id"), id},
                           {QStringLiteral("from"), qint64(range.from)},
                           {QStringLiteral("to"), qint64(range.to)},
                           {QStringLiteral("step_seconds"), qint64(range.step)},
                           {QStringLiteral("series"), series},
                           {QStringLiteral("events"), happened}};
    return QJsonDocument(root).toJson(QJsonDocument::Compact) + '\n';
}

QByteArray csv(const HistoryStore::Range &range)
{
    QByteArray out = "t";
    for (const Column &c : kColumns)
        out += ',' + QByteArray(c.name);
    out += '\n';
    for (const HistoryStore::Point &p : range.points) {
        out += QByteArray::number(qint64(p.t));
        for (const Column &c : kColumns) {
            out += ',';
            if (const std::optional<double> &v = p.*(c.value))
                out += QByteArray::number(rounded(*v, decimalsOf(c)), 'g', 10);
        }
        out += '\n';
    }
    return out;
}

} // namespace HistoryFormat
