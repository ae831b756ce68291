#include "DeviceConnection.h"

#include "AppInfo.h"
#include "ConsoleContext.h"
#include "MainWindowRules.h"
#include "TSoftDet.h"
#include "ThermoFormat.h"

using ThermoFormat::N;

DeviceConnection::DeviceConnection(std::shared_ptr<HIDagentX> agent, ConsoleContext &console, QObject *sender,
                                   std::function<void()> stopContinuousReading)
    : m_agent(std::move(agent)), m_console(console), m_sender(sender),
      m_stopContinuousReading(std::move(stopContinuousReading))
{
}

void DeviceConnection::beep()
{
    m_console.platform().beeper->beep();
}

void DeviceConnection::PrepareHidAgent()
{
    m_agent->setShowOperations(false);
    m_agent->setVerbose(false);
    m_agent->Activate();
}

bool DeviceConnection::OpenThermostat()
{
    for (;;) {
        m_agent->setVID_To_Match(VendorId);
        m_agent->setPID_To_Match(ProductId);
        m_agent->setSearchOnPID(true);
        m_agent->setSearchOnVID(true);
        if (m_agent->OpenMatchingIntfs())
            return true;
        const auto answer =
            m_console.platform().messageBoxes->askOkCancel(MainWindowRules::retryMessage(AppInfo::title()));
        if (answer == MessageBoxes::Answer::Cancel)
            return false;
    }
}

void DeviceConnection::CloseHidAgent()
{
    m_agent->CloseAllIntfs();
}

std::shared_ptr<TSoftDet> DeviceConnection::LastDevice() const
{
    if (m_Devices.empty())
        return nullptr;
    return m_Devices.back();
}

void DeviceConnection::OnIntfClosed(std::int32_t NumStillOpen, const QString &IntfName,
                                    std::int32_t AHidHandle)
{
    beep();
    m_console.AddToResults(QStringLiteral("+ + + ") + IntfName + QStringLiteral("  (handle = 0x") +
                           ThermoFormat::hex(AHidHandle) + QStringLiteral(")  has just been CLOSED. + + + "));
    m_console.AddToResults(QStringLiteral("(There are now ") + N(NumStillOpen) +
                           QStringLiteral(" HID interfaces open)"));

    for (std::size_t i = m_Devices.size(); i-- > 0;) {
        // Keep the object alive while we work on it, even once it has left
        // the collection.
        const std::shared_ptr<TSoftDet> device = m_Devices[i];
        device->HidClosed(m_sender, NumStillOpen, IntfName, AHidHandle);
        if (device->HasHandle(AHidHandle)) {
            device->Shutdown();
            m_Devices.erase(m_Devices.begin() + static_cast<std::ptrdiff_t>(i));
            if (m_stopContinuousReading)
                m_stopContinuousReading();
        }
    }

    // Each remaining device is re-bound on the interface it holds, wherever
    // that now stands among the open ones: an open interface that is no
    // device (one without variables) would shift positions. A device whose
    // interface is no longer listed is left as it is.
    const std::int32_t open = m_agent->OpenIntfCount();
    for (const std::shared_ptr<TSoftDet> &device : std::vector(m_Devices)) {
        for (std::int32_t position = 0; position < open; ++position) {
            const std::int32_t handle = m_agent->SelectOpenIntf(position);
            if (device->HasHandle(handle)) {
                m_agent->SelectIntf(handle);
                device->ReBind(m_agent);
                break;
            }
        }
    }
}

void DeviceConnection::OnDeviceConnected(std::int32_t NumConnected, const QString &Name)
{
    beep();
    m_console.AddToResults(QStringLiteral("+ + + ") + Name +
                           QStringLiteral(" has just been CONNECTED. + + +"));
    m_console.AddToResults_status(Name + QStringLiteral(" CONNECTED "));
    m_console.AddToResults(QStringLiteral("(There are now ") + N(NumConnected) +
                           QStringLiteral(" HID interfaces connected)"));
    // While starting up, the open-and-retry loop does the opening itself.
    if (!m_StartingUp)
        m_agent->OpenMatchingIntfs();
}

void DeviceConnection::OnDeviceDisconnected(std::int32_t NumConnected, const QString &Name)
{
    beep();
    m_console.AddToResults(QStringLiteral("+ + + ") + Name +
                           QStringLiteral(" has just been DISCONNECTED. + + +"));
    m_console.AddToResults(QStringLiteral("(There are now ") + N(NumConnected) +
                           QStringLiteral(" HID interfaces connected)"));
}

void DeviceConnection::OnAgentMessage(const QString &Text)
{
    m_console.AddToResults(Text);
    m_console.AddToResults_status(Text);
}

void DeviceConnection::OnIntfOpened(std::int32_t, std::int32_t, std::int32_t NumOpen, const QString &IntfName)
{
    beep();
    m_console.AddToResults(QStringLiteral("+ + + ") + IntfName +
                           QStringLiteral(" has just been OPENED. + + +"));
    m_console.AddToResults(QStringLiteral("(There are now ") + N(NumOpen) +
                           QStringLiteral(" HID interfaces open)"));

    // An incomplete last device takes the interface, unless the interface
    // repeats a variable it holds (another thermostat, which keeps its own
    // device and leaves the last one's missing variables unbound). Otherwise
    // the device left without variables by the interface before, or a new one.
    std::shared_ptr<TSoftDet> device = LastDevice();
    const bool reused = device && device->UnboundVarCount() != 0 && !device->HoldsVarOfLastIntf();
    if (!reused)
        device = m_unboundDevice ? m_unboundDevice : std::make_shared<TSoftDet>();

    const std::int32_t result = device->BindVars(m_agent);
    if (reused || result < 0)
        return;
    if (device->IsAllUnbound()) {
        m_unboundDevice = device; // nothing to read or write on this one yet
    } else {
        m_unboundDevice.reset();
        m_Devices.push_back(device);
    }
}

void DeviceConnection::OnRptArrived(std::int32_t RptIndexInIntf, std::int32_t AllRptIndex)
{
    m_console.AddToResults(QStringLiteral("+ + + A Report has just ARRIVED. + + +"));
    m_console.AddToResults(QStringLiteral("  Report num in current Interface = ") + N(RptIndexInIntf));
    m_console.AddToResults(QStringLiteral("  Report num in global report list = ") + N(AllRptIndex));
    m_console.AddToResults(QString());
    for (std::size_t i = m_Devices.size(); i-- > 0;) {
        const std::shared_ptr<TSoftDet> device = m_Devices[i];
        device->HidRptArrived(m_sender, RptIndexInIntf, AllRptIndex);
    }
}

void DeviceConnection::OnRptSelected(std::int32_t AllRptIndex)
{
    m_console.AddToResults(QStringLiteral("+ + + A Report has just been SELECTED. + + +"));
    m_console.AddToResults(QStringLiteral("  Report num in global report list = ") + N(AllRptIndex));
    m_console.AddToResults(QString());
}
