#include "HidAgent.h"
#include "TSoftDet.h"
#include "VirtualThermostat.h"
#include "VirtualTransport.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

// The device model over the real HID component and the virtual thermostat:
// binding, writing report B, reading report A and following the relay.
namespace {

std::int16_t tenths(std::int32_t raw)
{
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(raw));
}

// Just the wiring the main window does for the device objects: a device per
// opened thermostat interface, close notices to every device, the one whose
// interface closed dropped and the others re-bound on their own interface.
class Rig
{
public:
    std::int64_t now = 0;
    std::shared_ptr<VirtualTransport> transport = std::make_shared<VirtualTransport>();
    std::shared_ptr<HidAgent> agent = std::make_shared<HidAgent>(transport);
    std::vector<std::shared_ptr<TSoftDet>> devices;
    std::vector<std::int32_t> reboundCounts;

    Rig()
    {
        agent->setVID_To_Match(2341);
        agent->setPID_To_Match(20480);
        agent->setSearchOnVID(true);
        agent->setSearchOnPID(true);
        QObject::connect(agent.get(), &HIDagentX::OnIntfOpened, [this] {
            auto device = std::make_shared<TSoftDet>();
            if (device->BindVars(agent) >= 0)
                devices.push_back(device);
        });
        QObject::connect(agent.get(), &HIDagentX::OnIntfClosed,
                         [this](std::int32_t stillOpen, const QString &name, std::int32_t handle) {
                             for (const auto &d : devices)
                                 d->HidClosed(nullptr, stillOpen, name, handle);
                             for (auto it = devices.begin(); it != devices.end();) {
                                 if ((*it)->HasHandle(handle)) {
                                     (*it)->Shutdown();
                                     it = devices.erase(it);
                                 } else {
                                     ++it;
                                 }
                             }
                             for (const auto &d : devices) {
                                 agent->SelectIntf(d->InTempVar()->HidHandle());
                                 reboundCounts.push_back(d->ReBind(agent));
                             }
                         });
        agent->Activate();
    }

    std::shared_ptr<VirtualThermostat> plug()
    {
        auto t = std::make_shared<VirtualThermostat>([this] { return now; }, 7);
        t->setNoiseAmplitude(0);
        transport->plug(t);
        return t;
    }
};

// Report B as the console sends it: TL, TH, mode and the two boot values.
void configure(TSoftDet &d, std::int32_t tl, std::int32_t th, std::int32_t mode)
{
    d.OutTempLowVar()->setUnScaledValue(tl);
    d.OutTempHighVar()->setUnScaledValue(th);
    d.OutModeRelayVar()->setUnScaledValue(mode);
    d.OutBootStatus()->setUnScaledValue(200);
    d.OutBootVar()->setUnScaledValue(201);
    ASSERT_TRUE(d.WriteAllReports());
}

TEST(DeviceEndToEnd, ThresholdsAndModeWrittenInReportBComeBackInReportA)
{
    Rig rig;
    auto thermostat = rig.plug();
    ASSERT_TRUE(rig.agent->OpenMatchingIntfs());
    ASSERT_EQ(rig.devices.size(), 1u);
    TSoftDet &d = *rig.devices.front();
    EXPECT_EQ(d.VariableCount(), 12);
    EXPECT_EQ(d.UnboundVarCount(), 0);
    EXPECT_GE(d.reportA(), 0);
    EXPECT_GE(d.reportB(), 0);
    EXPECT_NE(d.reportA(), d.reportB());

    configure(d, 65411, 200, 66); // -12.5 °C, +20.0 °C, mode B
    EXPECT_EQ(thermostat->lowThreshold(), -125);
    EXPECT_EQ(thermostat->highThreshold(), 200);
    EXPECT_EQ(thermostat->mode(), 66);
    EXPECT_EQ(thermostat->lastBootStatusWritten(), 200);
    EXPECT_EQ(thermostat->lastBootValueWritten(), 201);

    ASSERT_TRUE(d.ReadAllReports());
    EXPECT_EQ(d.InTempLowVar()->UnScaledValue(), 65411);
    EXPECT_EQ(d.InTempHighVar()->UnScaledValue(), 200);
    EXPECT_EQ(d.InModeStatus()->UnScaledValue(), 66);
    EXPECT_EQ(tenths(d.InTempVar()->UnScaledValue()), thermostat->temperature());
    EXPECT_EQ(d.InSondeStatus()->UnScaledValue(), VirtualThermostat::ProbeOk);
}

struct HysteresisCase
{
    std::int32_t mode;
    int ambient;      // where the temperature drifts with the relay on C-NC
    int loadTarget;   // where the load on C-NO drives it
};

class Hysteresis : public ::testing::TestWithParam<HysteresisCase>
{
};

