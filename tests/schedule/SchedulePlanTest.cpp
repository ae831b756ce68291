#include "SchedulePlan.h"

#include <gtest/gtest.h>

namespace {

QDateTime utc(const char *text)
{
    return QDateTime::fromString(QString::fromLatin1(text), Qt::ISODate).toUTC();
}

Schedule parsed(const char *json)
{
    auto result = Schedule::parse(json);
    EXPECT_TRUE(result.schedule) << result.error.toStdString();
    return result.schedule.value_or(Schedule());
}

// Weekdays at 06:30, every night at 22:30, and Sundays at 02:30: the hour
// Paris skips in March and repeats in October.
const char *kWeekly = R"({"weekly":[
    {"days":["mon","tue","wed","thu","fri"],"at":"06:30","tl":19.5,"th":21},
    {"days":["mon","tue","wed","thu","fri","sat","sun"],"at":"22:30","tl":16,"th":18},
    {"days":["sun"],"at":"02:30","tl":10,"th":12,"mode":"B"}]})";

struct WeeklyRow
{
    const char *now; // UTC
    int step;
    const char *since;
    const char *next;
};

class WeeklyPlan : public testing::TestWithParam<WeeklyRow>
{
};

TEST_P(WeeklyPlan, isAtTheRightEntry)
{
    const QTimeZone paris("Europe/Paris");
    ASSERT_TRUE(paris.isValid()) << "tzdata is missing";
    const SchedulePlan plan(parsed(kWeekly), paris);
    const auto due = plan.due(utc(GetParam().now));
    EXPECT_TRUE(due.started);
    EXPECT_EQ(due.step, GetParam().step);
    EXPECT_EQ(due.since, utc(GetParam().since));
    EXPECT_EQ(due.next, utc(GetParam().next));
    EXPECT_EQ(due.nextStep, due.next);
    EXPECT_EQ(plan.overriddenUntil(utc(GetParam().now)), utc(GetParam().next));
}

INSTANTIATE_TEST_SUITE_P(
    Table, WeeklyPlan,
    testing::Values(
        // A Wednesday's day.
        WeeklyRow{"2026-12-09T11:00:00Z", 0, "2026-12-09T05:30:00Z", "2026-12-09T21:30:00Z"},
        // Monday 03:00: Sunday night's entry, across midnight and the week's end.
        WeeklyRow{"2026-12-07T02:00:00Z", 1, "2026-12-06T21:30:00Z", "2026-12-07T05:30:00Z"},
        // Saturday's night runs into Sunday 02:30.
        WeeklyRow{"2026-12-06T00:00:00Z", 1, "2026-12-05T21:30:00Z", "2026-12-06T01:30:00Z"},
        WeeklyRow{"2026-12-06T01:30:00Z", 2, "2026-12-06T01:30:00Z", "2026-12-06T21:30:00Z"},
        // 29 March: 02:00 CET jumps to 03:00 CEST, 02:30 never happens: due at the jump.
        WeeklyRow{"2026-03-29T00:59:59Z", 1, "2026-03-28T21:30:00Z", "2026-03-29T01:00:00Z"},
        WeeklyRow{"2026-03-29T01:30:00Z", 2, "2026-03-29T01:00:00Z", "2026-03-29T20:30:00Z"},
        // 25 October: 03:00 CEST goes back to 02:00 CET, 02:30 happens twice: the first time only.
        WeeklyRow{"2026-10-25T00:29:59Z", 1, "2026-10-24T20:30:00Z", "2026-10-25T00:30:00Z"},
        WeeklyRow{"2026-10-25T01:45:00Z", 2, "2026-10-25T00:30:00Z", "2026-10-25T21:30:00Z"}));

