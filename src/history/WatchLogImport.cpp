#include "WatchLogImport.h"

#include "MinuteAggregator.h"

#include <QDateTime>
#include <QStringList>
#include <algorithm>
#include <cmath>
#include <csv.h>
#include <map>

namespace {

// What libcsv hands over, record by record.
struct Records
{
    std::vector<QStringList> rows;
    QStringList current;
};

void onField(void *data, size_t length, void *context)
{
    static_cast<Records *>(context)->current
        << QString::fromUtf8(static_cast<const char *>(data), qsizetype(length));
}

void onRecord(int, void *context)
{
    auto *records = static_cast<Records *>(context);
    records->rows.push_back(std::move(records->current));
    records->current.clear();
}

std::optional<std::int32_t> tenths(const QString &text)
{
    bool ok = false;
    const double v = text.toDouble(&ok);
    if (!ok || !std::isfinite(v) || std::abs(v) > 10000)
        return std::nullopt;
    return std::int32_t(std::lround(v * 10));
}

// Two watch runs may overlap or come out of order: readings are folded in
// time order, each thermostat apart.
constexpr std::int64_t kCarryMs = 120000;

} // namespace

WatchLogImport::Result WatchLogImport::parse(const QByteArray &csv)
{
    Result result;
    csv_parser parser;
    if (csv_init(&parser, CSV_APPEND_NULL) != 0) {
        result.error = QStringLiteral("out of memory");
        return result;
    }
    Records records;
    const size_t used = csv_parse(&parser, csv.constData(), size_t(csv.size()), onField, onRecord, &records);
    const bool parsed = used == size_t(csv.size()) && csv_fini(&parser, onField, onRecord, &records) == 0;
    const QString why = QString::fromUtf8(csv_strerror(csv_error(&parser)));
    csv_free(&parser);
    if (!parsed) {
        result.error = QStringLiteral("not a CSV file: %1").arg(why);
        return result;
    }
    if (records.rows.empty()) {
        result.error = QStringLiteral("empty file");
        return result;
    }
    const QStringList header = records.rows.front();
    const QStringList needed{QStringLiteral("timestamp"),           QStringLiteral("id"),
                             QStringLiteral("temperature_celsius"), QStringLiteral("tl_celsius"),
                             QStringLiteral("th_celsius"),          QStringLiteral("relay_contact"),
                             QStringLiteral("relay_mode"),          QStringLiteral("probe_status")};
    std::vector<qsizetype> at;
    for (const QString &name : needed) {
        at.push_back(header.indexOf(name));
        if (at.back() < 0) {
            result.error =
                QStringLiteral("no %1 column: not a log of calidorctl watch --format csv").arg(name);
            return result;
        }
    }
    const qsizetype width = *std::max_element(at.begin(), at.end()) + 1;

    struct Timed
    {
        std::int64_t ms;
        HistorySample sample;
    };
    std::map<QString, std::vector<Timed>> byId;
    auto skip = [&](std::size_t line, const QString &what) {
        if (result.skipped++ == 0)
            result.firstProblem = QStringLiteral("record %1: %2").arg(line + 1).arg(what);
    };
    for (std::size_t i = 1; i < records.rows.size(); ++i) {
        const QStringList &row = records.rows[i];
        if (row.size() < width) {
            skip(i, QStringLiteral("%1 fields, %2 expected").arg(row.size()).arg(header.size()));
            continue;
        }
        const QDateTime when = QDateTime::fromString(row[at[0]], Qt::ISODateWithMs);
        const QString id = row[at[1]];
        const auto temperature = tenths(row[at[2]]);
        const auto low = tenths(row[at[3]]);
        const auto high = tenths(row[at[4]]);
        bool probeOk = false;
        const int probe = row[at[7]].toInt(&probeOk);
        if (!when.isValid() || id.isEmpty() || !temperature || !low || !high || !probeOk) {
            skip(i, QStringLiteral("not a reading"));
            continue;
        }
        HistorySample s;
        s.temperature = *temperature;
        s.low = *low;
        s.high = *high;
        if (row[at[5]] == QLatin1String("C-NO"))
            s.contactOnNO = true;
        else if (row[at[5]] == QLatin1String("C-NC"))
            s.contactOnNO = false;
        if (row[at[6]] == QLatin1String("A") || row[at[6]] == QLatin1String("B"))
            s.mode = row[at[6]].at(0).toLatin1();
        s.probeStatus = probe;
        byId[id].push_back({when.toMSecsSinceEpoch(), s});
        ++result.rows;
    }
    for (auto &[id, readings] : byId) {
        std::stable_sort(readings.begin(), readings.end(),
                         [](const Timed &a, const Timed &b) { return a.ms < b.ms; });
        MinuteAggregator aggregator(kCarryMs);
        for (const Timed &r : readings)
            aggregator.read(id, r.ms, r.sample);
        aggregator.advance(std::numeric_limits<std::int64_t>::max() / 2);
        for (MinuteRow &m : aggregator.take().minutes)
            result.minutes.push_back(std::move(m));
    }
    return result;
}
