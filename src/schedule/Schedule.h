#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

// A thermostat's schedule in its one JSON form, checked whole.
//
// A weekly program: entries at which TL, TH and optionally the mode change,
// each on some days of the week at a local time; an entry lasts until the
// next one in the week, so the last of Sunday lasts into Monday.
//
//   {"weekly": [
//     {"days": ["mon","tue","wed","thu","fri"], "at": "06:30", "tl": 19.5, "th": 21},
//     {"days": ["sat","sun"], "at": "08:00", "tl": 19.5, "th": 21},
//     {"days": ["mon","tue","wed","thu","fri","sat","sun"], "at": "22:30", "tl": 16, "th": 18, "mode": "A"}
//   ]}
//
// A one-off profile: steps in order from `start`, each holding TL and TH for
// its duration, or ramping them linearly to new values over its duration.
// A hold without values keeps those the step before ended with. After the
// last step the last values stay.
//
//   {"profile": {"start": "2026-12-01T08:00:00Z", "steps": [
//     {"hold": "5d", "tl": 17.5, "th": 18.5},
//     {"ramp": "2d", "tl": 20.5, "th": 21.5},
//     {"hold": "3d"},
//     {"hold": "2d", "tl": 1.5, "th": 2.5}
//   ]}}
//
// Durations: "5d", "36h", "90m", "1d12h"; at least one minute, at most a
// year for the whole profile. Temperatures: -55 to 125 °C to a tenth, as the
// command line takes them, and TL below TH at every step.
class Schedule
{
public:
    struct Values
    {
        std::int32_t tl = 0;              // tenths
        std::int32_t th = 0;              // tenths
        std::optional<std::int16_t> mode; // 65 or 66
        bool operator==(const Values &) const = default;
    };

    struct WeeklyEntry
    {
        std::vector<int> days; // 1 (Monday) to 7, as QDate::dayOfWeek
        int minute = 0;        // of the local day, 0 to 1439
        Values values;
        bool operator==(const WeeklyEntry &) const = default;
    };

    struct Step
    {
        bool ramp = false;
        std::int64_t seconds = 0;
        Values values;     // held, or reached at the end of the ramp
        bool keep = false; // a hold without values of its own
        bool operator==(const Step &) const = default;
    };

    enum class Kind { Weekly, Profile };

    Kind kind() const { return m_kind; }
    const std::vector<WeeklyEntry> &weekly() const { return m_weekly; }
    const std::vector<Step> &steps() const { return m_steps; }
    QDateTime start() const { return m_start; } // UTC; profiles only
    std::int64_t profileSeconds() const;

    struct Parsed;
    // The whole document or the first fault: "step 3: TL 21 is not below TH 20".
    static Parsed parse(const QByteArray &json);
    static Parsed fromJson(const QJsonObject &object);
    QJsonObject toJson() const;

    bool operator==(const Schedule &) const = default;

    static constexpr std::int64_t kLongestProfileSeconds = 366LL * 24 * 3600;

private:
    Kind m_kind = Kind::Weekly;
    std::vector<WeeklyEntry> m_weekly;
    std::vector<Step> m_steps;
    QDateTime m_start;
};

struct Schedule::Parsed
{
    std::optional<Schedule> schedule;
    QString error;
};
