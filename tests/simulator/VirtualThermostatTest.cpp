// The simulated thermostat: its relay rules, its drift, its faults and the
// transport that carries it.
#include "VirtualThermostat.h"

#include "VirtualConnection.h"
#include "VirtualTransport.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

struct Fixture
{
    std::int64_t now = 0;
    VirtualThermostat t{[this] { return now; }, 11};

    Fixture() { t.setNoiseAmplitude(0); }

    // Fields of report A, decoded the plain way.
    static int raw16(const std::vector<std::uint8_t> &r, int at) { return r[at] | (r[at + 1] << 8); }
};

struct Step
{
    int temperature;
    int relay;
};

void runSteps(VirtualThermostat &t, const std::vector<Step> &steps)
{
    for (std::size_t i = 0; i < steps.size(); ++i) {
        t.setTemperature(steps[i].temperature);
        EXPECT_EQ(t.relayState(), steps[i].relay) << "step " << i << " at " << steps[i].temperature;
    }
}

} // namespace

TEST(VirtualThermostat, ModeAClosesOnNOBelowTLUntilAboveTH)
{
    Fixture f;
    f.t.setThresholds(180, 220);
    f.t.setMode(VirtualThermostat::ModeA);
    runSteps(f.t, {{200, 0}, {181, 0}, {180, 0}, {179, 1}, {200, 1}, {220, 1}, {221, 0}, {200, 0}, {179, 1}});
}

TEST(VirtualThermostat, ModeBClosesOnNOAboveTHUntilBelowTL)
{
    Fixture f;
    f.t.setThresholds(-125, 200);
    f.t.setMode(VirtualThermostat::ModeB);
    runSteps(f.t, {{0, 0}, {200, 0}, {201, 1}, {0, 1}, {-125, 1}, {-126, 0}, {100, 0}, {300, 1}});
}

TEST(VirtualThermostat, ReportACarriesTheStateInTwosComplement)
{
    Fixture f;
    f.t.setTemperature(-550);
    const auto r = f.t.inputReport();
    ASSERT_EQ(r.size(), 1u + VirtualThermostat::InputPayloadBytes);
    EXPECT_EQ(r[0], VirtualThermostat::InputReportId);
    EXPECT_EQ(Fixture::raw16(r, 1), 64986);
    EXPECT_EQ(Fixture::raw16(r, 3), 180);
    EXPECT_EQ(Fixture::raw16(r, 5), 220);
    EXPECT_EQ(r[7], 1); // far below TL in mode A
    EXPECT_EQ(r[8], 65);
    EXPECT_EQ(r[9], 0);
    EXPECT_EQ(r[10], 0);
    f.t.setTemperature(5000); // the probe's range ends at +125.0 °C
    EXPECT_EQ(Fixture::raw16(f.t.inputReport(), 1), 1250);
}

TEST(VirtualThermostat, ReportBSetsThresholdsAndMode)
{
    Fixture f;
    const std::vector<std::uint8_t> b = {2, 0x83, 0xFF, 200, 0, 66, 200, 201};
    ASSERT_TRUE(f.t.acceptOutputReport(b));
    EXPECT_EQ(f.t.lowThreshold(), -125);
    EXPECT_EQ(f.t.highThreshold(), 200);
    EXPECT_EQ(f.t.mode(), VirtualThermostat::ModeB);
    EXPECT_EQ(f.t.lastBootStatusWritten(), 200);
    EXPECT_EQ(f.t.lastBootValueWritten(), 201);
    const auto a = f.t.inputReport();
    EXPECT_EQ(Fixture::raw16(a, 3), 65411);
    EXPECT_EQ(Fixture::raw16(a, 5), 200);
    EXPECT_EQ(a[8], 66);

    // A mode that is neither A nor B is ignored; wrong ID or length changes nothing.
    ASSERT_TRUE(f.t.acceptOutputReport({2, 10, 0, 20, 0, 67, 0, 0}));
    EXPECT_EQ(f.t.mode(), VirtualThermostat::ModeB);
    EXPECT_EQ(f.t.lowThreshold(), 10);
    EXPECT_FALSE(f.t.acceptOutputReport({1, 0, 0, 0, 0, 65, 0, 0}));
    EXPECT_FALSE(f.t.acceptOutputReport({2, 0, 0, 0, 0, 65, 0}));
    EXPECT_EQ(f.t.lowThreshold(), 10);
    EXPECT_EQ(f.t.outputReportsAccepted(), 2);
}

