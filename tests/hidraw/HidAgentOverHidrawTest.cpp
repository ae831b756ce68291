// The HID access component on top of the hidraw transport, with the
// thermostat played on a fake node: what the program sees at start-up with
// and without the device, on a read, a write and an unplug.
#include "FakeHidrawTree.h"
#include "HidAgent.h"
#include "HidrawTransport.h"
#include "VirtualThermostat.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

constexpr std::int32_t kVendorPage = 0xFF00;

class HidAgentOverHidraw : public ::testing::Test
{
protected:
    void SetUp() override
    {
        agent.setVID_To_Match(0x0925);
        agent.setPID_To_Match(0x5000);
        agent.setSearchOnVID(true);
        agent.setSearchOnPID(true);
        agent.Activate();
    }

    void plugThermostat()
    {
        FakeHidrawTree::UsbDevice d;
        const auto descriptor = VirtualThermostat::standardReportDescriptor();
        d.descriptor = QByteArray(reinterpret_cast<const char *>(descriptor.data()),
                                  static_cast<qsizetype>(descriptor.size()));
        node = &tree.addUsbDevice("hidraw1", d);
    }

    FakeHidrawTree tree;
    std::shared_ptr<HidrawTransport> transport = std::make_shared<HidrawTransport>(tree.options());
    HidAgent agent{transport};
    FakeNode *node = nullptr;
};

TEST_F(HidAgentOverHidraw, NothingPluggedInOpensNothing)
{
    // Another HID device is there, but not the thermostat.
    FakeHidrawTree::UsbDevice keyboard;
    keyboard.hidId = "0003:0000046D:0000C31C";
    tree.addUsbDevice("hidraw0", keyboard);

    QSignalSpy opened(&agent, &HIDagentX::OnIntfOpened);
    EXPECT_FALSE(agent.OpenMatchingIntfs());
    EXPECT_FALSE(agent.OpenMatchingIntfs()); // the retry box's OK: asked again, still nothing
    EXPECT_EQ(agent.OpenIntfCount(), 0);
    EXPECT_EQ(opened.count(), 0);
}

TEST_F(HidAgentOverHidraw, ReadsReportAAndWritesReportBThroughTheNode)
{
    plugThermostat();
    ASSERT_TRUE(agent.OpenMatchingIntfs());
    ASSERT_EQ(agent.OpenIntfCount(), 1);
    EXPECT_GE(agent.SelectOpenIntf(0), 0);
    EXPECT_EQ(agent.CurrentVID(), 0x0925);
    EXPECT_EQ(agent.CurrentPID(), 0x5000);

    const std::int32_t temp = agent.FindVar(kVendorPage, 1, HIDagentX::Input, true);
    const std::int32_t mode = agent.FindVar(kVendorPage, 5, HIDagentX::Input, true);
    ASSERT_GE(temp, 0);
    ASSERT_GE(mode, 0);

    // Report A: ID 1, temperature -5.5 °C, TL 18.0, TH 21.5 (16 bits, little
    // endian), relay 1, mode B, boot 0, probe 0. An older report is queued first.
    node->send({1, 0xFA, 0x00, 0xB4, 0x00, 0xD7, 0x00, 0, 65, 0, 0});
    node->send({1, 0xC9, 0xFF, 0xB4, 0x00, 0xD7, 0x00, 1, 66, 0, 0});
    agent.SelectRpt(agent.VarRptIndex(temp));
    ASSERT_TRUE(agent.ReadCurrentRpt());
    EXPECT_EQ(agent.VarUnScaledValue(temp), 0xFFC9);
    EXPECT_EQ(agent.VarUnScaledValue(mode), 66);

    const std::int32_t newTl = agent.FindVar(kVendorPage, 8, HIDagentX::Output, true);
    const std::int32_t newMode = agent.FindVar(kVendorPage, 10, HIDagentX::Output, true);
    ASSERT_GE(newTl, 0);
    ASSERT_GE(newMode, 0);
    agent.SetVarUnScaledValue(newTl, 0xFDDA); // -55.0 °C
    agent.SetVarUnScaledValue(newMode, 65);
    agent.SelectRpt(agent.VarRptIndex(newTl));
    ASSERT_TRUE(agent.WriteCurrentRpt());
    const Bytes written = node->receive(1 + VirtualThermostat::OutputPayloadBytes);
    ASSERT_EQ(written.size(), 8u);
    EXPECT_EQ(written[0], VirtualThermostat::OutputReportId);
    EXPECT_EQ(written[1], 0xDA);
    EXPECT_EQ(written[2], 0xFD);
    EXPECT_EQ(written[5], 65);
}

TEST_F(HidAgentOverHidraw, UnpluggingTheOpenThermostatClosesItsInterfaceOnce)
{
    plugThermostat();
    transport->enumerate();
    ASSERT_TRUE(agent.OpenMatchingIntfs());
    const std::int32_t temp = agent.FindVar(kVendorPage, 1, HIDagentX::Input, true);
    ASSERT_GE(temp, 0);
    agent.SelectRpt(agent.VarRptIndex(temp));

    QSignalSpy closed(&agent, &HIDagentX::OnIntfClosed);
    QSignalSpy disconnected(&agent, &HIDagentX::OnDeviceDisconnected);

    // The read notices the hang-up before the removal is announced.
    tree.remove("hidraw1");
    EXPECT_FALSE(agent.ReadCurrentRpt());
    transport->rescan();
    for (int i = 0; i < 10; ++i)
        QCoreApplication::processEvents();

    EXPECT_EQ(closed.count(), 1);
    EXPECT_EQ(disconnected.count(), 1);
    EXPECT_EQ(agent.OpenIntfCount(), 0);
    EXPECT_FALSE(agent.OpenMatchingIntfs());
}

} // namespace
