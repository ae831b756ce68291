// The component over virtual thermostats: opening, numbering, variables,
// transfers, and every event with its parameters.
#include "HidAgent.h"

#include "ErrorRecord.h"
#include "VirtualThermostat.h"
#include "VirtualTransport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <gtest/gtest.h>
#include <memory>
#include <set>

namespace {

constexpr int VendorPage = 0xFF00;

class HidAgentTest : public testing::Test
{
protected:
    HidAgentTest() : transport(std::make_shared<VirtualTransport>()), agent(transport)
    {
        agent.setVID_To_Match(0x0925);
        agent.setPID_To_Match(0x5000);
        agent.setSearchOnVID(true);
        agent.setSearchOnPID(true);
    }

    std::shared_ptr<VirtualThermostat> makeThermostat(int temperature = 200)
    {
        auto t = std::make_shared<VirtualThermostat>([this] { return now; }, 5);
        t->setNoiseAmplitude(0);
        t->setTemperature(temperature);
        return t;
    }

    QString plugThermostat(int temperature = 200) { return transport->plug(makeThermostat(temperature)); }

    std::int32_t var(int usage)
    {
        return agent.FindVar(VendorPage, usage, usage <= 7 ? HIDagentX::Input : HIDagentX::Output, true);
    }

    bool readA()
    {
        agent.SelectRpt(agent.VarRptIndex(var(1)));
        return agent.ReadCurrentRpt();
    }

    bool writeB()
    {
        agent.SelectRpt(agent.VarRptIndex(var(8)));
        return agent.WriteCurrentRpt();
    }

    static void settle() { QCoreApplication::processEvents(); }

    std::int64_t now = 0;
    std::shared_ptr<VirtualTransport> transport;
    HidAgent agent;
};

template <typename F> void expectError(F &&call, std::int32_t code, const char *source)
{
    try {
        call();
        ADD_FAILURE() << "no error raised by " << source;
    } catch (const ErrorRecord &e) {
        EXPECT_EQ(e.code(), code);
        EXPECT_EQ(e.source(), QString::fromLatin1(source));
        EXPECT_FALSE(e.description().isEmpty());
    }
}

} // namespace

TEST_F(HidAgentTest, OpensTheThermostatAndNamesIt)
{
    const QString path = plugThermostat();
    QSignalSpy opened(&agent, &HIDagentX::OnIntfOpened);
    ASSERT_TRUE(agent.OpenMatchingIntfs());
    ASSERT_EQ(opened.count(), 1);
    EXPECT_EQ(opened[0][0].toInt(), 0);
    EXPECT_EQ(opened[0][1].toInt(), 0);
    EXPECT_EQ(opened[0][2].toInt(), 1);
    EXPECT_EQ(opened[0][3].toString(), QStringLiteral("Calidor QN52-W (virtuel) (%1)").arg(path));
    EXPECT_EQ(agent.OpenIntfCount(), 1);
    EXPECT_EQ(agent.AllVarCount(), 12);
    EXPECT_EQ(agent.AllRptCount(), 2);

    // Already open: a second call opens nothing more and still answers true.
    EXPECT_TRUE(agent.OpenMatchingIntfs());
    EXPECT_EQ(opened.count(), 1);
    EXPECT_EQ(transport->openCount(), 1);

    const std::int32_t handle = agent.SelectOpenIntf(0);
    EXPECT_EQ(agent.CurrentIntfHandle(), handle);
    EXPECT_EQ(agent.CurrentVID(), 2341);
    EXPECT_EQ(agent.CurrentPID(), 20480);
}

TEST_F(HidAgentTest, OpensOnlyWhatMatchesTheSearch)
{
    EXPECT_FALSE(agent.OpenMatchingIntfs()); // nothing plugged

    auto other = makeThermostat();
    other->setIdentity(0x0925, 0x5001, QStringLiteral("Autre"));
    transport->plug(other);
    QSignalSpy opened(&agent, &HIDagentX::OnIntfOpened);
    EXPECT_FALSE(agent.OpenMatchingIntfs());
    EXPECT_EQ(opened.count(), 0);

    agent.setSearchOnPID(false);
    EXPECT_TRUE(agent.OpenMatchingIntfs());
    EXPECT_EQ(opened.count(), 1);
    agent.SelectOpenIntf(0);
    EXPECT_EQ(agent.CurrentPID(), 0x5001);
}

