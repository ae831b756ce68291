#include "SchedulePlan.h"

#include <algorithm>
#include <cstdlib>

namespace {

// One value of a ramp: `n` tenths of `total` moved after `elapsed` of `length`.
struct Channel
{
    std::int32_t from = 0;
    std::int32_t to = 0;

    std::int32_t at(std::int64_t elapsed, std::int64_t length) const
    {
        const std::int64_t total = std::abs(to - from);
        const std::int64_t moved = total * elapsed / length;
        return from + static_cast<std::int32_t>(to >= from ? moved : -moved);
    }
    // The first moment after `elapsed` at which at() changes; none: past the end.
    std::optional<std::int64_t> nextChange(std::int64_t elapsed, std::int64_t length) const
    {
        const std::int64_t total = std::abs(to - from);
        if (total == 0)
            return std::nullopt;
        const std::int64_t moved = total * elapsed / length;
        if (moved >= total)
            return std::nullopt;
        return ((moved + 1) * length + total - 1) / total;
    }
};

bool differs(const Schedule::Values &a, const Schedule::Values &b)
{
    return a.tl != b.tl || a.th != b.th || (b.mode && a.mode != b.mode);
}

} // namespace

SchedulePlan::SchedulePlan(Schedule schedule, QTimeZone zone, std::int64_t rampSeconds)
    : m_schedule(std::move(schedule)), m_zone(std::move(zone)),
      m_rampSeconds(std::max<std::int64_t>(rampSeconds, 60))
{
    if (m_schedule.kind() == Schedule::Kind::Profile)
        planProfile();
}

void SchedulePlan::planProfile()
{
    const QDateTime start = m_schedule.start();
    std::int64_t offset = 0;
    std::optional<Values> last;
    int index = 0;
    for (const Schedule::Step &step : m_schedule.steps()) {
        const QDateTime begins = start.addSecs(offset);
        m_stepStarts.push_back(begins);
        if (!step.ramp) {
            m_profile.push_back({begins, step.values, index});
        } else {
            Values from = *last; // parse() refuses a profile that begins with a ramp
            from.mode = step.values.mode ? step.values.mode : from.mode;
            m_profile.push_back({begins, from, index});
            const Channel tl{from.tl, step.values.tl};
            const Channel th{from.th, step.values.th};
            const auto valueAt = [&](std::int64_t elapsed) {
                Values v = from;
                v.tl = tl.at(elapsed, step.seconds);
                v.th = th.at(elapsed, step.seconds);
                return v;
            };
            std::int64_t written = 0;
            for (;;) {
                const auto a = tl.nextChange(written, step.seconds);
                const auto b = th.nextChange(written, step.seconds);
                if (!a && !b)
                    break;
                const std::int64_t change = std::min(a.value_or(b.value_or(0)), b.value_or(a.value_or(0)));
                const std::int64_t when = std::max(change, written + m_rampSeconds);
                if (when >= step.seconds)
                    break; // the ramp's own values are written when it ends
                written = when;
                m_profile.push_back({begins.addSecs(when), valueAt(when), index});
            }
        }
        last = step.values;
        offset += step.seconds;
        ++index;
    }
    // A profile that ends on a ramp reaches its values at the end.
    const QDateTime end = start.addSecs(offset);
    m_stepStarts.push_back(end);
    m_profile.push_back({end, *last, index - 1});
}

QDateTime SchedulePlan::utcOf(const QDate &date, int minute) const
{
    // The wall-clock time read as if it were UTC, then each offset the zone
    // has around it tried.
    const std::int64_t wall =
        QDateTime(date, QTime(0, 0), QTimeZone::utc()).toSecsSinceEpoch() + minute * 60LL;
    const int before = m_zone.offsetFromUtc(QDateTime::fromSecsSinceEpoch(wall - 86400, QTimeZone::utc()));
    const int after = m_zone.offsetFromUtc(QDateTime::fromSecsSinceEpoch(wall + 86400, QTimeZone::utc()));
    std::optional<std::int64_t> best;
    for (int offset : {before, after}) {
        const std::int64_t utc = wall - offset;
        if (m_zone.offsetFromUtc(QDateTime::fromSecsSinceEpoch(utc, QTimeZone::utc())) == offset)
            best = best ? std::min(*best, utc) : utc;
    }
    if (best)
        return QDateTime::fromSecsSinceEpoch(*best, QTimeZone::utc());
    // In the hour the clock skips: due when the clock jumps over it.
    const auto jump = m_zone.nextTransition(
        QDateTime::fromSecsSinceEpoch(wall - std::max(before, after) - 1, QTimeZone::utc()));
    if (jump.atUtc.isValid())
        return jump.atUtc.toUTC();
    return QDateTime::fromSecsSinceEpoch(wall - before, QTimeZone::utc());
}