TEST(WeeklyPlan, writesEachEntryOnceAWeekAcrossAClockChange)
{
    const SchedulePlan plan(parsed(kWeekly), QTimeZone("Europe/Paris"));
    // The week of the October change: 5 mornings, 7 nights, one Sunday 02:30.
    const auto week = plan.changes(utc("2026-10-18T22:00:00Z"), utc("2026-10-25T23:00:00Z"));
    EXPECT_EQ(week.size(), 13u);
    for (std::size_t i = 1; i < week.size(); ++i)
        EXPECT_LT(week[i - 1].at, week[i].at);
    // Friday night and Saturday night hold the same values: 12 writes a week.
    EXPECT_NEAR(plan.writesPerDay(utc("2026-12-07T00:00:00Z")), 12.0 / 7, 1e-9);
}

// Hold 17.5/18.5 for a day, ramp 3 °C over two days, hold a day, crash.
const char *kProfile = R"({"profile":{"start":"2026-12-01T08:00:00Z","steps":[
    {"hold":"1d","tl":17.5,"th":18.5},
    {"ramp":"2d","tl":20.5,"th":21.5},
    {"hold":"1d"},
    {"hold":"1d","tl":1.5,"th":2.5}]}})";

struct ProfileRow
{
    std::int64_t after; // seconds after the start
    bool started;
    bool finished;
    std::int32_t tl;
    std::int32_t th;
    std::int64_t since;    // seconds after the start
    std::int64_t next;     // -1: none
    std::int64_t nextStep; // -1: none
};

class ProfilePlan : public testing::TestWithParam<ProfileRow>
{
};

TEST_P(ProfilePlan, isDueAtItsPoint)
{
    const SchedulePlan plan(parsed(kProfile), QTimeZone::utc());
    const QDateTime start = utc("2026-12-01T08:00:00Z");
    const auto &row = GetParam();
    const auto due = plan.due(start.addSecs(row.after));
    const auto at = [&](std::int64_t s) { return s < 0 ? std::optional<QDateTime>() : start.addSecs(s); };
    EXPECT_EQ(due.started, row.started);
    EXPECT_EQ(due.finished, row.finished);
    EXPECT_EQ(due.next, at(row.next));
    EXPECT_EQ(due.nextStep, at(row.nextStep));
    if (row.started) {
        EXPECT_EQ(due.values.tl, row.tl);
        EXPECT_EQ(due.values.th, row.th);
        EXPECT_EQ(due.since, start.addSecs(row.since));
    }
}

constexpr std::int64_t kDay = 86400;
constexpr std::int64_t kTenth = 2 * kDay / 30; // 96 minutes per tenth

INSTANTIATE_TEST_SUITE_P(
    Table, ProfilePlan,
    testing::Values(ProfileRow{-1, false, false, 0, 0, 0, 0, 0},
                    ProfileRow{0, true, false, 175, 185, 0, kDay, kDay},
                    ProfileRow{kDay + kTenth - 1, true, false, 175, 185, kDay, kDay + kTenth, 3 * kDay},
                    ProfileRow{kDay + kTenth, true, false, 176, 186, kDay + kTenth, kDay + 2 * kTenth,
                               3 * kDay},
                    ProfileRow{2 * kDay, true, false, 190, 200, 2 * kDay, 2 * kDay + kTenth, 3 * kDay},
                    ProfileRow{3 * kDay - 1, true, false, 204, 214, 3 * kDay - kTenth, 3 * kDay, 3 * kDay},
                    ProfileRow{3 * kDay, true, false, 205, 215, 3 * kDay, 4 * kDay, 4 * kDay},
                    ProfileRow{5 * kDay - 1, true, false, 15, 25, 4 * kDay, 5 * kDay, 5 * kDay},
                    ProfileRow{5 * kDay + 1, true, true, 15, 25, 5 * kDay, -1, -1}));

struct RampRow
{
    std::int64_t seconds;                                      // of the ramp
    double to;                                                 // TL it reaches, TH one degree above
    std::int64_t rampSeconds;                                  // --ramp-minutes
    std::vector<std::pair<std::int64_t, std::int32_t>> writes; // within the ramp: offset, TL
};