TEST_F(HidAgentTest, NoCurrentInterfaceBeforeSelection)
{
    plugThermostat();
    ASSERT_TRUE(agent.OpenMatchingIntfs());
    HidAgent fresh(transport);
    expectError([&] { fresh.CurrentVID(); }, HidAgent::ErrNoCurrentIntf, "HIDagentX:CurrentVID");
    expectError([&] { fresh.CurrentIntfHandle(); }, HidAgent::ErrNoCurrentIntf,
                "HIDagentX:CurrentIntfHandle");
}

TEST_F(HidAgentTest, FindsEveryVariableWithItsAttributes)
{
    plugThermostat();
    ASSERT_TRUE(agent.OpenMatchingIntfs());
    agent.SelectOpenIntf(0);
    const std::int32_t reportA = agent.VarRptIndex(var(1));
    const std::int32_t reportB = agent.VarRptIndex(var(8));
    EXPECT_NE(reportA, reportB);
    for (int usage = 1; usage <= 12; ++usage) {
        SCOPED_TRACE(usage);
        const std::int32_t index = var(usage);
        ASSERT_EQ(index, usage - 1); // descriptor order
        EXPECT_EQ(agent.VarRptIndex(index), usage <= 7 ? reportA : reportB);
        EXPECT_FALSE(agent.VarIsButton(index));
        agent.SelectVar(index);
        const bool wide = usage <= 3 || usage == 8 || usage == 9;
        EXPECT_EQ(agent.SizeInBits(), wide ? 16 : 8);
        EXPECT_EQ(agent.LogicalMinimum(), 0);
        EXPECT_EQ(agent.LogicalMaximum(), wide ? 65535 : 255);
        EXPECT_EQ(agent.PhysicalMinimum(), 0);
        EXPECT_EQ(agent.PhysicalMaximum(), wide ? 65535 : 255);
        EXPECT_TRUE(agent.AbsoluteNotRelative());
        EXPECT_FALSE(agent.ArrayNotVariable());
        EXPECT_TRUE(agent.BitsNotBuffer());
        EXPECT_FALSE(agent.HasNullState());
        EXPECT_TRUE(agent.Linear());
        EXPECT_FALSE(agent.NoPrefState());
        EXPECT_TRUE(agent.NoWrap());
        EXPECT_FALSE(agent.Volatile());
        EXPECT_TRUE(agent.StringDescriptor().isEmpty());
    }
    // Wrong report type, page or usage: not found.
    EXPECT_LT(agent.FindVar(VendorPage, 1, HIDagentX::Output, true), 0);
    EXPECT_LT(agent.FindVar(VendorPage, 8, HIDagentX::Input, true), 0);
    EXPECT_LT(agent.FindVar(VendorPage, 13, HIDagentX::Input, true), 0);
    EXPECT_LT(agent.FindVar(0xFF01, 1, HIDagentX::Input, true), 0);
    EXPECT_LT(agent.FindVar(VendorPage, 1, 7, true), 0);
}

TEST_F(HidAgentTest, NamesAndScaleModes)
{
    plugThermostat();
    ASSERT_TRUE(agent.OpenMatchingIntfs());
    agent.SetVarName(3, QStringLiteral("InTempSwitchVar"));
    EXPECT_EQ(agent.VarName(3), QStringLiteral("InTempSwitchVar"));
    agent.SelectVar(3);
    EXPECT_EQ(agent.VarScaleMode(), HIDagentX::smBoth);
    agent.SetVarScaleMode(HIDagentX::smUnscaledOnly);
    EXPECT_EQ(agent.VarScaleMode(), HIDagentX::smUnscaledOnly);
    agent.SelectVar(4);
    EXPECT_EQ(agent.VarScaleMode(), HIDagentX::smBoth) << "the mode belongs to one variable";
    expectError([&] { agent.SetVarScaleMode(3); }, HidAgent::ErrBadScaleMode, "HIDagentX:SetVarScaleMode");
    EXPECT_EQ(agent.VarScaleMode(), HIDagentX::smBoth);
}

