// Every thermostat of the machine followed by the service: ids that survive
// a replug, problems told once, and configurations with set's own checks.
#include "Fleet.h"

#include "VirtualTransport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QSignalSpy>
#include <QThread>
#include <gtest/gtest.h>

namespace {

struct FleetFixture : testing::Test
{
    std::int64_t now = 0;
    std::shared_ptr<VirtualTransport> transport = std::make_shared<VirtualTransport>();
    std::shared_ptr<VirtualThermostat> a = thermostat("A");
    std::shared_ptr<VirtualThermostat> b = thermostat("B");
    QStringList notices;
    Fleet fleet{transport, 3600 * 1000, [this](const QString &line) { notices << line; }};

    std::shared_ptr<VirtualThermostat> thermostat(const char *serial)
    {
        // A clock that stands still: the readings change only when a test says.
        auto t = std::make_shared<VirtualThermostat>([this] { return now; });
        t->setNoiseAmplitude(0);
        t->setSerialNumber(QString::fromUtf8(serial));
        return t;
    }

    // The workers answer on their own threads: the loop runs until `done`
    // holds, for 5 s at most.
    template <typename Done> static bool waitFor(Done done)
    {
        const QDeadlineTimer deadline(5000);
        while (!done() && !deadline.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            QThread::msleep(1);
        }
        return done();
    }

    // One read of every thermostat, every answer in.
    void round()
    {
        const std::uint64_t before = fleet.answers();
        const int asked = fleet.readAll();
        ASSERT_TRUE(waitFor([&] { return fleet.answers() >= before + asked; }));
    }

    std::uint64_t reads(const char *id) const { return fleet.state(QString::fromUtf8(id))->reads; }

