// The virtual thermostats of --simulate are shared by every process of the
// user, as one real thermostat is by every program: what one process
// writes, the others read at their next report A.
#include "ServiceClock.h"
#include "Simulation.h"

#include <QDateTime>
#include <QThread>
#include <cstdlib>

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

std::vector<std::uint8_t> reportB(int tl, int th, int mode)
{
    const auto lo = [](int v) { return static_cast<std::uint8_t>(static_cast<std::uint16_t>(v) & 0xFF); };
    const auto hi = [](int v) { return static_cast<std::uint8_t>(static_cast<std::uint16_t>(v) >> 8); };
    return {VirtualThermostat::OutputReportId, lo(tl), hi(tl), lo(th), hi(th),
            static_cast<std::uint8_t>(mode),   200,    201};
}

int reportedLow(VirtualThermostat &t)
{
    const std::vector<std::uint8_t> a = t.inputReport();
    return static_cast<std::int16_t>(a[3] | (a[4] << 8));
}

TEST(Simulation, WhatOneProcessWritesTheOthersRead)
{
    QTemporaryDir runtime;
    ASSERT_TRUE(runtime.isValid());
    QProcessEnvironment env;
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    env.insert(QStringLiteral("CALIDORCTL_SIMULATE_THERMOSTATS"), QStringLiteral("2"));
    Simulation service(env), command(env);
    const QStringList paths = service.transport()->paths();
    VirtualThermostat &served1 = *service.transport()->thermostat(paths[0]);
    VirtualThermostat &served2 = *service.transport()->thermostat(paths[1]);
    VirtualThermostat &set1 = *command.transport()->thermostat(command.transport()->paths()[0]);
    EXPECT_EQ(reportedLow(served1), 180); // as it left the factory

    ASSERT_TRUE(set1.acceptOutputReport(reportB(-125, 300, VirtualThermostat::ModeB)));
    EXPECT_EQ(reportedLow(served1), -125);
    EXPECT_EQ(served1.highThreshold(), 300);
    EXPECT_EQ(served1.mode(), VirtualThermostat::ModeB);
    EXPECT_EQ(reportedLow(served2), 180); // the other thermostat keeps its own

    // The service writes the second one; the first keeps what the command set.
    ASSERT_TRUE(served2.acceptOutputReport(reportB(50, 60, VirtualThermostat::ModeA)));
    EXPECT_EQ(reportedLow(*command.transport()->thermostat(command.transport()->paths()[1])), 50);
    EXPECT_EQ(reportedLow(set1), -125);
    QString error;
    EXPECT_TRUE(service.save(&error)) << error.toStdString();

    // A process started later finds them as they were left.
    Simulation later(env);
    EXPECT_EQ(reportedLow(*later.transport()->thermostat(later.transport()->paths()[0])), -125);
}

TEST(Simulation, ADamagedStateFileGivesNoValueTheThermostatCannotHold)
{
    QTemporaryDir runtime;
    QProcessEnvironment env;
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    QFile file(Simulation::stateFile(env));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("SIM0001 9999 220 65\nSIM0001 x 220 65\nSIM0001 150 220 67\ngarbage\n");
    file.close();
    Simulation simulation(env);
    VirtualThermostat &t = *simulation.transport()->thermostat(simulation.transport()->paths()[0]);
    EXPECT_EQ(reportedLow(t), 180);
    EXPECT_EQ(t.mode(), VirtualThermostat::ModeA);
}

} // namespace

TEST(Simulation, TheClockOfATestStartsWhereAskedAndRunsAtItsSpeed)
{
    for (const char *bad : {"1700000000", "x:10", "1700000000:0", "1700000000:-5", "-1:10", "1700000000:1e3"}) {
        QProcessEnvironment environment;
        environment.insert(QStringLiteral("CALIDORCTL_SIMULATE_CLOCK"), QString::fromLatin1(bad));
        QString error;
        EXPECT_FALSE(ServiceClock::simulateFrom(environment, &error)) << bad;
        EXPECT_TRUE(error.contains(QStringLiteral("START:SPEED"))) << error.toStdString();
    }
    const std::int64_t system = ServiceClock::nowMs();
    EXPECT_LT(std::abs(system - QDateTime::currentMSecsSinceEpoch()), 1000); // nothing set: the system's

    QProcessEnvironment environment;
    environment.insert(QStringLiteral("CALIDORCTL_SIMULATE_CLOCK"), QStringLiteral("1700000000:1000"));
    ASSERT_TRUE(ServiceClock::simulateFrom(environment, nullptr));
    const std::int64_t first = ServiceClock::nowMs();
    QThread::msleep(50);
    const std::int64_t later = ServiceClock::nowMs();
    EXPECT_EQ(ServiceClock::speed(), 1000);
    ServiceClock::useSystemClock();
    EXPECT_EQ(ServiceClock::speed(), 1);
    EXPECT_GE(first, 1700000000000);
    EXPECT_LT(first, 1700000000000 + 60000);
    EXPECT_GE(later - first, 50 * 1000); // 50 ms at a thousand times the pace
}