TEST_F(HidAgentTest, ReadsReportA)
{
    const QString path = plugThermostat(-125);
    ASSERT_TRUE(agent.OpenMatchingIntfs());
    EXPECT_EQ(agent.VarUnScaledValue(var(2)), 0) << "nothing read yet";
    ASSERT_TRUE(readA());
    EXPECT_EQ(agent.VarUnScaledValue(var(1)), 65411); // -12.5 °C
    EXPECT_EQ(agent.VarScaledValue(var(1)), 65411);   // physical range = logical range
    EXPECT_EQ(agent.VarUnScaledValue(var(2)), 180);
    EXPECT_EQ(agent.VarUnScaledValue(var(3)), 220);
    EXPECT_EQ(agent.VarUnScaledValue(var(4)), 1); // below TL in mode A: C-NO
    EXPECT_EQ(agent.VarUnScaledValue(var(5)), 65);
    EXPECT_EQ(agent.VarUnScaledValue(var(6)), 0);
    EXPECT_EQ(agent.VarUnScaledValue(var(7)), 0);

    transport->thermostat(path)->injectProbeStatus(VirtualThermostat::ProbeMissing);
    ASSERT_TRUE(readA());
    EXPECT_EQ(agent.VarUnScaledValue(var(7)), 2);
    EXPECT_EQ(agent.VarUnScaledValue(var(4)), 0);
}

TEST_F(HidAgentTest, WritesReportBAndReadsTheSettingsBack)
{
    const QString path = plugThermostat();
    ASSERT_TRUE(agent.OpenMatchingIntfs());
    agent.SetVarUnScaledValue(var(8), 65411); // TL -12.5 °C
    agent.SetVarUnScaledValue(var(9), 200);   // TH +20.0 °C
    agent.SetVarUnScaledValue(var(10), 66);   // mode B
    agent.SetVarUnScaledValue(var(11), 200);
    agent.SetVarUnScaledValue(var(12), 201);
    EXPECT_EQ(agent.VarUnScaledValue(var(8)), 65411) << "the copy holds what was set";
    ASSERT_TRUE(writeB());

    const auto t = transport->thermostat(path);
    EXPECT_EQ(t->lowThreshold(), -125);
    EXPECT_EQ(t->highThreshold(), 200);
    EXPECT_EQ(t->mode(), VirtualThermostat::ModeB);
    EXPECT_EQ(t->lastBootStatusWritten(), 200);
    EXPECT_EQ(t->lastBootValueWritten(), 201);

    ASSERT_TRUE(readA());
    EXPECT_EQ(agent.VarUnScaledValue(var(2)), 65411);
    EXPECT_EQ(agent.VarUnScaledValue(var(3)), 200);
    EXPECT_EQ(agent.VarUnScaledValue(var(5)), 66);
}

TEST_F(HidAgentTest, SignedWritesAreStoredAsTwosComplement)
{
    const QString path = plugThermostat();
    ASSERT_TRUE(agent.OpenMatchingIntfs());
    agent.SetVarUnScaledValue(var(8), -550);
    agent.SetVarUnScaledValue(var(9), 1250);
    agent.SetVarUnScaledValue(var(10), 65);
    ASSERT_TRUE(writeB());
    EXPECT_EQ(transport->thermostat(path)->lowThreshold(), -550);
    ASSERT_TRUE(readA());
    EXPECT_EQ(agent.VarUnScaledValue(var(2)), 64986);
}

TEST_F(HidAgentTest, DirectionAndFailuresOfTransfers)
{
    const QString path = plugThermostat();
    ASSERT_TRUE(agent.OpenMatchingIntfs());
    const auto t = transport->thermostat(path);
    const std::int32_t a = agent.VarRptIndex(var(1));
    const std::int32_t b = agent.VarRptIndex(var(8));

    agent.SelectRpt(a);
    EXPECT_FALSE(agent.WriteCurrentRpt()) << "an input report cannot be written";
    agent.SelectRpt(b);
    EXPECT_FALSE(agent.ReadCurrentRpt()) << "an output report cannot be read";
    EXPECT_EQ(t->inputReportsSent(), 0);

    ASSERT_TRUE(readA());
    t->setTemperature(300);
    t->setStallReads(true);
    EXPECT_FALSE(readA());
    EXPECT_EQ(agent.VarUnScaledValue(var(1)), 200) << "a failed read leaves the copy alone";
    t->setStallReads(false);
    ASSERT_TRUE(readA());
    EXPECT_EQ(agent.VarUnScaledValue(var(1)), 300);

    t->setFailWrites(true);
    agent.SetVarUnScaledValue(var(8), 100);
    EXPECT_FALSE(writeB());
    EXPECT_EQ(t->outputReportsAccepted(), 0);
    t->setFailWrites(false);
    EXPECT_TRUE(writeB());
    EXPECT_EQ(t->outputReportsAccepted(), 1);
}