class RampWrites : public testing::TestWithParam<RampRow>
{
};

TEST_P(RampWrites, areTenthsAtMostOncePerInterval)
{
    const auto &row = GetParam();
    const QString json = QStringLiteral(R"({"profile":{"start":"2026-12-01T00:00:00Z","steps":[
        {"hold":"1h","tl":20,"th":21},{"ramp":"%1m","tl":%2,"th":%3}]}})")
                             .arg(row.seconds / 60)
                             .arg(row.to)
                             .arg(row.to + 1);
    const SchedulePlan plan(parsed(json.toUtf8().constData()), QTimeZone::utc(), row.rampSeconds);
    const QDateTime ramp = utc("2026-12-01T01:00:00Z");
    std::vector<std::pair<std::int64_t, std::int32_t>> writes;
    for (const auto &change : plan.changes(ramp, ramp.addSecs(row.seconds))) {
        writes.emplace_back(ramp.secsTo(change.at), change.values.tl);
        EXPECT_EQ(change.values.th, change.values.tl + 10);
    }
    EXPECT_EQ(writes, row.writes);
}

INSTANTIATE_TEST_SUITE_P(
    Table, RampWrites,
    testing::Values(
        // 0.5 °C over 50 min: a tenth every 10 min, the last one at the end.
        RampRow{3000, 20.5, 600, {{600, 201}, {1200, 202}, {1800, 203}, {2400, 204}, {3000, 205}}},
        // Down, 0.3 °C over an hour: a tenth every 20 min.
        RampRow{3600, 19.7, 600, {{1200, 199}, {2400, 198}, {3600, 197}}},
        // 5 °C in an hour, at most every 10 min: several tenths a write.
        RampRow{3600, 25, 600, {{600, 208}, {1200, 216}, {1800, 225}, {2400, 233}, {3000, 241}, {3600, 250}}},
        // The same every 30 min.
        RampRow{3600, 25, 1800, {{1800, 225}, {3600, 250}}}));

TEST(ProfilePlan, resumesAfterARestartAtAnyMomentWithoutRepeatOrSkip)
{
    const SchedulePlan plan(parsed(kProfile), QTimeZone::utc());
    const QDateTime start = utc("2026-12-01T08:00:00Z");
    const QDateTime end = start.addDays(5);
    std::vector<SchedulePlan::Values> straight;
    for (const auto &change : plan.changes(start.addSecs(-1), end.addSecs(1)))
        if (straight.empty() || !(straight.back() == change.values))
            straight.push_back(change.values);
    EXPECT_EQ(plan.writesPerDay(start), 32 / 5.0); // 1 + 29 tenths + the ramp's end + the crash
    // A restart at `cut`: what the first run wrote, the resume point, what the second run writes.
    for (std::int64_t cut = -600; cut <= 5 * kDay + 600; cut += 7 * 60 + 13) {
        const QDateTime restart = start.addSecs(cut);
        std::vector<SchedulePlan::Values> written;
        const auto apply = [&](const SchedulePlan::Values &v) {
            if (written.empty() || !(written.back() == v))
                written.push_back(v);
        };
        for (const auto &change : plan.changes(start.addSecs(-1), restart.addSecs(-1)))
            apply(change.values);
        const auto due = plan.due(restart);
        if (due.started)
            apply(due.values);
        for (const auto &change : plan.changes(restart, end.addSecs(1)))
            apply(change.values);
        ASSERT_EQ(written, straight) << "restart at " << cut << " s";
    }
    // The band for a graph begins with what is due.
    const auto band = plan.band(start.addSecs(kDay + 100), start.addSecs(3 * kDay));
    ASSERT_EQ(band.size(), 31u);
    EXPECT_EQ(band.front().values.tl, 175);
    EXPECT_EQ(band.back().values.tl, 205);
}

} // namespace
