#include "Schedule.h"

#include "ValueParser.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QSet>
#include <QStringList>
#include <algorithm>
#include <cmath>
#include <map>

namespace {

const QStringList kDays = {QStringLiteral("mon"), QStringLiteral("tue"), QStringLiteral("wed"),
                           QStringLiteral("thu"), QStringLiteral("fri"), QStringLiteral("sat"),
                           QStringLiteral("sun")};

std::optional<QString> unknownKey(const QJsonObject &object, const QStringList &known)
{
    for (auto it = object.begin(); it != object.end(); ++it)
        if (!known.contains(it.key()))
            return it.key();
    return std::nullopt;
}

// A temperature from the document, through the command line's own rule.
QString temperature(const QJsonObject &object, const QString &key, std::int32_t *tenths)
{
    const QJsonValue value = object.value(key);
    if (!value.isDouble())
        return QStringLiteral("%1 must be a number of °C").arg(key.toUpper());
    const double number = value.toDouble();
    if (!std::isfinite(number) || std::fabs(number) > 1e6)
        return QStringLiteral("%1 %2 is out of range").arg(key.toUpper()).arg(number);
    const auto parsed = ValueParser::celsius(QString::number(number, 'g', 10));
    if (!parsed.value)
        return QStringLiteral("%1: %2").arg(key.toUpper(), parsed.error);
    *tenths = static_cast<std::int32_t>(parsed.value->code);
    return {};
}

QString modeOf(const QJsonObject &object, std::optional<std::int16_t> *mode)
{
    if (!object.contains(QLatin1String("mode")))
        return {};
    const auto parsed = ValueParser::relayMode(object.value(QLatin1String("mode")).toString());
    if (!parsed.value)
        return QStringLiteral("mode: %1").arg(parsed.error);
    *mode = *parsed.value;
    return {};
}

QString valuesOf(const QJsonObject &object, Schedule::Values *values)
{
    if (QString e = temperature(object, QStringLiteral("tl"), &values->tl); !e.isEmpty())
        return e;
    if (QString e = temperature(object, QStringLiteral("th"), &values->th); !e.isEmpty())
        return e;
    if (values->tl >= values->th)
        return QStringLiteral("TL %1 is not below TH %2")
            .arg(ValueParser::celsiusText(values->tl), ValueParser::celsiusText(values->th));
    return modeOf(object, &values->mode);
}

// "5d", "36h", "90m", "1d12h30m": days, hours and minutes in that order,
// each at most once, in ASCII digits.
std::optional<std::int64_t> durationSeconds(const QString &text)
{
    struct Unit
    {
        QChar letter;
        int mostDigits;
        std::int64_t seconds;
    };
    static const Unit units[] = {
        {QLatin1Char('d'), 4, 86400}, {QLatin1Char('h'), 5, 3600}, {QLatin1Char('m'), 6, 60}};
    std::int64_t total = 0;
    qsizetype at = 0;
    std::size_t next = 0; // the first unit still allowed
    while (at < text.size()) {
        qsizetype digits = 0;
        std::int64_t value = 0;
        while (at + digits < text.size() && text[at + digits] >= QLatin1Char('0') &&
               text[at + digits] <= QLatin1Char('9')) {
            value = value * 10 + (text[at + digits].unicode() - '0');
            if (++digits > 6)
                return std::nullopt;
        }
        if (digits == 0 || at + digits >= text.size())
            return std::nullopt;
        const QChar letter = text[at + digits];
        while (next < std::size(units) && units[next].letter != letter)
            ++next;
        if (next == std::size(units) || digits > units[next].mostDigits)
            return std::nullopt;
        total += value * units[next].seconds;
        ++next;
        at += digits + 1;
    }
    if (text.isEmpty())
        return std::nullopt;
    return total;
}

// "06:30": hours 00 to 23, minutes 00 to 59, in ASCII digits.
std::optional<int> minuteOfDay(const QString &text)
{
    if (text.size() != 5 || text[2] != QLatin1Char(':'))
        return std::nullopt;
    int digit[4];
    const qsizetype where[4] = {0, 1, 3, 4};
    for (int i = 0; i < 4; ++i) {
        const QChar c = text[where[i]];
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        digit[i] = c.unicode() - '0';
    }
    const int hour = digit[0] * 10 + digit[1], minute = digit[2] * 10 + digit[3];
    if (hour > 23 || minute > 59)
        return std::nullopt;
    return hour * 60 + minute;
}

QString durationText(std::int64_t seconds)
{
    QString text;
    if (seconds / 86400)
        text += QString::number(seconds / 86400) + QLatin1Char('d');
    if (seconds % 86400 / 3600)
        text += QString::number(seconds % 86400 / 3600) + QLatin1Char('h');
    if (seconds % 3600 / 60)
        text += QString::number(seconds % 3600 / 60) + QLatin1Char('m');
    return text;
}

QString hhmm(int minute)
{
    return QStringLiteral("%1:%2")
        .arg(minute / 60, 2, 10, QLatin1Char('0'))
        .arg(minute % 60, 2, 10, QLatin1Char('0'));
}

void putValues(QJsonObject *object, const Schedule::Values &values)
{
    (*object)[QStringLiteral("tl")] = values.tl / 10.0;
    (*object)[QStringLiteral("th")] = values.th / 10.0;
    if (values.mode)
        (*object)[QStringLiteral("mode")] = QString(QChar(*values.mode));
}

} // namespace