std::vector<SchedulePlan::Change> SchedulePlan::weeklyAround(const QDateTime &from, const QDateTime &to) const
{
    struct Item
    {
        Change change;
        std::int64_t wall;
    };
    std::vector<Item> items;
    const QDate first = from.toTimeZone(m_zone).date().addDays(-8);
    const QDate last = to.toTimeZone(m_zone).date().addDays(1);
    for (QDate date = first; date <= last; date = date.addDays(1)) {
        int index = 0;
        for (const Schedule::WeeklyEntry &entry : m_schedule.weekly()) {
            if (std::find(entry.days.begin(), entry.days.end(), date.dayOfWeek()) != entry.days.end())
                items.push_back({{utcOf(date, entry.minute), entry.values, index},
                                 date.toJulianDay() * 1440 + entry.minute});
            ++index;
        }
    }
    // Two times in a skipped hour fall on the same moment: the later one wins.
    std::sort(items.begin(), items.end(), [](const Item &a, const Item &b) {
        return a.change.at != b.change.at ? a.change.at < b.change.at : a.wall < b.wall;
    });
    std::vector<Change> out;
    for (const Item &item : items)
        out.push_back(item.change);
    return out;
}

SchedulePlan::Due SchedulePlan::due(const QDateTime &now) const
{
    Due due;
    const bool weekly = m_schedule.kind() == Schedule::Kind::Weekly;
    const std::vector<Change> list = weekly ? weeklyAround(now, now.addDays(8)) : m_profile;
    const auto after = std::upper_bound(list.begin(), list.end(), now,
                                        [](const QDateTime &t, const Change &c) { return t < c.at; });
    if (after != list.end())
        due.next = after->at;
    if (after == list.begin()) {
        due.nextStep = due.next;
        return due; // a profile not started yet
    }
    const Change &current = *(after - 1);
    due.started = true;
    due.values = current.values;
    due.step = current.step;
    due.since = current.at;
    if (weekly) {
        due.nextStep = due.next;
    } else {
        due.finished = after == list.end();
        // The end counts as a step: a change by hand holds until then.
        const auto step = std::upper_bound(m_stepStarts.begin(), m_stepStarts.end(), now);
        if (step != m_stepStarts.end())
            due.nextStep = *step;
    }
    return due;
}

std::vector<SchedulePlan::Change> SchedulePlan::changes(const QDateTime &from, const QDateTime &to) const
{
    std::vector<Change> out;
    const std::vector<Change> list =
        m_schedule.kind() == Schedule::Kind::Weekly ? weeklyAround(from, to) : m_profile;
    for (const Change &change : list)
        if (change.at > from && change.at <= to)
            out.push_back(change);
    return out;
}

std::vector<SchedulePlan::Change> SchedulePlan::band(const QDateTime &from, const QDateTime &to) const
{
    std::vector<Change> out;
    const Due now = due(from);
    if (now.started)
        out.push_back({from, now.values, now.step});
    for (const Change &change : changes(from, to))
        out.push_back(change);
    return out;
}

double SchedulePlan::writesPerDay(const QDateTime &now) const
{
    QDateTime from = now;
    QDateTime to = now.addDays(7);
    if (m_schedule.kind() == Schedule::Kind::Profile) {
        from = m_stepStarts.front();
        to = m_stepStarts.back();
    }
    // A weekly program goes on from what is due now; a profile's first
    // values are a write of their own.
    std::optional<Values> held;
    if (m_schedule.kind() == Schedule::Kind::Weekly)
        held = due(from).values;
    int writes = 0;
    for (const Change &change : changes(from.addSecs(-1), to)) {
        if (!held || differs(*held, change.values))
            ++writes;
        held = change.values;
    }
    const double days = std::max<double>(from.secsTo(to) / 86400.0, 1.0 / 24);
    return writes / days;
}