    Fleet::Outcome configure(const QString &id, const SetCommand::Values &values)
    {
        std::optional<Fleet::Outcome> outcome;
        fleet.configure(id, values, QStringLiteral("test"), [&](const Fleet::Outcome &o) { outcome = o; });
        EXPECT_TRUE(waitFor([&] { return outcome.has_value(); }));
        return outcome.value_or(Fleet::Outcome{});
    }
};

TEST_F(FleetFixture, FollowsThermostatsAcrossAnUnplugUnderTheSameIdAndTellsOnce)
{
    const QString pathA = transport->plug(a);
    transport->plug(b);
    QSignalSpy availability(&fleet, &Fleet::availabilityChanged);
    QSignalSpy added(&fleet, &Fleet::thermostatAdded);
    fleet.start();
    ASSERT_TRUE(waitFor([&] { return reads("A") == 1 && reads("B") == 1; }));
    auto states = fleet.states();
    ASSERT_EQ(states.size(), 2u);
    EXPECT_EQ(states[0].id, "A");
    EXPECT_EQ(states[1].id, "B");
    EXPECT_TRUE(states[0].up && states[1].up);
    EXPECT_EQ(states[0].reads, 1u);
    EXPECT_EQ(added.count(), 2);

    transport->unplug(pathA);
    ASSERT_TRUE(waitFor([&] { return !notices.isEmpty(); }));
    round();
    round();
    states = fleet.states();
    ASSERT_EQ(states.size(), 2u);
    EXPECT_FALSE(states[0].up);
    EXPECT_EQ(states[0].reads, 1u);
    EXPECT_TRUE(states[0].reading.has_value()); // the last reading is kept, down
    EXPECT_EQ(states[1].reads, 3u);
    ASSERT_EQ(notices.size(), 1) << notices.join('\n').toStdString();
    EXPECT_TRUE(notices[0].startsWith("A unplugged from " + pathA));

    const QString again = transport->plug(a);              // a new node, as after a real replug
    ASSERT_TRUE(waitFor([&] { return reads("A") == 2; })); // read again at once
    const auto back = fleet.state(QStringLiteral("A"));
    ASSERT_TRUE(back.has_value());
    EXPECT_TRUE(back->up);
    EXPECT_EQ(back->path, again);
    EXPECT_EQ(back->reads, 2u);
    ASSERT_EQ(notices.size(), 2) << notices.join('\n').toStdString();
    EXPECT_EQ(notices[1], "A back on " + again);
    EXPECT_EQ(added.count(), 2); // not a new thermostat
    // Both up at the first reads, in whichever order; then A down once and up once.
    QList<QVariant> ofA;
    for (const QList<QVariant> &signal : availability)
        if (signal[0] == "A")
            ofA << signal[1];
    EXPECT_EQ(availability.count(), 4);
    EXPECT_EQ(ofA, (QList<QVariant>{true, false, true}));

    transport->plug(thermostat("C")); // plugged in later: picked up
    ASSERT_TRUE(waitFor([&] { return added.count() == 3; }));
    EXPECT_EQ(added.count(), 3);
    EXPECT_EQ(fleet.states().size(), 3u);
}

TEST_F(FleetFixture, AThermostatThatStopsAnsweringIsDownAndCountsItsErrors)
{
    transport->plug(a);
    fleet.start();
    ASSERT_TRUE(waitFor([&] { return reads("A") == 1; }));
    a->setStallReads(true);
    round();
    round();
    auto s = fleet.state(QStringLiteral("A"));
    EXPECT_FALSE(s->up);
    EXPECT_EQ(s->readErrors, 2u);
    EXPECT_EQ(notices.size(), 1);
    a->setStallReads(false);
    round();
    EXPECT_TRUE(fleet.state(QStringLiteral("A"))->up);
    EXPECT_EQ(notices.size(), 2);
}

TEST_F(FleetFixture, ReadingChangedOnlyWhenAValueChanges)
{
    transport->plug(a);
    QSignalSpy changed(&fleet, &Fleet::readingChanged);
    fleet.start();
    ASSERT_TRUE(waitFor([&] { return reads("A") == 1; }));
    round();
    EXPECT_EQ(changed.count(), 1); // the first reading only
    a->setTemperature(251);
    round();
    EXPECT_EQ(changed.count(), 2);
    EXPECT_EQ(fleet.state(QStringLiteral("A"))->reading->temperature, 251);
}

TEST_F(FleetFixture, ConfigureUsesTheChecksOfSetAndWritesOnlyWhatDiffers)
{
    transport->plug(a); // holds TL 18.0, TH 22.0, mode A
    fleet.start();
    ASSERT_TRUE(waitFor([&] { return reads("A") == 1; }));
    QSignalSpy configured(&fleet, &Fleet::configured);
    const struct
    {
        const char *what;
        const char *id;
        SetCommand::Values values;
        bool ok;
        bool written;
        const char *reason; // a piece of it
        int low, high;      // what the thermostat holds afterwards
    } rows[] = {
        {"TL above the TH held",
         "A",
         {250, std::nullopt, std::nullopt},
         false,
         false,
         "strictly below",
         180,
         220},
        {"what it holds", "A", {180, 220, 65}, true, false, "", 180, 220},
        {"TL alone", "A", {190, std::nullopt, std::nullopt}, true, true, "", 190, 220},
        {"both and the mode", "A", {-55, 1250, 66}, true, true, "", -55, 1250},
        {"no such thermostat",
         "Z",
         {100, std::nullopt, std::nullopt},
         false,
         false,
         "no thermostat Z",
         -55,
         1250},
    };
    int writes = 0;
    for (const auto &row : rows) {
        const Fleet::Outcome o = configure(QString::fromUtf8(row.id), row.values);
        EXPECT_EQ(o.ok, row.ok) << row.what;
        EXPECT_EQ(o.written, row.written) << row.what;
        EXPECT_TRUE(o.reason.contains(QString::fromUtf8(row.reason))) << row.what << o.reason.toStdString();
        writes += row.written ? 1 : 0;
        EXPECT_EQ(a->outputReportsAccepted(), writes) << row.what;
        EXPECT_EQ(a->lowThreshold(), row.low) << row.what;
        EXPECT_EQ(a->highThreshold(), row.high) << row.what;
    }
    EXPECT_EQ(a->mode(), 66);
    EXPECT_EQ(configured.count(), writes);
    EXPECT_EQ(configured.at(0).at(1), "test"); // who asked
}

// One pace for every source: ten configurations a minute reach a thermostat,
// whether from MQTT or the web page; what it holds already is still answered.
TEST_F(FleetFixture, OnePaceCoversEverySource)
{
    transport->plug(a);
    fleet.start();
    ASSERT_TRUE(waitFor([&] { return reads("A") == 1; }));
    for (int i = 0; i < ConfigurePace::kMostPerMinute; ++i) {
        std::optional<Fleet::Outcome> o;
        fleet.configure(QStringLiteral("A"), {100 + i, std::nullopt, std::nullopt},
                        i % 2 ? QStringLiteral("web") : QStringLiteral("mqtt"),
                        [&](const Fleet::Outcome &r) { o = r; });
        ASSERT_TRUE(waitFor([&] { return o.has_value(); }));
        EXPECT_TRUE(o->written) << i << o->reason.toStdString();
    }
    const Fleet::Outcome refused = configure(QStringLiteral("A"), {150, std::nullopt, std::nullopt});
    EXPECT_FALSE(refused.ok);
    EXPECT_TRUE(refused.reason.contains(QLatin1String("at most 10 configurations a minute")))
        << refused.reason.toStdString();
    EXPECT_EQ(a->lowThreshold(), 109);
    const Fleet::Outcome held = configure(QStringLiteral("A"), {109, std::nullopt, std::nullopt});
    EXPECT_TRUE(held.ok);
    EXPECT_FALSE(held.written);
    // A value it held before the last write is not taken for held now.
    EXPECT_FALSE(configure(QStringLiteral("A"), {108, std::nullopt, std::nullopt}).ok);
    EXPECT_EQ(a->outputReportsAccepted(), ConfigurePace::kMostPerMinute);
}

// A thermostat stuck in a read holds up nobody else: the other is read and
// configured meanwhile, and stopping does not wait for the stuck one.
TEST_F(FleetFixture, AStuckThermostatHoldsUpNoOther)
{
    transport->setRealStall(true); // a stalled read sleeps through the link's 2 s time-out
    transport->plug(a);
    transport->plug(b);
    fleet.start();
    ASSERT_TRUE(waitFor([&] { return reads("A") == 1 && reads("B") == 1; }));
    a->setStallReads(true);
    const std::uint64_t bBefore = reads("B");
    fleet.readAll(); // A is now stuck for 2 s
    ASSERT_TRUE(waitFor([&] { return reads("B") > bBefore; }));
    const Fleet::Outcome o = configure(QStringLiteral("B"), {200, std::nullopt, std::nullopt});
    EXPECT_TRUE(o.ok && o.written) << o.reason.toStdString();
    EXPECT_EQ(b->lowThreshold(), 200);
    EXPECT_EQ(fleet.state(QStringLiteral("A"))->readErrors, 0u); // still inside its first stuck read
    fleet.stop(50);
    EXPECT_TRUE(fleet.abandoned());
}

} // namespace
