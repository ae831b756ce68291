#include "FormMainFixture.h"
#include "TSoftDet.h"

#include <QCheckBox>
#include <QPushButton>
#include <QTimer>

// The component's events, each with its exact log lines.
class ConnectionEvents : public FormMainTest
{
protected:
    void SetUp() override
    {
        loadWithThermostat();
        window->ClearBtn->setEnabled(true);
        window->ContinuousCB->setChecked(false);
        window->ClearBtn->click();
        doubles.beeper->reset();
        openCallsAtStart = agent->openCalls;
    }
    int openCallsAtStart = 0;
};

TEST_F(ConnectionEvents, InterfaceClosedForAHandleNobodyHolds)
{
    window->ContinuousCB->setChecked(true);
    emit agent->OnIntfClosed(2, QStringLiteral("Other device"), 0x1a2b);
    const QStringList expected = {
        QStringLiteral("+ + + Other device  (handle = 0x1A2B)  has just been CLOSED. + + + "),
        QStringLiteral("(There are now  2 HID interfaces open)"),
    };
    EXPECT_EQ(linesAfterHeader(), expected);
    EXPECT_EQ(doubles.beeper->beeps(), 1);
    EXPECT_EQ(window->Devices().size(), 1u);
    EXPECT_TRUE(window->ContinuousCB->isChecked());
    // The re-bind pass still ran for the remaining device.
    EXPECT_EQ(agent->selectedHandles, std::vector<std::int32_t>{0x101});
}

TEST_F(ConnectionEvents, NumbersFollowTheLogForm)
{
    emit agent->OnIntfClosed(0, QStringLiteral("X"), 0x101);
    emit agent->OnDeviceDisconnected(-1, QStringLiteral("Y"));
    const QStringList expected = {
        QStringLiteral("+ + + X  (handle = 0x101)  has just been CLOSED. + + + "),
        QStringLiteral("(There are now  0 HID interfaces open)"),
        QStringLiteral("+ + + Y has just been DISCONNECTED. + + +"),
        QStringLiteral("(There are now -1 HID interfaces connected)"),
    };
    EXPECT_EQ(linesAfterHeader(), expected);
}

TEST_F(ConnectionEvents, DeviceConnectedAfterStartReopens)
{
    emit agent->OnDeviceConnected(2, QStringLiteral("Calidor QN52-W (virtual:2)"));
    const QStringList expected = {
        QStringLiteral("+ + + Calidor QN52-W (virtual:2) has just been CONNECTED. + + +"),
        QStringLiteral("(There are now  2 HID interfaces connected)"),
    };
    EXPECT_EQ(linesAfterHeader(), expected);
    EXPECT_TRUE(window->statusText().endsWith(QStringLiteral("Calidor QN52-W (virtual:2) CONNECTED ")));
    EXPECT_EQ(agent->openCalls, openCallsAtStart + 1);
    EXPECT_EQ(doubles.beeper->beeps(), 1);
}

TEST_F(ConnectionEvents, DeviceDisconnectedOnlyLogs)
{
    emit agent->OnDeviceDisconnected(0, QStringLiteral("Calidor QN52-W (virtual:1)"));
    const QStringList expected = {
        QStringLiteral("+ + + Calidor QN52-W (virtual:1) has just been DISCONNECTED. + + +"),
        QStringLiteral("(There are now  0 HID interfaces connected)"),
    };
    EXPECT_EQ(linesAfterHeader(), expected);
    EXPECT_EQ(window->Devices().size(), 1u);
    EXPECT_EQ(doubles.beeper->beeps(), 1);
}

TEST_F(ConnectionEvents, AgentMessageGoesToLogAndStatus)
{
    const QString before = window->statusText();
    emit agent->OnAgentMessage(QStringLiteral("hello"));
    emit agent->OnAgentMessage(QStringLiteral("hello"));
    EXPECT_EQ(linesAfterHeader(), (QStringList{QStringLiteral("hello"), QStringLiteral("hello")}));
    EXPECT_EQ(window->statusText(), before + QStringLiteral("hellohello"));
    EXPECT_EQ(doubles.beeper->beeps(), 0);
}