TEST_F(HidAgentTest, StalledReadWaitsForTheTimeOut)
{
    const QString path = plugThermostat();
    ASSERT_TRUE(agent.OpenMatchingIntfs());
    transport->setRealStall(true);
    transport->thermostat(path)->setStallReads(true);
    agent.setTimeOut(30);
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(readA());
    EXPECT_GE(timer.elapsed(), 25); // the time-out setting reached the connection
}

TEST_F(HidAgentTest, ReportEventsOnlyWhenVerbose)
{
    plugThermostat();
    ASSERT_TRUE(agent.OpenMatchingIntfs());
    QSignalSpy selected(&agent, &HIDagentX::OnRptSelected);
    QSignalSpy arrived(&agent, &HIDagentX::OnRptArrived);
    ASSERT_TRUE(readA());
    agent.setCurrentRptNum(1);
    EXPECT_EQ(selected.count(), 0);
    EXPECT_EQ(arrived.count(), 0);

    agent.setVerbose(true);
    agent.setCurrentRptNum(1);
    ASSERT_EQ(selected.count(), 1);
    EXPECT_EQ(selected[0][0].toInt(), 1);
    ASSERT_TRUE(readA());
    ASSERT_EQ(selected.count(), 2);
    EXPECT_EQ(selected[1][0].toInt(), 0);
    ASSERT_EQ(arrived.count(), 1);
    EXPECT_EQ(arrived[0][0].toInt(), 0);
    EXPECT_EQ(arrived[0][1].toInt(), 0);
    EXPECT_EQ(agent.CurrentRptNum(), 0);
}

TEST_F(HidAgentTest, OutOfRangeCallsRaiseErrorRecords)
{
    plugThermostat();
    ASSERT_TRUE(agent.OpenMatchingIntfs());
    expectError([&] { agent.SelectVar(12); }, HidAgent::ErrVarIndexOutOfRange, "HIDagentX:SelectVar");
    expectError([&] { agent.SelectVar(-1); }, HidAgent::ErrVarIndexOutOfRange, "HIDagentX:SelectVar");
    expectError([&] { agent.VarUnScaledValue(40); }, HidAgent::ErrVarIndexOutOfRange,
                "HIDagentX:VarUnScaledValue");
    expectError([&] { agent.SetVarUnScaledValue(40, 1); }, HidAgent::ErrVarIndexOutOfRange,
                "HIDagentX:SetVarUnScaledValue");
    expectError([&] { agent.VarRptIndex(-3); }, HidAgent::ErrVarIndexOutOfRange, "HIDagentX:VarRptIndex");
    expectError([&] { agent.VarIsButton(12); }, HidAgent::ErrVarIndexOutOfRange, "HIDagentX:VarIsButton");
    expectError([&] { agent.SetVarName(12, QString()); }, HidAgent::ErrVarIndexOutOfRange,
                "HIDagentX:SetVarName");
    expectError([&] { agent.SelectOpenIntf(1); }, HidAgent::ErrIntfPositionOutOfRange,
                "HIDagentX:SelectOpenIntf");
    expectError([&] { agent.SelectIntf(-7); }, HidAgent::ErrUnknownHandle, "HIDagentX:SelectIntf");
    expectError([&] { agent.SelectRpt(2); }, HidAgent::ErrRptIndexOutOfRange, "HIDagentX:SelectRpt");
    expectError([&] { agent.setCurrentRptNum(-1); }, HidAgent::ErrRptIndexOutOfRange,
                "HIDagentX:CurrentRptNum");
    expectError([&] { agent.LogicalMaximum(); }, HidAgent::ErrNoCurrentVar, "HIDagentX:LogicalMaximum");
    expectError([&] { agent.Volatile(); }, HidAgent::ErrNoCurrentVar, "HIDagentX:Volatile");
    expectError([&] { agent.VarScaleMode(); }, HidAgent::ErrNoCurrentVar, "HIDagentX:VarScaleMode");
    // No report selected yet: a transfer simply fails.
    EXPECT_EQ(agent.CurrentRptNum(), -1);
    EXPECT_FALSE(agent.ReadCurrentRpt());
    EXPECT_FALSE(agent.WriteCurrentRpt());
}

