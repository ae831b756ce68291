#include "Incidents.h"

#include "ValueParser.h"

#include <QJsonArray>

namespace {

const Incidents::Kind kKinds[] = {Incidents::Kind::OutOfBand, Incidents::Kind::Silent,
                                  Incidents::Kind::ProbeFault, Incidents::Kind::ForeignChange};

QJsonValue timeValue(const std::optional<QDateTime> &time)
{
    return time ? QJsonValue(time->toUTC().toString(Qt::ISODateWithMs)) : QJsonValue();
}

std::optional<QDateTime> timeOf(const QJsonValue &value)
{
    const QDateTime time = QDateTime::fromString(value.toString(), Qt::ISODateWithMs);
    if (!time.isValid())
        return std::nullopt;
    return time.toUTC();
}

} // namespace

QString Incidents::kindName(Kind kind)
{
    switch (kind) {
    case Kind::OutOfBand:
        return QStringLiteral("out-of-band");
    case Kind::Silent:
        return QStringLiteral("not-answering");
    case Kind::ProbeFault:
        return QStringLiteral("probe-fault");
    case Kind::ForeignChange:
        return QStringLiteral("thresholds-changed");
    }
    return {};
}

QString Incidents::phaseName(Phase phase)
{
    switch (phase) {
    case Phase::Begin:
        return QStringLiteral("begin");
    case Phase::Reminder:
        return QStringLiteral("reminder");
    case Phase::End:
        return QStringLiteral("end");
    }
    return {};
}

void Incidents::remind(const QString &id, Kind kind, Track &track, const QDateTime &now,
                       std::vector<Notice> *out)
{
    const std::int64_t every = m_rules.reminderSeconds;
    if (!track.open || every <= 0 || track.lastTold.secsTo(now) < every)
        return;
    // One reminder however long the service was away.
    track.lastTold = track.lastTold.addSecs(track.lastTold.secsTo(now) / every * every);
    out->push_back({id, kind, Phase::Reminder, now, track.began, track.detail});
}

void Incidents::update(const QString &id, Kind kind, bool bad, const QDateTime &at, const QString &detail,
                       std::int64_t beginAfter, std::int64_t clearAfter, std::vector<Notice> *out)
{
    Track &track = m_devices[id][kind];
    if (bad) {
        track.goodSince.reset();
        if (!track.badSince)
            track.badSince = at;
        if (!track.open && track.badSince->secsTo(at) >= beginAfter) {
            track.open = true;
            track.began = at;
            track.lastTold = at;
            track.detail = detail;
            out->push_back({id, kind, Phase::Begin, at, at, detail});
            return;
        }
    } else {
        track.badSince.reset();
        if (track.open) {
            if (!track.goodSince)
                track.goodSince = at;
            if (track.goodSince->secsTo(at) >= clearAfter) {
                track.open = false;
                track.goodSince.reset();
                out->push_back({id, kind, Phase::End, at, track.began, detail});
                return;
            }
        }
    }
    remind(id, kind, track, at, out);
}

std::vector<Incidents::Notice> Incidents::reading(const QDateTime &at, const Reading &reading)
{
    std::vector<Notice> out;
    const QString &id = reading.id;
    update(id, Kind::Silent, false, at, QStringLiteral("answers again"), m_rules.silentSeconds, 0, &out);
    update(id, Kind::ProbeFault, reading.probeFault(), at, Reading::probeMeaning(reading.probeStatus),
           m_rules.probeSeconds, m_rules.probeSeconds, &out);
    // A faulty probe's temperature is not a measurement: the band waits.
    if (!reading.probeFault()) {
        const std::int32_t low = reading.low - m_rules.marginTenths;
        const std::int32_t high = reading.high + m_rules.marginTenths;
        const bool outside = reading.temperature < low || reading.temperature > high;
        const QString detail = QStringLiteral("%1 °C, band %2 .. %3 °C")
                                   .arg(ValueParser::celsiusText(reading.temperature),
                                        ValueParser::celsiusText(low), ValueParser::celsiusText(high));
        update(id, Kind::OutOfBand, outside, at, detail, m_rules.bandSeconds, m_rules.bandSeconds, &out);
    }
    return out;
}