TEST(VirtualThermostat, HeatingCycleStaysAroundTheBand)
{
    Fixture f;
    f.t.setThresholds(180, 220);
    f.t.setAmbient(100);      // a cold room
    f.t.setHeaterTarget(400); // the heater on C-NO
    f.t.setTimeConstantMs(20000);
    f.t.setTemperature(200);
    int switches = 0, lowest = 10000, highest = -10000, previous = f.t.relayState();
    for (int tick = 0; tick < 36000; ++tick) { // one hour read every 100 ms
        f.now += 100;
        f.t.advance();
        if (tick > 600) {
            lowest = std::min(lowest, f.t.temperature());
            highest = std::max(highest, f.t.temperature());
        }
        switches += f.t.relayState() != previous;
        previous = f.t.relayState();
    }
    EXPECT_GT(switches, 10);
    EXPECT_GE(lowest, 170); // one step of overshoot at most
    EXPECT_LE(highest, 230);
    EXPECT_LT(lowest, 180); // it did cross both thresholds
    EXPECT_GT(highest, 220);
}

TEST(VirtualThermostat, CoolingInModeBAndDriftWithoutLoad)
{
    Fixture f;
    f.t.setThresholds(40, 60);
    f.t.setMode(VirtualThermostat::ModeB);
    f.t.setAmbient(250);
    f.t.setCoolerTarget(-100);
    f.t.setTimeConstantMs(10000);
    f.t.setTemperature(50);
    f.now += 120000;
    f.t.advance();
    EXPECT_GE(f.t.temperature(), 30);
    EXPECT_LE(f.t.temperature(), 70);

    // Relay off and out of band downwards in mode B: drifts towards the room.
    Fixture g;
    g.t.setMode(VirtualThermostat::ModeB);
    g.t.setThresholds(-300, 900);
    g.t.setAmbient(250);
    g.t.setTimeConstantMs(1000);
    g.t.setTemperature(0);
    g.now += 10000;
    g.t.advance();
    EXPECT_EQ(g.t.relayState(), 0);
    EXPECT_NEAR(g.t.temperature(), 250, 1);
}

TEST(VirtualThermostat, ProbeFaultsFreezeTheReadingAndReleaseTheRelay)
{
    for (int fault : {VirtualThermostat::ProbeShortCircuit, VirtualThermostat::ProbeMissing,
                      VirtualThermostat::ProbeCrcError}) {
        Fixture f;
        f.t.setTemperature(100); // relay on (mode A, below TL)
        ASSERT_EQ(f.t.relayState(), 1);
        f.t.injectProbeStatus(fault);
        f.t.setAmbient(500);
        f.now += 600000;
        const auto r = f.t.inputReport();
        EXPECT_EQ(r[10], fault);
        EXPECT_EQ(r[7], 0);
        EXPECT_EQ(Fixture::raw16(r, 1), 100);
        f.t.injectProbeStatus(VirtualThermostat::ProbeOk);
        f.now += 100;
        EXPECT_GT(Fixture::raw16(f.t.inputReport(), 1), 400) << "measures again once repaired";
    }
}

TEST(VirtualThermostat, SameSeedSameRun)
{
    std::int64_t now = 0;
    VirtualThermostat a([&] { return now; }, 42), b([&] { return now; }, 42), c([&] { return now; }, 43);
    bool differs = false;
    for (int i = 0; i < 50; ++i) {
        now += 500;
        const auto ra = a.inputReport();
        EXPECT_EQ(ra, b.inputReport());
        differs |= ra != c.inputReport();
    }
    EXPECT_TRUE(differs) << "the seed drives the measurement noise";
}