TEST_F(HidAgentTest, GoneClosesTheInterfaceFromTheEventLoopOnce)
{
    const QString path = plugThermostat();
    ASSERT_TRUE(agent.OpenMatchingIntfs());
    const std::int32_t handle = agent.SelectOpenIntf(0);
    const QString name = agent.IntfName(0);
    QSignalSpy closed(&agent, &HIDagentX::OnIntfClosed);
    const std::int32_t a = agent.VarRptIndex(var(1));
    const std::int32_t b = agent.VarRptIndex(var(8));

    ASSERT_TRUE(transport->unplug(path, false)); // no removal notice yet
    agent.SelectRpt(a);
    EXPECT_FALSE(agent.ReadCurrentRpt());
    EXPECT_EQ(closed.count(), 0) << "never inside the read the caller is in";
    EXPECT_EQ(agent.OpenIntfCount(), 1) << "numbers stay valid until the event loop runs";
    EXPECT_EQ(agent.VarUnScaledValue(2), 0);
    EXPECT_LT(var(1), 0) << "a gone interface offers no variable to bind";
    EXPECT_FALSE(agent.ReadCurrentRpt());
    agent.SelectRpt(b);
    EXPECT_FALSE(agent.WriteCurrentRpt());

    settle();
    ASSERT_EQ(closed.count(), 1);
    EXPECT_EQ(closed[0][0].toInt(), 0);
    EXPECT_EQ(closed[0][1].toString(), name);
    EXPECT_EQ(closed[0][2].toInt(), handle);
    EXPECT_EQ(agent.OpenIntfCount(), 0);
    EXPECT_EQ(agent.AllVarCount(), 0);
    expectError([&] { agent.CurrentIntfHandle(); }, HidAgent::ErrNoCurrentIntf,
                "HIDagentX:CurrentIntfHandle");

    settle();
    EXPECT_EQ(closed.count(), 1);
}

TEST_F(HidAgentTest, GoneOnWriteAndLateRemovalNoticeCloseOnce)
{
    const QString path = plugThermostat();
    agent.Activate();
    ASSERT_TRUE(agent.OpenMatchingIntfs());
    QSignalSpy closed(&agent, &HIDagentX::OnIntfClosed);
    QSignalSpy disconnected(&agent, &HIDagentX::OnDeviceDisconnected);
    agent.SelectRpt(agent.VarRptIndex(var(8)));
    ASSERT_TRUE(transport->unplug(path, false));
    EXPECT_FALSE(agent.WriteCurrentRpt());
    emit transport->deviceRemoved(path); // the system's notice, late
    EXPECT_EQ(disconnected.count(), 1);
    settle();
    EXPECT_EQ(closed.count(), 1);
}