TEST_F(ConnectionEvents, ReportArrivedAndSelected)
{
    emit agent->OnRptArrived(1, 3);
    emit agent->OnRptSelected(0);
    const QStringList expected = {
        QStringLiteral("+ + + A Report has just ARRIVED. + + +"),
        QStringLiteral("  Report num in current Interface =  1"),
        QStringLiteral("  Report num in global report list =  3"),
        QString(),
        QStringLiteral("+ + + A Report has just been SELECTED. + + +"),
        QStringLiteral("  Report num in global report list =  0"),
        QString(),
    };
    EXPECT_EQ(linesAfterHeader(), expected);
    EXPECT_EQ(doubles.beeper->beeps(), 0);
}

TEST_F(ConnectionEvents, OpenedInterfacesCompleteTheLastDeviceFirst)
{
    // A thermostat whose first interface carries only the input variables.
    const int partial = agent->plug(QStringLiteral("Input half"), 0x201);
    for (std::size_t k = 7; k < 12; ++k)
        agent->intf(partial).offers[k] = false;
    agent->OpenMatchingIntfs();
    ASSERT_EQ(window->Devices().size(), 2u);
    const std::shared_ptr<TSoftDet> last = window->LastDevice();
    EXPECT_EQ(last->UnboundVarCount(), 5);

    // The next interface completes it instead of starting a third device.
    const int rest = agent->plug(QStringLiteral("Output half"), 0x202);
    for (std::size_t k = 0; k < 7; ++k)
        agent->intf(rest).offers[k] = false;
    agent->OpenMatchingIntfs();
    EXPECT_EQ(window->Devices().size(), 2u);
    EXPECT_EQ(window->LastDevice(), last);
    EXPECT_EQ(last->UnboundVarCount(), 0);

    // Complete now: another interface makes a new device.
    agent->plug(QStringLiteral("Third"), 0x203);
    agent->OpenMatchingIntfs();
    EXPECT_EQ(window->Devices().size(), 3u);

    EXPECT_TRUE(lines().contains(QStringLiteral("+ + + Output half has just been OPENED. + + +")));
    EXPECT_TRUE(lines().contains(QStringLiteral("(There are now  3 HID interfaces open)")));
}

TEST_F(ConnectionEvents, AnInterfaceThatIsNoThermostatIsDropped)
{
    agent->plug(QStringLiteral("Keyboard"), 0x301, 0x0925, 0x1234);
    agent->setSearchOnPID(false); // so the component opens it at all
    agent->OpenMatchingIntfs();
    EXPECT_EQ(window->Devices().size(), 1u);
    EXPECT_TRUE(lines().contains(QStringLiteral("+ + + Keyboard has just been OPENED. + + +")));
}

TEST_F(ConnectionEvents, ClosingTheFirstOfTwoDevices)
{
    const int second = agent->plug(QStringLiteral("Second"), 0x102);
    agent->OpenMatchingIntfs();
    ASSERT_EQ(window->Devices().size(), 2u);
    const std::shared_ptr<TSoftDet> survivor = window->Devices()[1];
    window->ContinuousCB->setChecked(true);
    agent->selectedHandles.clear();

    agent->unplug(thermostat);
    ASSERT_EQ(window->Devices().size(), 1u);
    EXPECT_EQ(window->Devices()[0], survivor);
    EXPECT_FALSE(window->ContinuousCB->isChecked());
    EXPECT_FALSE(window->Timer1->isActive());
    // Re-bound to open interface 0, which is now the second device's.
    EXPECT_EQ(agent->selectedHandles, std::vector<std::int32_t>{agent->intf(second).handle});
    EXPECT_EQ(survivor->UnboundVarCount(), 0);
    EXPECT_TRUE(survivor->HasHandle(0x102));
}

TEST_F(ConnectionEvents, AFailureInsideAHandlerIsLoggedNotFatal)
{
    // Binding asks for an open interface the component does not have.
    agent->plug(QStringLiteral("Second"), 0x102);
    agent->OpenMatchingIntfs();
    agent->forgetOpenInterfaces(); // the component lost them without telling
    doubles.beeper->reset();
    emit agent->OnIntfOpened(0, 0, 1, QStringLiteral("Calidor QN52-W (virtual:3)"));
    const QStringList l = lines();
    ASSERT_FALSE(l.isEmpty());
    EXPECT_TRUE(l.last().startsWith(QStringLiteral("+ + + OnIntfOpened failed: ScriptedHidAgent")))
        << l.last().toStdString();
    EXPECT_EQ(doubles.beeper->beeps(), 2);
}