TEST(VirtualTransport, EnumeratesOpensAndFailsLikeADevice)
{
    VirtualTransport transport;
    QSignalSpy arrived(&transport, &HidTransport::deviceArrived);
    QSignalSpy removed(&transport, &HidTransport::deviceRemoved);
    auto t = std::make_shared<VirtualThermostat>([] { return 0; });
    t->setSerialNumber(QStringLiteral("0001"));
    const QString p1 = transport.plug(t);
    const QString p2 = transport.plug(std::make_shared<VirtualThermostat>([] { return 0; }));
    EXPECT_NE(p1, p2);
    ASSERT_EQ(arrived.count(), 2);
    EXPECT_EQ(arrived[0][0].toString(), p1);

    const auto list = transport.enumerate();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].path, p1);
    EXPECT_EQ(list[0].vendorId, 0x0925);
    EXPECT_EQ(list[0].productId, 0x5000);
    EXPECT_EQ(list[0].serial, QStringLiteral("0001"));
    EXPECT_EQ(list[0].reportDescriptor, VirtualThermostat::standardReportDescriptor());

    QString why;
    EXPECT_EQ(transport.open(QStringLiteral("virtual:99"), &why), nullptr);
    EXPECT_FALSE(why.isEmpty());
    auto c1 = transport.open(p1);
    auto c2 = transport.open(p2);
    ASSERT_TRUE(c1 && c2);
    EXPECT_NE(c1->handle(), c2->handle());

    std::vector<std::uint8_t> report(1 + VirtualThermostat::InputPayloadBytes);
    EXPECT_EQ(c1->readInputReport(1, report, 3000), HidIoStatus::Ok);
    EXPECT_EQ(report[0], 1);
    EXPECT_EQ(c1->readInputReport(2, report, 3000), HidIoStatus::Error);
    EXPECT_EQ(c1->getFeatureReport(1, report), HidIoStatus::Error);
    t->setStallReads(true);
    EXPECT_EQ(c1->readInputReport(1, report, 3000), HidIoStatus::Timeout);
    t->setFailWrites(true);
    EXPECT_EQ(c1->writeOutputReport({2, 0, 0, 0, 0, 65, 0, 0}), HidIoStatus::Error);
    t->setFailWrites(false);
    EXPECT_EQ(c1->writeOutputReport({2, 0, 0, 0, 0, 65, 0, 0}), HidIoStatus::Ok);
    EXPECT_EQ(c1->writeOutputReport({2, 0}), HidIoStatus::Error);

    ASSERT_TRUE(transport.unplug(p1));
    EXPECT_FALSE(transport.unplug(p1));
    ASSERT_EQ(removed.count(), 1);
    EXPECT_EQ(c1->readInputReport(1, report, 3000), HidIoStatus::Gone);
    EXPECT_EQ(c1->writeOutputReport({2, 0, 0, 0, 0, 65, 0, 0}), HidIoStatus::Gone);
    EXPECT_EQ(c2->readInputReport(1, report, 3000), HidIoStatus::Ok);
    EXPECT_EQ(transport.thermostat(p1), nullptr);
    EXPECT_EQ(transport.paths(), QStringList{p2});
}

TEST(VirtualTransport, UnplugAfterReadsDropsTheDeviceOnTheNextReadAndAnnouncesItLater)
{
    VirtualTransport transport;
    const QString p = transport.plug(std::make_shared<VirtualThermostat>());
    QSignalSpy removed(&transport, &HidTransport::deviceRemoved);
    ASSERT_TRUE(transport.unplugAfterReads(p, 2));
    EXPECT_FALSE(transport.unplugAfterReads(QStringLiteral("virtual:99"), 1));
    auto c = transport.open(p);
    ASSERT_TRUE(c);
    std::vector<std::uint8_t> report(1 + VirtualThermostat::InputPayloadBytes);
    EXPECT_EQ(c->readInputReport(1, report, 100), HidIoStatus::Ok);
    EXPECT_EQ(c->readInputReport(1, report, 100), HidIoStatus::Ok);
    EXPECT_EQ(c->readInputReport(1, report, 100), HidIoStatus::Gone);
    // As the system's notice, the removal comes from the event loop.
    EXPECT_EQ(removed.count(), 0);
    EXPECT_TRUE(removed.wait(1000));
    EXPECT_EQ(removed.count(), 1);
    EXPECT_EQ(removed.at(0).at(0).toString(), p);
    EXPECT_TRUE(transport.paths().isEmpty());
    EXPECT_EQ(c->readInputReport(1, report, 100), HidIoStatus::Gone);
}
