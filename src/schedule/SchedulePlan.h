#pragma once

#include "Schedule.h"

#include <QDateTime>
#include <QTimeZone>
#include <cstdint>
#include <optional>
#include <vector>

// What a schedule asks of a thermostat at any moment. Pure: the time is
// always given (UTC), with the zone its weekly times are meant in, so a day
// that the clock jumps or repeats an hour is handled:
// - a weekly time that does not exist that day (in the hour skipped) is due
//   when the clock jumps over it; one that happens twice is due the first time;
// - a ramp moves TL and TH by whole tenths, the n-th tenth at n/N of its
//   duration, written at most once every `rampSeconds` (a steeper ramp moves
//   by more than a tenth per write), and reaches its values exactly at its end;
// - what is due at a moment is what an uninterrupted run would have written
//   last, so a service started at any moment resumes where it should, without
//   repeating or skipping a write.
class SchedulePlan
{
public:
    using Values = Schedule::Values;

    SchedulePlan(Schedule schedule, QTimeZone zone, std::int64_t rampSeconds = 600);

    struct Change
    {
        QDateTime at; // UTC
        Values values;
        int step = 0; // index of the weekly entry or the profile step
        bool operator==(const Change &) const = default;
    };

    struct Due
    {
        bool started = false;  // a profile whose start is still ahead: nothing due
        bool finished = false; // past a profile's last step: its last values stay
        Values values;
        int step = 0;
        QDateTime since;                   // when these values became due
        std::optional<QDateTime> next;     // the next write
        std::optional<QDateTime> nextStep; // the next entry or step (a ramp's tenths are not steps)
    };

    Due due(const QDateTime &now) const;

    // Every write in (from, to], in order.
    std::vector<Change> changes(const QDateTime &from, const QDateTime &to) const;

    // The planned band for a graph: what is due at `from`, then the changes.
    std::vector<Change> band(const QDateTime &from, const QDateTime &to) const;

    // Until when a change made by hand at `at` holds: the schedule's next
    // entry or step; none past a profile's end.
    std::optional<QDateTime> overriddenUntil(const QDateTime &at) const { return due(at).nextStep; }

    // Writes to the thermostat's memory a day: over the week after `now` for
    // a weekly program, over the whole of a profile. Changes that leave every
    // value as it was write nothing and do not count.
    double writesPerDay(const QDateTime &now) const;

    const Schedule &schedule() const { return m_schedule; }

private:
    std::vector<Change> weeklyAround(const QDateTime &from, const QDateTime &to) const;
    QDateTime utcOf(const QDate &date, int minute) const;
    void planProfile();

    Schedule m_schedule;
    QTimeZone m_zone;
    std::int64_t m_rampSeconds;
    std::vector<Change> m_profile;       // every write of a profile
    std::vector<QDateTime> m_stepStarts; // and where its steps begin; the last is its end
};
