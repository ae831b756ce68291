#pragma once

#include "HIDagentX.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class ConsoleContext;
class QObject;
class TSoftDet;

// The main window's link to the thermostat: it sets up the HID access
// component, opens the thermostat with the retry box, keeps the collection
// of device objects in step with the component's events and logs each
// event. No widgets here; the window hands in what the rules need.
class DeviceConnection
{
public:
    // Search criteria: the thermostat's USB vendor and product ids.
    static constexpr std::int32_t VendorId = 0x0925;
    static constexpr std::int32_t ProductId = 0x5000;

    // `console` receives the log lines and lends its desktop services;
    // `sender` is the window passed on to the device objects;
    // `stopContinuousReading` unticks the continuous-reading box.
    DeviceConnection(std::shared_ptr<HIDagentX> agent, ConsoleContext &console, QObject *sender,
                     std::function<void()> stopContinuousReading);

    const std::vector<std::shared_ptr<TSoftDet>> &Devices() const { return m_Devices; }
    bool StartingUp() const { return m_StartingUp; }
    void setStartingUp(bool v) { m_StartingUp = v; }

    void PrepareHidAgent();
    // True once the thermostat is open; false when the user gave up.
    bool OpenThermostat();
    void CloseHidAgent();
    std::shared_ptr<TSoftDet> LastDevice() const;

    // The component's seven events.
    void OnIntfClosed(std::int32_t NumStillOpen, const QString &IntfName, std::int32_t AHidHandle);
    void OnDeviceConnected(std::int32_t NumConnected, const QString &Name);
    void OnDeviceDisconnected(std::int32_t NumConnected, const QString &Name);
    void OnAgentMessage(const QString &Text);
    void OnIntfOpened(std::int32_t Value1, std::int32_t Value2, std::int32_t NumOpen,
                      const QString &IntfName);
    void OnRptArrived(std::int32_t RptIndexInIntf, std::int32_t AllRptIndex);
    void OnRptSelected(std::int32_t AllRptIndex);

private:
    void beep();

    std::shared_ptr<HIDagentX> m_agent;
    ConsoleContext &m_console;
    QObject *m_sender;
    std::function<void()> m_stopContinuousReading;
    std::vector<std::shared_ptr<TSoftDet>> m_Devices;
    // A device object whose interface had none of its variables: it is kept
    // out of Devices, so it is never read or written, and the next opened
    // interface completes it.
    std::shared_ptr<TSoftDet> m_unboundDevice;
    bool m_StartingUp = false;
};