TEST_F(HidAgentTest, PlugAndUnplugRaiseConnectionEventsAfterActivate)
{
    QSignalSpy connected(&agent, &HIDagentX::OnDeviceConnected);
    QSignalSpy disconnected(&agent, &HIDagentX::OnDeviceDisconnected);
    QSignalSpy closed(&agent, &HIDagentX::OnIntfClosed);
    const QString early = plugThermostat();
    EXPECT_EQ(connected.count(), 0) << "no events before Activate";

    agent.Activate();
    auto other = makeThermostat();
    other->setIdentity(0x1234, 0x0001, QString());
    const QString otherPath = transport->plug(other);
    ASSERT_EQ(connected.count(), 1);
    EXPECT_EQ(connected[0][0].toInt(), 1) << "only matching devices are counted";
    EXPECT_EQ(connected[0][1].toString(), QStringLiteral("HID 1234:0001 (%1)").arg(otherPath));

    const QString path = plugThermostat();
    ASSERT_EQ(connected.count(), 2);
    EXPECT_EQ(connected[1][0].toInt(), 2);
    EXPECT_EQ(connected[1][1].toString(), QStringLiteral("Calidor QN52-W (virtuel) (%1)").arg(path));

    ASSERT_TRUE(agent.OpenMatchingIntfs());
    ASSERT_EQ(agent.OpenIntfCount(), 2);
    const std::int32_t handle = agent.SelectOpenIntf(1);

    ASSERT_TRUE(transport->unplug(path));
    ASSERT_EQ(disconnected.count(), 1);
    EXPECT_EQ(disconnected[0][0].toInt(), 1);
    EXPECT_EQ(disconnected[0][1].toString(), QStringLiteral("Calidor QN52-W (virtuel) (%1)").arg(path));
    EXPECT_EQ(closed.count(), 0);
    settle();
    ASSERT_EQ(closed.count(), 1);
    EXPECT_EQ(closed[0][0].toInt(), 1);
    EXPECT_EQ(closed[0][2].toInt(), handle);
    EXPECT_EQ(agent.OpenIntfCount(), 1);
    EXPECT_EQ(agent.IntfName(0), QStringLiteral("Calidor QN52-W (virtuel) (%1)").arg(early));

    // A device that was never open: disconnected, but nothing to close.
    ASSERT_TRUE(transport->unplug(otherPath));
    EXPECT_EQ(disconnected.count(), 2);
    settle();
    EXPECT_EQ(closed.count(), 1);
}

TEST_F(HidAgentTest, TwoThermostatsAreNumberedInOpeningOrder)
{
    const QString first = plugThermostat(150);
    const QString second = plugThermostat(250);
    // The way the program binds: each opened interface becomes current and
    // its variables are looked up at once, inside the event.
    std::vector<std::int32_t> foundTemp;
    QObject::connect(&agent, &HIDagentX::OnIntfOpened,
                     [&](std::int32_t, std::int32_t, std::int32_t n, const QString &) {
                         agent.SelectOpenIntf(n - 1);
                         foundTemp.push_back(agent.FindVar(VendorPage, 1, HIDagentX::Input, false));
                     });
    ASSERT_TRUE(agent.OpenMatchingIntfs());
    ASSERT_EQ(agent.OpenIntfCount(), 2);
    EXPECT_EQ(foundTemp, (std::vector<std::int32_t>{0, 12}));
    EXPECT_EQ(agent.AllVarCount(), 24);
    EXPECT_EQ(agent.AllRptCount(), 4);
    EXPECT_EQ(agent.VarRptIndex(12), 2);
    EXPECT_EQ(agent.VarRptIndex(19), 3);
    const std::int32_t h1 = agent.SelectOpenIntf(0);
    const std::int32_t h2 = agent.SelectOpenIntf(1);
    EXPECT_NE(h1, h2);

    // Current interface first; the others after it only on request.
    EXPECT_EQ(agent.FindVar(VendorPage, 1, HIDagentX::Input, true), 12);
    agent.SelectIntf(h1);
    EXPECT_EQ(agent.FindVar(VendorPage, 8, HIDagentX::Output, false), 7);
    // SelectVar makes the variable's interface current.
    agent.SelectVar(13);
    EXPECT_EQ(agent.CurrentIntfHandle(), h2);

    agent.SelectRpt(0);
    ASSERT_TRUE(agent.ReadCurrentRpt());
    agent.SelectRpt(2);
    ASSERT_TRUE(agent.ReadCurrentRpt());
    EXPECT_EQ(agent.VarUnScaledValue(0), 150);
    EXPECT_EQ(agent.VarUnScaledValue(12), 250);

    // Closing the first renumbers the second from 0.
    ASSERT_TRUE(transport->unplug(first));
    settle();
    ASSERT_EQ(agent.OpenIntfCount(), 1);
    EXPECT_EQ(agent.SelectOpenIntf(0), h2);
    EXPECT_EQ(agent.AllVarCount(), 12);
    EXPECT_EQ(agent.FindVar(VendorPage, 1, HIDagentX::Input, false), 0);
    EXPECT_EQ(agent.VarUnScaledValue(0), 250);
    EXPECT_EQ(agent.VarRptIndex(0), 0);
    transport->thermostat(second)->setTemperature(260);
    agent.SelectRpt(0);
    ASSERT_TRUE(agent.ReadCurrentRpt());
    EXPECT_EQ(agent.VarUnScaledValue(0), 260);
}

