// The schedules as the service applies them: what is written when, over the
// real fleet of virtual thermostats and a real history file.
#include "ScheduleRunner.h"

#include "VirtualTransport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
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

// A day at 17.5/18.5, an hour's ramp to 18.5/19.5, then a day there.
const char *kProfile = R"({"profile":{"start":"2026-12-01T00:00:00Z","steps":[
    {"hold":"1d","tl":17.5,"th":18.5},{"ramp":"1h","tl":18.5,"th":19.5},{"hold":"1d"}]}})";
// Five days, one a day: started three days ago, it is on its third... fourth.
const char *kDays = R"({"profile":{"start":"2026-12-01T00:00:00Z","steps":[
    {"hold":"1d","tl":10,"th":11},{"hold":"1d","tl":12,"th":13},{"hold":"1d","tl":14,"th":15},
    {"hold":"1d","tl":16,"th":17},{"hold":"1d","tl":18,"th":19}]}})";
const char *kWeekly = R"({"weekly":[
    {"days":["mon","tue","wed","thu","fri"],"at":"06:30","tl":19.5,"th":21},
    {"days":["mon","tue","wed","thu","fri","sat","sun"],"at":"22:30","tl":16,"th":18}]})";

using Applied = ScheduleRunner::Applied;

struct DecideRow
{
    const char *what;
    const char *schedule;
    const char *now;
    std::optional<Applied> applied;
    bool paused;
    bool clock;
    bool write;
    std::int32_t tl; // what is written, when something is
    bool overrideOver;
};

std::int64_t at(const char *text)
{
    return utc(text).toSecsSinceEpoch();
}

class Decide : public testing::TestWithParam<DecideRow>
{
};

TEST_P(Decide, WritesWhatIsDueOnce)
{
    const DecideRow &r = GetParam();
    const SchedulePlan plan(parsed(r.schedule), QTimeZone::utc(), 600);
    const auto d = ScheduleRunner::decide(plan, r.applied, r.paused, r.clock, utc(r.now));
    EXPECT_EQ(d.write, r.write) << r.what;
    EXPECT_EQ(d.overrideOver, r.overrideOver) << r.what;
    if (r.write) {
        EXPECT_EQ(d.due.values.tl, r.tl) << r.what;
    }
}

const Applied kFirstDay{at("2026-12-01T00:00:00Z"), {175, 185, {}}, {}};

INSTANTIATE_TEST_SUITE_P(
    Table, Decide,
    testing::Values(
        DecideRow{"not started", kProfile, "2026-11-30T23:59:00Z", {}, false, true, false, 0, false},
        DecideRow{"first write", kProfile, "2026-12-01T10:00:00Z", {}, false, true, true, 175, false},
        DecideRow{"written already", kProfile, "2026-12-01T10:00:00Z", kFirstDay, false, true, false, 0,
                  false},
        DecideRow{"clock not right", kProfile, "2026-12-01T10:00:00Z", {}, false, false, false, 0, false},
        DecideRow{"paused", kProfile, "2026-12-01T10:00:00Z", {}, true, true, false, 0, false},
        // 25 minutes into the ramp: the tenths of its 20th minute, not those skipped.
        DecideRow{"mid ramp", kProfile, "2026-12-02T00:25:00Z", kFirstDay, false, true, true, 178, false},
        DecideRow{"the ramp's write done", kProfile, "2026-12-02T00:25:00Z",
                  Applied{at("2026-12-02T00:20:00Z"), {178, 188, {}}, {}}, false, true, false, 0, false},
        DecideRow{"overridden", kProfile, "2026-12-01T10:00:00Z",
                  Applied{at("2026-11-30T00:00:00Z"), {175, 185, {}}, at("2026-12-02T00:00:00Z")}, false,
                  true, false, 0, false},
        DecideRow{"override over", kProfile, "2026-12-02T00:00:10Z",
                  Applied{at("2026-12-01T00:00:00Z"), {175, 185, {}}, at("2026-12-02T00:00:00Z")}, false,
                  true, true, 175, true},
        DecideRow{"override over, paused", kProfile, "2026-12-02T00:00:10Z",
                  Applied{at("2026-12-01T00:00:00Z"), {175, 185, {}}, at("2026-12-02T00:00:00Z")}, true, true,
                  false, 0, true},
        DecideRow{"three days on", kDays, "2026-12-04T12:00:00Z", {}, false, true, true, 160, false},
        DecideRow{"after its end", kDays, "2026-12-24T12:00:00Z", {}, false, true, true, 180, false},
        // Wednesday 11:00 after a reboot: the morning's entry, not the night's.
        DecideRow{"weekly reboot", kWeekly, "2026-12-09T11:00:00Z",
                  Applied{at("2026-12-08T22:30:00Z"), {160, 180, {}}, {}}, false, true, true, 195, false}));

// Read back from a file that a power cut may have cut short.
TEST(AppliedJson, ReadsWholeOrNotAtAll)
{
    const Applied a{1764547200, {175, 185, std::int16_t(66)}, std::int64_t(1764633600)};
    EXPECT_EQ(Applied::fromJson(a.toJson()), a);
    const Applied forGood{1, {-550, 1250, {}}, std::numeric_limits<std::int64_t>::max()};
    EXPECT_EQ(Applied::fromJson(forGood.toJson()), forGood);
    for (const char *bad : {"", "{", "null", "[]", R"({"at":"1","tl":1,"th":2})", R"({"at":1,"tl":1})",
                            R"({"at":1,"tl":"x","th":2})"})
        EXPECT_FALSE(Applied::fromJson(bad)) << bad;
}

