#pragma once

#include "HIDagentX.h"
#include "TOneHidVar.h"

#include <QObject>
#include <QString>
#include <array>
#include <cstdint>
#include <memory>

// One connected thermostat. It owns the twelve HID variables through which
// the program sees the device (seven in input report A, five in output
// report B), decides whether an interface the component has just opened is a
// thermostat, binds the variables to it, reads report A and writes report B,
// and forgets what belonged to an interface that has closed.
//
// Shared by reference (std::shared_ptr<TSoftDet>). It is a QObject only to
// declare its two events; no path of the program raises them.
class TSoftDet : public QObject
{
    Q_OBJECT
public:
    // What a thermostat must answer as its current interface's ids.
    static constexpr std::int32_t ThermostatVID = 2341;    // 0x0925
    static constexpr std::int32_t ThermostatPID = 20480;   // 0x5000
    static constexpr std::int32_t VendorUsagePage = 65280; // 0xFF00
    static constexpr int VarCount = 12;

    TSoftDet();
    ~TSoftDet() override;

    std::int32_t ClassDebugID() const { return m_ClassDebugID; }

    void HidClosed(QObject *Sender, std::int32_t NumStillOpen, const QString &IntfName,
                   std::int32_t AHidHandle);
    void HidRptArrived(QObject *Sender, std::int32_t RptIndexInIntf, std::int32_t AllRptIndex);
    std::int32_t BindVars(std::shared_ptr<HIDagentX> AHIDagent);
    std::int32_t ReBind(std::shared_ptr<HIDagentX> AHIDagent);
    void BindEvents();
    void Shutdown();
    bool ReadInputRptA();
    bool WriteOutputRptB();
    bool ReadAllReports();
    bool WriteAllReports();
    std::int32_t UnboundVarCount() const;
    std::int32_t VariableCount() const;
    bool IsAllUnbound() const;
    bool HasHandle(std::int32_t AHidHandle) const;
    void UnBindRpt(const std::shared_ptr<TOneHidVar> &AVar);
    std::int32_t DeviceIdentity() const { return m_DeviceIdentity; }

    // Whether the interface the component opened last carries a variable
    // this device already holds: such an interface is another thermostat,
    // never the rest of this one. False before BindVars.
    bool HoldsVarOfLastIntf();

    std::shared_ptr<TOneHidVar> InTempVar();
    void setInTempVar(std::shared_ptr<TOneHidVar> v);
    std::shared_ptr<TOneHidVar> InTempLowVar();
    void setInTempLowVar(std::shared_ptr<TOneHidVar> v);
    std::shared_ptr<TOneHidVar> InTempHighVar();
    void setInTempHighVar(std::shared_ptr<TOneHidVar> v);
    std::shared_ptr<TOneHidVar> InTempSwitchVar();
    void setInTempSwitchVar(std::shared_ptr<TOneHidVar> v);
    std::shared_ptr<TOneHidVar> InModeStatus();
    void setInModeStatus(std::shared_ptr<TOneHidVar> v);
    std::shared_ptr<TOneHidVar> InBootStatus();
    void setInBootStatus(std::shared_ptr<TOneHidVar> v);
    std::shared_ptr<TOneHidVar> InSondeStatus();
    void setInSondeStatus(std::shared_ptr<TOneHidVar> v);
    std::shared_ptr<TOneHidVar> OutTempLowVar();
    void setOutTempLowVar(std::shared_ptr<TOneHidVar> v);
    std::shared_ptr<TOneHidVar> OutTempHighVar();
    void setOutTempHighVar(std::shared_ptr<TOneHidVar> v);
    std::shared_ptr<TOneHidVar> OutModeRelayVar();
    void setOutModeRelayVar(std::shared_ptr<TOneHidVar> v);
    std::shared_ptr<TOneHidVar> OutBootStatus();
    void setOutBootStatus(std::shared_ptr<TOneHidVar> v);
    std::shared_ptr<TOneHidVar> OutBootVar();
    void setOutBootVar(std::shared_ptr<TOneHidVar> v);

    // State kept inside the object, readable for the console's log and for
    // checks: true from BindVars until Shutdown; RptIndex of report A / B,
    // negative when unknown.
    bool isActive() const { return m_active; }
    std::int32_t reportA() const { return m_reportA; }
    std::int32_t reportB() const { return m_reportB; }

signals:
    void OnReportArrival(QObject *Sender, std::int32_t RptIndexInIntf, std::int32_t AllRptIndex);
    void OnCloseHidInterface(QObject *Sender, std::int32_t NumStillOpen, const QString &IntfName,
                             std::int32_t AHidHandle);

private:
    enum Slot {
        slotInTempVar,
        slotInTempLowVar,
        slotInTempHighVar,
        slotInTempSwitchVar,
        slotInModeStatus,
        slotInBootStatus,
        slotInSondeStatus,
        slotOutTempLowVar,
        slotOutTempHighVar,
        slotOutModeRelayVar,
        slotOutBootStatus,
        slotOutBootVar,
    };

    bool DeviceIsMatched();
    std::int32_t bindUnbound();
    void refreshReports();
    std::shared_ptr<TOneHidVar> namedGet(Slot slot, const char *source);
    void namedSet(Slot slot, std::shared_ptr<TOneHidVar> v, const char *source);
    HIDagentX &agent(const char *source) const;

    std::int32_t m_ClassDebugID = 0;
    bool m_active = false;
    std::shared_ptr<HIDagentX> m_HIDagent;
    std::int32_t m_DeviceIdentity = 0;
    // Binding, counting and handle matching walk the table; the named
    // accessors read and replace only the named references.
    std::array<std::shared_ptr<TOneHidVar>, VarCount> m_vars;
    std::array<std::shared_ptr<TOneHidVar>, VarCount> m_named;
    std::int32_t m_reportA = -1;
    std::int32_t m_reportB = -1;
};