TEST_F(HidAgentTest, FindVarLeavesTheCurrentInterfaceOnlyWhenAskedTo)
{
    plugThermostat();
    auto bare = makeThermostat();
    bare->setReportDescriptor({0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0xC0}); // the ids, no variables
    transport->plug(bare);
    ASSERT_TRUE(agent.OpenMatchingIntfs());
    ASSERT_EQ(agent.OpenIntfCount(), 2);
    struct Row
    {
        int current; // open position, -1: none
        bool searchAll;
        std::int32_t expected;
    };
    const Row rows[] = {{-1, false, -1}, {-1, true, 0}, {0, false, 0}, {1, false, -1}, {1, true, 0}};
    for (const Row &r : rows) {
        SCOPED_TRACE(testing::Message() << r.current << (r.searchAll ? " all" : " current"));
        if (r.current >= 0)
            agent.SelectOpenIntf(r.current);
        EXPECT_EQ(agent.FindVar(VendorPage, 1, HIDagentX::Input, r.searchAll), r.expected);
    }
}

TEST_F(HidAgentTest, CloseAllRaisesOneEventPerInterface)
{
    plugThermostat();
    plugThermostat();
    ASSERT_TRUE(agent.OpenMatchingIntfs());
    const std::int32_t h1 = agent.SelectOpenIntf(0);
    const std::int32_t h2 = agent.SelectOpenIntf(1);
    const QString n1 = agent.IntfName(0), n2 = agent.IntfName(1);

    // Handlers see a consistent component: the closed one is already gone.
    std::vector<std::int32_t> seenOpen;
    QObject::connect(&agent, &HIDagentX::OnIntfClosed,
                     [&](std::int32_t still, const QString &, std::int32_t) {
                         seenOpen.push_back(agent.OpenIntfCount());
                         if (still > 0)
                             agent.SelectIntf(agent.SelectOpenIntf(0));
                     });
    QSignalSpy closed(&agent, &HIDagentX::OnIntfClosed);
    agent.CloseAllIntfs();
    ASSERT_EQ(closed.count(), 2);
    EXPECT_EQ(closed[0][0].toInt(), 1);
    EXPECT_EQ(closed[0][1].toString(), n1);
    EXPECT_EQ(closed[0][2].toInt(), h1);
    EXPECT_EQ(closed[1][0].toInt(), 0);
    EXPECT_EQ(closed[1][1].toString(), n2);
    EXPECT_EQ(closed[1][2].toInt(), h2);
    EXPECT_EQ(seenOpen, (std::vector<std::int32_t>{1, 0}));
    EXPECT_EQ(agent.OpenIntfCount(), 0);
    EXPECT_EQ(agent.AllRptCount(), 0);
    agent.CloseAllIntfs();
    EXPECT_EQ(closed.count(), 2);
}

TEST_F(HidAgentTest, ABadDescriptorIsNotOpenedAndSaysWhy)
{
    auto broken = makeThermostat();
    broken->setReportDescriptor({0x06, 0x00, 0xFF, 0xA1, 0x01, 0xB4}); // Pop with nothing pushed
    const QString path = transport->plug(broken);
    QSignalSpy messages(&agent, &HIDagentX::OnAgentMessage);
    QSignalSpy opened(&agent, &HIDagentX::OnIntfOpened);
    EXPECT_FALSE(agent.OpenMatchingIntfs());
    EXPECT_EQ(opened.count(), 0);
    EXPECT_EQ(transport->openCount(), 0);
    ASSERT_EQ(messages.count(), 1);
    const QString text = messages[0][0].toString();
    EXPECT_TRUE(text.contains(path));
    EXPECT_TRUE(text.contains(QStringLiteral("underflow")));

    // A good thermostat beside it still opens.
    plugThermostat();
    EXPECT_TRUE(agent.OpenMatchingIntfs());
    EXPECT_EQ(opened.count(), 1);
}