std::int64_t Schedule::profileSeconds() const
{
    std::int64_t total = 0;
    for (const Step &step : m_steps)
        total += step.seconds;
    return total;
}

Schedule::Parsed Schedule::parse(const QByteArray &json)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError)
        return {std::nullopt,
                QStringLiteral("not JSON: %1 at byte %2").arg(error.errorString()).arg(error.offset)};
    if (!document.isObject())
        return {std::nullopt, QStringLiteral("not a JSON object")};
    return fromJson(document.object());
}

Schedule::Parsed Schedule::fromJson(const QJsonObject &object)
{
    Schedule schedule;
    if (object.size() != 1 ||
        !(object.contains(QLatin1String("weekly")) || object.contains(QLatin1String("profile"))))
        return {std::nullopt, QStringLiteral("a schedule is one of \"weekly\" or \"profile\"")};

    if (object.contains(QLatin1String("weekly"))) {
        schedule.m_kind = Kind::Weekly;
        const QJsonValue list = object.value(QLatin1String("weekly"));
        if (!list.isArray() || list.toArray().isEmpty() || list.toArray().size() > 7 * 48)
            return {std::nullopt, QStringLiteral("\"weekly\" must list 1 to 336 entries")};
        std::map<int, int> taken; // minute of the week -> entry number
        int number = 0;
        for (const QJsonValue &item : list.toArray()) {
            ++number;
            const auto fail = [number](const QString &why) {
                return Parsed{std::nullopt, QStringLiteral("entry %1: %2").arg(number).arg(why)};
            };
            if (!item.isObject())
                return fail(QStringLiteral("not an object"));
            const QJsonObject entry = item.toObject();
            if (auto key =
                    unknownKey(entry, {QStringLiteral("days"), QStringLiteral("at"), QStringLiteral("tl"),
                                       QStringLiteral("th"), QStringLiteral("mode")}))
                return fail(QStringLiteral("unknown key \"%1\"").arg(*key));
            WeeklyEntry out;
            const std::optional<int> minute = minuteOfDay(entry.value(QLatin1String("at")).toString());
            if (!minute)
                return fail(QStringLiteral("\"at\" must be a time HH:MM"));
            out.minute = *minute;
            const QJsonArray days = entry.value(QLatin1String("days")).toArray();
            if (days.isEmpty())
                return fail(QStringLiteral("\"days\" must list days (mon to sun)"));
            for (const QJsonValue &day : days) {
                const int index = kDays.indexOf(day.toString());
                if (index < 0)
                    return fail(QStringLiteral("unknown day \"%1\"").arg(day.toString()));
                if (std::find(out.days.begin(), out.days.end(), index + 1) != out.days.end())
                    return fail(QStringLiteral("%1 is listed twice").arg(kDays[index]));
                out.days.push_back(index + 1);
                const int weekMinute = index * 1440 + out.minute;
                if (auto [it, fresh] = taken.emplace(weekMinute, number); !fresh)
                    return fail(QStringLiteral("%1 %2 overlaps entry %3")
                                    .arg(kDays[index], hhmm(out.minute))
                                    .arg(it->second));
            }
            if (QString e = valuesOf(entry, &out.values); !e.isEmpty())
                return fail(e);
            schedule.m_weekly.push_back(out);
        }
        return {schedule, {}};
    }

    schedule.m_kind = Kind::Profile;
    const QJsonObject profile = object.value(QLatin1String("profile")).toObject();
    if (auto key = unknownKey(profile, {QStringLiteral("start"), QStringLiteral("steps")}))
        return {std::nullopt, QStringLiteral("profile: unknown key \"%1\"").arg(*key)};
    schedule.m_start = QDateTime::fromString(profile.value(QLatin1String("start")).toString(), Qt::ISODate);
    // A start without its offset would mean a different moment on each machine.
    if (!schedule.m_start.isValid() || schedule.m_start.timeSpec() == Qt::LocalTime)
        return {std::nullopt, QStringLiteral("profile: \"start\" must be a date and time with its offset, "
                                             "2026-12-01T08:00:00Z or 2026-12-01T09:00:00+01:00")};
    schedule.m_start = schedule.m_start.toUTC();
    const QJsonArray steps = profile.value(QLatin1String("steps")).toArray();
    if (steps.isEmpty() || steps.size() > 1000)
        return {std::nullopt, QStringLiteral("profile: \"steps\" must list 1 to 1000 steps")};
    int number = 0;
    std::optional<Values> before;
    for (const QJsonValue &item : steps) {
        ++number;
        const auto fail = [number](const QString &why) {
            return Parsed{std::nullopt, QStringLiteral("step %1: %2").arg(number).arg(why)};
        };
        const QJsonObject step = item.toObject();
        if (auto key = unknownKey(step, {QStringLiteral("hold"), QStringLiteral("ramp"), QStringLiteral("tl"),
                                         QStringLiteral("th"), QStringLiteral("mode")}))
            return fail(QStringLiteral("unknown key \"%1\"").arg(*key));
        Step out;
        out.ramp = step.contains(QLatin1String("ramp"));
        if (out.ramp == step.contains(QLatin1String("hold")))
            return fail(QStringLiteral("a step is either \"hold\" or \"ramp\", with its duration"));
        const QString duration =
            step.value(out.ramp ? QLatin1String("ramp") : QLatin1String("hold")).toString();
        const auto seconds = durationSeconds(duration);
        if (!seconds || *seconds < 60)
            return fail(
                QStringLiteral("duration \"%1\" must be at least a minute, as 5d, 36h, 90m").arg(duration));
        out.seconds = *seconds;
        const bool given = step.contains(QLatin1String("tl")) || step.contains(QLatin1String("th"));
        if (!given && !out.ramp && before) {
            out.keep = true;
            out.values = *before;
            if (QString e = modeOf(step, &out.values.mode); !e.isEmpty())
                return fail(e);
        } else if (!given) {
            return fail(out.ramp ? QStringLiteral("a ramp needs the TL and TH it reaches")
                                 : QStringLiteral("the first step needs TL and TH"));
        } else if (QString e = valuesOf(step, &out.values); !e.isEmpty()) {
            return fail(e);
        }
        if (out.ramp && !before)
            return fail(QStringLiteral("a profile cannot begin with a ramp: from what?"));
        before = out.values;
        schedule.m_steps.push_back(out);
        if (schedule.profileSeconds() > kLongestProfileSeconds)
            return fail(QStringLiteral("the profile would last more than 366 days"));
    }
    return {schedule, {}};
}

QJsonObject Schedule::toJson() const
{
    if (m_kind == Kind::Weekly) {
        QJsonArray entries;
        for (const WeeklyEntry &entry : m_weekly) {
            QJsonArray days;
            for (int day : entry.days)
                days.append(kDays[day - 1]);
            QJsonObject object{{QStringLiteral("days"), days}, {QStringLiteral("at"), hhmm(entry.minute)}};
            putValues(&object, entry.values);
            entries.append(object);
        }
        return {{QStringLiteral("weekly"), entries}};
    }
    QJsonArray steps;
    for (const Step &step : m_steps) {
        QJsonObject object{
            {step.ramp ? QStringLiteral("ramp") : QStringLiteral("hold"), durationText(step.seconds)}};
        if (step.keep) {
            if (step.values.mode)
                object[QStringLiteral("mode")] = QString(QChar(*step.values.mode));
        } else {
            putValues(&object, step.values);
        }
        steps.append(object);
    }
    return {{QStringLiteral("profile"), QJsonObject{{QStringLiteral("start"), m_start.toString(Qt::ISODate)},
                                                    {QStringLiteral("steps"), steps}}}};
}
