// Every thermostat of the machine followed by the service: ids that survive
// a replug, problems told once, and configurations with set's own checks.
#include "Fleet.h"

#include "VirtualTransport.h"

#include <QCoreApplication>
#include <QSignalSpy>
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

    static void settle()
    {
        for (int i = 0; i < 3; ++i)
            QCoreApplication::processEvents();
    }
};

TEST_F(FleetFixture, FollowsThermostatsAcrossAnUnplugUnderTheSameIdAndTellsOnce)
{
    const QString pathA = transport->plug(a);
    transport->plug(b);
    QSignalSpy availability(&fleet, &Fleet::availabilityChanged);
    QSignalSpy added(&fleet, &Fleet::thermostatAdded);
    fleet.start();
    auto states = fleet.states();
    ASSERT_EQ(states.size(), 2u);
    EXPECT_EQ(states[0].id, "A");
    EXPECT_EQ(states[1].id, "B");
    EXPECT_TRUE(states[0].up && states[1].up);
    EXPECT_EQ(states[0].reads, 1u);
    EXPECT_EQ(added.count(), 2);

    transport->unplug(pathA);
    settle();
    fleet.readAll();
    fleet.readAll();
    states = fleet.states();
    ASSERT_EQ(states.size(), 2u);
    EXPECT_FALSE(states[0].up);
    EXPECT_EQ(states[0].reads, 1u);
    EXPECT_TRUE(states[0].reading.has_value()); // the last reading is kept, down
    EXPECT_EQ(states[1].reads, 3u);
    ASSERT_EQ(notices.size(), 1) << notices.join('\n').toStdString();
    EXPECT_TRUE(notices[0].startsWith("A unplugged from " + pathA));

    const QString again = transport->plug(a); // a new node, as after a real replug
    settle();
    fleet.readAll();
    const auto back = fleet.state(QStringLiteral("A"));
    ASSERT_TRUE(back.has_value());
    EXPECT_TRUE(back->up);
    EXPECT_EQ(back->path, again);
    EXPECT_EQ(back->reads, 2u);
    ASSERT_EQ(notices.size(), 2) << notices.join('\n').toStdString();
    EXPECT_EQ(notices[1], "A back on " + again);
    EXPECT_EQ(added.count(), 2); // not a new thermostat
    // Both up at the first reads; then A down once and up once.
    ASSERT_EQ(availability.count(), 4);
    EXPECT_EQ(availability[0], (QVariantList{"A", true}));
    EXPECT_EQ(availability[2], (QVariantList{"A", false}));
    EXPECT_EQ(availability[3], (QVariantList{"A", true}));

    transport->plug(thermostat("C")); // plugged in later: picked up
    settle();
    EXPECT_EQ(added.count(), 3);
    EXPECT_EQ(fleet.states().size(), 3u);
}

TEST_F(FleetFixture, AThermostatThatStopsAnsweringIsDownAndCountsItsErrors)
{
    transport->plug(a);
    fleet.start();
    a->setStallReads(true);
    fleet.readAll();
    fleet.readAll();
    auto s = fleet.state(QStringLiteral("A"));
    EXPECT_FALSE(s->up);
    EXPECT_EQ(s->readErrors, 2u);
    EXPECT_EQ(notices.size(), 1);
    a->setStallReads(false);
    fleet.readAll();
    EXPECT_TRUE(fleet.state(QStringLiteral("A"))->up);
    EXPECT_EQ(notices.size(), 2);
}

TEST_F(FleetFixture, ReadingChangedOnlyWhenAValueChanges)
{
    transport->plug(a);
    QSignalSpy changed(&fleet, &Fleet::readingChanged);
    fleet.start();
    fleet.readAll();
    EXPECT_EQ(changed.count(), 1); // the first reading only
    a->setTemperature(251);
    fleet.readAll();
    EXPECT_EQ(changed.count(), 2);
    EXPECT_EQ(fleet.state(QStringLiteral("A"))->reading->temperature, 251);
}

TEST_F(FleetFixture, ConfigureUsesTheChecksOfSetAndWritesOnlyWhatDiffers)
{
    transport->plug(a); // holds TL 18.0, TH 22.0, mode A
    fleet.start();
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
        const Fleet::Outcome o = fleet.configure(QString::fromUtf8(row.id), row.values);
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
}

} // namespace