TEST_F(HidAgentTest, AnOpenFailureIsReported)
{
    plugThermostat();
    transport->setOpenFails(true);
    QSignalSpy messages(&agent, &HIDagentX::OnAgentMessage);
    EXPECT_FALSE(agent.OpenMatchingIntfs());
    ASSERT_EQ(messages.count(), 1);
    EXPECT_TRUE(messages[0][0].toString().contains(QStringLiteral("permission denied")));
    transport->setOpenFails(false);
    EXPECT_TRUE(agent.OpenMatchingIntfs());
}

TEST_F(HidAgentTest, AConnectionHandlerMayReopenAtOnce)
{
    agent.Activate();
    QObject::connect(&agent, &HIDagentX::OnDeviceConnected, [&] { agent.OpenMatchingIntfs(); });
    QSignalSpy opened(&agent, &HIDagentX::OnIntfOpened);
    plugThermostat();
    ASSERT_EQ(opened.count(), 1);
    EXPECT_EQ(opened[0][2].toInt(), 1);
    ASSERT_TRUE(readA());
}

namespace {

// Hands out the lowest free handle, as file descriptors are, and frees it when
// the connection is destroyed.
class RecyclingTransport : public HidTransport
{
public:
    struct Connection : HidConnection
    {
        Connection(RecyclingTransport &t, std::int32_t h) : owner(t), h(h) {}
        ~Connection() override { owner.inUse.erase(h); }
        std::int32_t handle() const override { return h; }
        HidIoStatus readInputReport(std::uint8_t, std::vector<std::uint8_t> &, int) override
        {
            return owner.gone.count(h) ? HidIoStatus::Gone : HidIoStatus::Timeout;
        }
        HidIoStatus writeOutputReport(const std::vector<std::uint8_t> &) override
        {
            return HidIoStatus::Error;
        }
        HidIoStatus getFeatureReport(std::uint8_t, std::vector<std::uint8_t> &) override
        {
            return HidIoStatus::Error;
        }
        HidIoStatus setFeatureReport(const std::vector<std::uint8_t> &) override
        {
            return HidIoStatus::Error;
        }
        RecyclingTransport &owner;
        std::int32_t h;
    };

    std::vector<HidDeviceInfo> enumerate() override
    {
        std::vector<HidDeviceInfo> out;
        for (const QString &p : present)
            out.push_back(HidDeviceInfo{p, 0x0925, 0x5000, QStringLiteral("T"), QString(),
                                        VirtualThermostat::standardReportDescriptor(), QString(), QString()});
        return out;
    }
    std::unique_ptr<HidConnection> open(const QString &, QString *) override
    {
        std::int32_t h = 3;
        while (inUse.count(h))
            ++h;
        inUse.insert(h);
        return std::make_unique<Connection>(*this, h);
    }

    QStringList present;
    std::set<std::int32_t> inUse;
    std::set<std::int32_t> gone;
};

} // namespace

TEST(HidAgentHandles, AGoneInterfaceKeepsItsHandleUntilItIsClosed)
{
    auto transport = std::make_shared<RecyclingTransport>();
    HidAgent agent(transport);
    transport->present = {QStringLiteral("/dev/hidraw0")};
    ASSERT_TRUE(agent.OpenMatchingIntfs());
    const std::int32_t first = agent.SelectOpenIntf(0);

    transport->gone.insert(first);
    transport->present = {QStringLiteral("/dev/hidraw1")};
    agent.SelectRpt(0);
    EXPECT_FALSE(agent.ReadCurrentRpt());
    // Replugged before the event loop ran: the new interface must not reuse the handle
    // that the pending close is about to announce.
    ASSERT_TRUE(agent.OpenMatchingIntfs());
    ASSERT_EQ(agent.OpenIntfCount(), 2);
    const std::int32_t second = agent.SelectOpenIntf(1);
    EXPECT_NE(second, first);

    QSignalSpy closed(&agent, &HIDagentX::OnIntfClosed);
    QCoreApplication::processEvents();
    ASSERT_EQ(closed.count(), 1);
    EXPECT_EQ(closed[0][2].toInt(), first);
    EXPECT_EQ(agent.SelectOpenIntf(0), second);
}