// Reads report A every 100 ms of simulated time while the temperature swings
// between the load's target and the ambient, and checks every relay state
// read against the state before it.
TEST_P(Hysteresis, RelayStateReadFollowsTheThresholds)
{
    const HysteresisCase c = GetParam();
    constexpr int TL = -125;
    constexpr int TH = 200;
    Rig rig;
    auto thermostat = rig.plug();
    thermostat->setTimeConstantMs(5000);
    thermostat->setAmbient(c.ambient);
    if (c.mode == VirtualThermostat::ModeB)
        thermostat->setCoolerTarget(c.loadTarget);
    else
        thermostat->setHeaterTarget(c.loadTarget);
    ASSERT_TRUE(rig.agent->OpenMatchingIntfs());
    ASSERT_EQ(rig.devices.size(), 1u);
    TSoftDet &d = *rig.devices.front();
    configure(d, 65411, 200, c.mode);

    ASSERT_TRUE(d.ReadAllReports());
    std::int32_t relay = d.InTempSwitchVar()->UnScaledValue();
    int onSwitches = 0;
    int offSwitches = 0;
    int lowest = 10000;
    int highest = -10000;
    for (int tick = 0; tick < 600; ++tick) {
        rig.now += VirtualThermostat::StepMs;
        ASSERT_TRUE(d.ReadAllReports());
        const int t = tenths(d.InTempVar()->UnScaledValue());
        const std::int32_t next = d.InTempSwitchVar()->UnScaledValue();
        lowest = std::min(lowest, t);
        highest = std::max(highest, t);

        // Mode A heats on C-NO below TL until above TH; mode B cools on
        // C-NO above TH until below TL.
        std::int32_t expected = relay;
        if (c.mode == VirtualThermostat::ModeA) {
            if (relay == 0 && t < TL)
                expected = 1;
            else if (relay == 1 && t > TH)
                expected = 0;
        } else {
            if (relay == 0 && t > TH)
                expected = 1;
            else if (relay == 1 && t < TL)
                expected = 0;
        }
        ASSERT_EQ(next, expected) << "tick " << tick << ", temperature " << t << ", relay before " << relay;
        onSwitches += relay == 0 && next == 1;
        offSwitches += relay == 1 && next == 0;
        relay = next;

        EXPECT_EQ(d.InTempLowVar()->UnScaledValue(), 65411);
        EXPECT_EQ(d.InTempHighVar()->UnScaledValue(), 200);
        EXPECT_EQ(d.InModeStatus()->UnScaledValue(), c.mode);
    }
    // The run crossed both thresholds both ways, more than once.
    EXPECT_GE(onSwitches, 2);
    EXPECT_GE(offSwitches, 2);
    EXPECT_LT(lowest, TL);
    EXPECT_GT(highest, TH);
}

INSTANTIATE_TEST_SUITE_P(Modes, Hysteresis,
                         ::testing::Values(HysteresisCase{VirtualThermostat::ModeA, -300, 400},
                                           HysteresisCase{VirtualThermostat::ModeB, 300, -300}));

TEST(DeviceEndToEnd, UnpluggingOneThermostatDropsItsDeviceAndRebindsTheOther)
{
    Rig rig;
    auto first = rig.plug();
    auto second = rig.plug();
    ASSERT_TRUE(rig.agent->OpenMatchingIntfs());
    ASSERT_EQ(rig.devices.size(), 2u);
    auto survivor = rig.devices[1];
    const std::int32_t handle = survivor->InTempVar()->HidHandle();
    EXPECT_NE(rig.devices[0]->InTempVar()->HidHandle(), handle);
    const std::int32_t reportABefore = survivor->reportA();

    rig.transport->unplug(rig.transport->paths().front());
    QCoreApplication::processEvents(); // the component closes it from the event loop
    QCoreApplication::processEvents();
    ASSERT_EQ(rig.devices.size(), 1u);
    EXPECT_EQ(rig.devices.front(), survivor);
    EXPECT_EQ(rig.reboundCounts, std::vector<std::int32_t>{0});
    EXPECT_TRUE(survivor->HasHandle(handle));
    EXPECT_LT(survivor->reportA(), reportABefore) << "the closed interface's reports came first";

    configure(*survivor, 65411, 200, 66);
    EXPECT_EQ(second->mode(), 66);
    EXPECT_EQ(first->mode(), VirtualThermostat::ModeA);
    ASSERT_TRUE(survivor->ReadAllReports());
    EXPECT_EQ(survivor->InTempLowVar()->UnScaledValue(), 65411);
    EXPECT_EQ(survivor->InModeStatus()->UnScaledValue(), 66);
}

TEST(DeviceEndToEnd, AnotherVendorsInterfaceGetsNoDevice)
{
    Rig rig;
    auto other = rig.plug();
    other->setIdentity(0x0925, 0x5001, QStringLiteral("Autre"));
    rig.agent->setSearchOnPID(false);
    ASSERT_TRUE(rig.agent->OpenMatchingIntfs());
    EXPECT_TRUE(rig.devices.empty());
}

} // namespace