struct Running : testing::Test
{
    QTemporaryDir dir;
    std::int64_t nowMs = utc("2026-12-01T10:00:00Z").toMSecsSinceEpoch();
    std::shared_ptr<VirtualTransport> transport = std::make_shared<VirtualTransport>();
    std::shared_ptr<VirtualThermostat> thermostat = [] {
        auto t = std::make_shared<VirtualThermostat>([] { return 0; });
        t->setNoiseAmplitude(0);
        t->setSerialNumber(QStringLiteral("A"));
        return t;
    }();
    QStringList notices;
    Fleet fleet{transport, 3600 * 1000, [this](const QString &line) { notices << line; }};
    bool clockOk = true;

    QString path() const { return dir.filePath(QStringLiteral("history.sqlite")); }

    std::unique_ptr<ScheduleRunner> runner()
    {
        return std::make_unique<ScheduleRunner>(
            fleet, path(), 600,
            [this] {
                return ClockSync::Verdict{clockOk, {}};
            },
            [this](const QString &line) { notices << line; }, [this] { return nowMs; }, QTimeZone::utc());
    }

    template <typename Done> static bool waitFor(Done done)
    {
        const QDeadlineTimer deadline(5000);
        while (!done() && !deadline.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            QThread::msleep(1);
        }
        return done();
    }

    // Gives what would be written its chance.
    static void settle()
    {
        const QDeadlineTimer deadline(300);
        while (!deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }

    std::int32_t heldTl() { return fleet.state(QStringLiteral("A"))->reading->low; }

    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        transport->plug(thermostat);
        QSignalSpy first(&fleet, &Fleet::firstRoundDone);
        fleet.start();
        ASSERT_TRUE(waitFor([&] { return first.count() == 1; }));
    }
};

TEST_F(Running, WritesWhatIsDueAndAfterARestartNothingAgain)
{
    auto first = runner();
    first->start();
    QString error;
    ASSERT_TRUE(first->set(QStringLiteral("A"), parsed(kProfile), &error)) << error.toStdString();
    ASSERT_TRUE(waitFor([&] { return heldTl() == 175; }));
    EXPECT_EQ(first->status(QStringLiteral("A")).state(), QStringLiteral("running"));
    first.reset();
    // Changed by hand while the service was away: the step was written, so
    // a restart within it leaves the thermostat alone.
    std::optional<Fleet::Outcome> outcome;
    SetCommand::Values byHand;
    byHand.low = 150;
    fleet.configure(QStringLiteral("A"), byHand, QStringLiteral("cli"),
                    [&](const Fleet::Outcome &o) { outcome = o; });
    ASSERT_TRUE(waitFor([&] { return outcome.has_value(); }));

    QSignalSpy writes(&fleet, &Fleet::configured);
    auto second = runner();
    second->start();
    settle();
    EXPECT_EQ(writes.count(), 0);
    EXPECT_EQ(heldTl(), 150);

    // Into the ramp: its first tenth.
    nowMs = utc("2026-12-02T00:10:00Z").toMSecsSinceEpoch();
    second->tick();
    ASSERT_TRUE(waitFor([&] { return heldTl() == 176; }));
    EXPECT_EQ(writes.count(), 1);
}

TEST_F(Running, AChangeByHandHoldsUntilTheNextStep)
{
    auto r = runner();
    r->start();
    QString error;
    ASSERT_TRUE(r->set(QStringLiteral("A"), parsed(kProfile), &error));
    ASSERT_TRUE(waitFor([&] { return heldTl() == 175; }));

    std::optional<Fleet::Outcome> outcome;
    SetCommand::Values byHand;
    byHand.low = 150;
    fleet.configure(QStringLiteral("A"), byHand, QStringLiteral("web"),
                    [&](const Fleet::Outcome &o) { outcome = o; });
    ASSERT_TRUE(waitFor([&] { return outcome.has_value(); }));
    ASSERT_TRUE(outcome->written);
    const ScheduleRunner::Status held = r->status(QStringLiteral("A"));
    EXPECT_EQ(held.state(), QStringLiteral("overridden"));
    EXPECT_EQ(held.overriddenUntil, utc("2026-12-02T00:00:00Z"));
    r->tick();
    settle();
    EXPECT_EQ(heldTl(), 150);

    // The ramp's step: the schedule again, and its first write once the pace allows.
    nowMs = utc("2026-12-02T00:10:00Z").toMSecsSinceEpoch();
    ASSERT_TRUE(waitFor([&] {
        r->tick();
        return heldTl() == 176;
    }));
    EXPECT_EQ(r->status(QStringLiteral("A")).state(), QStringLiteral("running"));
}

TEST_F(Running, NothingWrittenBeforeTheClockIsRightNorWhilePaused)
{
    clockOk = false;
    auto r = runner();
    r->start();
    QString error;
    ASSERT_TRUE(r->set(QStringLiteral("A"), parsed(kDays), &error));
    settle();
    EXPECT_NE(heldTl(), 100);
    ASSERT_TRUE(r->setPaused(QStringLiteral("A"), true, &error));
    clockOk = true;
    r->tick();
    settle();
    EXPECT_NE(heldTl(), 100);
    EXPECT_EQ(r->status(QStringLiteral("A")).state(), QStringLiteral("paused"));
    ASSERT_TRUE(r->setPaused(QStringLiteral("A"), false, &error));
    ASSERT_TRUE(waitFor([&] { return heldTl() == 100; }));
    ASSERT_TRUE(r->clear(QStringLiteral("A"), &error));
    EXPECT_EQ(r->status(QStringLiteral("A")).state(), QStringLiteral("none"));
    EXPECT_FALSE(r->setPaused(QStringLiteral("A"), true, &error));
}

} // namespace