std::vector<Incidents::Notice> Incidents::unanswered(const QString &id, const QDateTime &at)
{
    std::vector<Notice> out;
    update(id, Kind::Silent, true, at, QStringLiteral("does not answer"), m_rules.silentSeconds, 0, &out);
    return out;
}

std::vector<Incidents::Notice> Incidents::thresholdsChanged(const QString &id, const QDateTime &at,
                                                            const QString &source, const QString &what)
{
    if (source != QLatin1String("thermostat"))
        return {};
    return {{id, Kind::ForeignChange, Phase::Begin, at, at, what}};
}

std::vector<Incidents::Notice> Incidents::tick(const QDateTime &now)
{
    std::vector<Notice> out;
    for (auto &[id, device] : m_devices) {
        Track &silent = device[Kind::Silent];
        if (silent.badSince && !silent.open)
            update(id, Kind::Silent, true, now, QStringLiteral("does not answer"), m_rules.silentSeconds, 0,
                   &out);
        for (auto &[kind, track] : device)
            remind(id, kind, track, now, &out);
    }
    return out;
}

std::vector<Incidents::Open> Incidents::open() const
{
    std::vector<Open> out;
    for (const auto &[id, device] : m_devices)
        for (const auto &[kind, track] : device)
            if (track.open)
                out.push_back({id, kind, track.began, track.detail});
    return out;
}

QJsonObject Incidents::save() const
{
    QJsonObject devices;
    for (const auto &[id, device] : m_devices) {
        QJsonObject kinds;
        for (const auto &[kind, track] : device) {
            if (!track.open && !track.badSince)
                continue;
            kinds[kindName(kind)] = QJsonObject{{QStringLiteral("bad_since"), timeValue(track.badSince)},
                                                {QStringLiteral("good_since"), timeValue(track.goodSince)},
                                                {QStringLiteral("open"), track.open},
                                                {QStringLiteral("began"), timeValue(track.began)},
                                                {QStringLiteral("last_told"), timeValue(track.lastTold)},
                                                {QStringLiteral("detail"), track.detail}};
        }
        if (!kinds.isEmpty())
            devices[id] = kinds;
    }
    return {{QStringLiteral("version"), 1}, {QStringLiteral("devices"), devices}};
}

void Incidents::restore(const QJsonObject &saved, const QDateTime &now)
{
    m_devices.clear();
    if (saved.value(QLatin1String("version")).toInt() != 1)
        return;
    const QJsonObject devices = saved.value(QLatin1String("devices")).toObject();
    for (auto it = devices.begin(); it != devices.end(); ++it) {
        const QJsonObject kinds = it.value().toObject();
        for (Kind kind : kKinds) {
            const QJsonObject item = kinds.value(kindName(kind)).toObject();
            if (item.isEmpty())
                continue;
            Track track;
            track.open = item.value(QLatin1String("open")).toBool();
            track.badSince = timeOf(item.value(QLatin1String("bad_since")));
            track.goodSince = timeOf(item.value(QLatin1String("good_since")));
            track.detail = item.value(QLatin1String("detail")).toString().left(200);
            const auto began = timeOf(item.value(QLatin1String("began")));
            const auto told = timeOf(item.value(QLatin1String("last_told")));
            if (track.open && (!began || !told))
                continue; // an open incident without its times cannot be ended or reminded right
            track.began = began.value_or(QDateTime());
            track.lastTold = told.value_or(QDateTime());
            if (kind == Kind::Silent && !track.open && track.badSince)
                track.badSince = now;
            m_devices[it.key()][kind] = track;
        }
    }
}
