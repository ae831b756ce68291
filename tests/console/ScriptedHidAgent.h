#pragma once

#include "ErrorRecord.h"
#include "HIDagentX.h"

#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <vector>

// A HID access component without hardware. The test plugs in interfaces
// (the thermostat's twelve variables, or something else), and the double
// opens, closes and reads them the way the component does, raising its
// events synchronously. Everything asked of it is counted.
//
// Variable k (0..11) of interface i has AllVarIndex 12*i + k; its input
// report A has RptIndex 2*i, output report B 2*i + 1.
class ScriptedHidAgent : public HIDagentX
{
public:
    struct Interface
    {
        QString name;
        std::int32_t vid = 0x0925;
        std::int32_t pid = 0x5000;
        std::int32_t handle = 0;
        bool plugged = true;
        bool open = false;
        std::array<std::int32_t, 12> values{}; // the component's copy of each variable
        std::array<std::int32_t, 12> device{}; // what a read of report A brings in
        bool readOk = true;
        bool writeOk = true;
        bool throwOnRead = false;
        std::array<bool, 12> offers; // usages 1..12 present in the descriptor
        Interface() { offers.fill(true); }
    };

    // Adds an interface and returns its index. Nothing is raised.
    int plug(const QString &name, std::int32_t handle, std::int32_t vid = 0x0925, std::int32_t pid = 0x5000,
             bool plugged = true)
    {
        Interface i;
        i.name = name;
        i.handle = handle;
        i.vid = vid;
        i.pid = pid;
        i.plugged = plugged;
        m_intfs.push_back(i);
        return static_cast<int>(m_intfs.size()) - 1;
    }

    Interface &intf(int i) { return m_intfs.at(static_cast<std::size_t>(i)); }

    // The device appears: counts as connected, raises OnDeviceConnected.
    void connectDevice(int i)
    {
        intf(i).plugged = true;
        emit OnDeviceConnected(pluggedCount(), intf(i).name);
    }

    // The device goes away: its interface closes if it was open.
    void unplug(int i)
    {
        Interface &it = intf(i);
        it.plugged = false;
        emit OnDeviceDisconnected(pluggedCount(), it.name);
        if (it.open) {
            it.open = false;
            removeOpen(i);
            emit OnIntfClosed(static_cast<std::int32_t>(m_openOrder.size()), it.name, it.handle);
        }
    }

    // Every interface is gone from the component's list, with no event.
    void forgetOpenInterfaces()
    {
        for (int i : m_openOrder)
            intf(i).open = false;
        m_openOrder.clear();
    }

    void setDeviceValues(int i, std::array<std::int32_t, 7> in)
    {
        for (std::size_t k = 0; k < 7; ++k)
            intf(i).device[k] = in[k];
    }

    // --- counters -------------------------------------------------------
    int activateCalls = 0;
    int openCalls = 0;
    int closeAllCalls = 0;
    int readCalls = 0;
    int writeCalls = 0;
    // Opens that found the four search criteria in force.
    int criteriaAssignments = 0;
    bool forgetCriteriaAfterOpen = false;
    QStringList settingsLog;

    // --- HIDagentX --------------------------------------------------------
    bool throwOnActivate = false;
    void Activate() override
    {
        ++activateCalls;
        if (throwOnActivate)
            throw ErrorRecord(static_cast<std::int32_t>(0x80040001u), QStringLiteral("HIDagentX:Activate"),
                              QStringLiteral("no HID access"));
    }

    bool OpenMatchingIntfs() override
    {
        ++openCalls;
        settingsLog << QStringLiteral("open");
        countCriteria();
        bool any = false;
        for (std::size_t i = 0; i < m_intfs.size(); ++i) {
            Interface &it = m_intfs[i];
            if (!it.plugged || !matches(it))
                continue;
            any = true;
            if (it.open)
                continue;
            it.open = true;
            m_openOrder.push_back(static_cast<int>(i));
            emit OnIntfOpened(0, 0, static_cast<std::int32_t>(m_openOrder.size()), it.name);
        }
        // Forgetting the criteria after each open shows whether the caller
        // assigns them again before the next attempt.
        if (forgetCriteriaAfterOpen) {
            setVID_To_Match(0);
            setPID_To_Match(0);
            setSearchOnVID(false);
            setSearchOnPID(false);
        }
        return any;
    }

    void CloseAllIntfs() override
    {
        ++closeAllCalls;
        while (!m_openOrder.empty()) {
            const int i = m_openOrder.back();
            m_openOrder.pop_back();
            intf(i).open = false;
            emit OnIntfClosed(static_cast<std::int32_t>(m_openOrder.size()), intf(i).name, intf(i).handle);
        }
    }

    std::int32_t OpenIntfCount() override { return static_cast<std::int32_t>(m_openOrder.size()); }

    std::int32_t SelectOpenIntf(std::int32_t position) override
    {
        if (position < 0 || position >= OpenIntfCount())
            throw ErrorRecord(-1, QStringLiteral("ScriptedHidAgent"),
                              QStringLiteral("no such open interface"));
        m_current = m_openOrder[static_cast<std::size_t>(position)];
        return intf(m_current).handle;
    }

    void SelectIntf(std::int32_t handle) override
    {
        for (std::size_t i = 0; i < m_intfs.size(); ++i)
            if (m_intfs[i].handle == handle && m_intfs[i].open)
                m_current = static_cast<int>(i);
        selectedHandles.push_back(handle);
    }
    std::vector<std::int32_t> selectedHandles;

    std::int32_t CurrentIntfHandle() override { return m_current < 0 ? 0 : intf(m_current).handle; }
    std::int32_t CurrentVID() override { return m_current < 0 ? 0 : intf(m_current).vid; }
    std::int32_t CurrentPID() override { return m_current < 0 ? 0 : intf(m_current).pid; }

    std::int32_t FindVar(std::int32_t usagePage, std::int32_t usage, std::int32_t rptType, bool) override
    {
        if (m_current < 0 || usagePage != 0xFF00 || usage < 1 || usage > 12)
            return -1;
        const std::int32_t expectedType = usage <= 7 ? Input : Output;
        if (rptType != expectedType || !intf(m_current).offers[static_cast<std::size_t>(usage - 1)])
            return -1;
        return 12 * m_current + (usage - 1);
    }
    void SelectVar(std::int32_t) override {}

    bool AbsoluteNotRelative() override { return true; }
    bool ArrayNotVariable() override { return false; }
    bool BitsNotBuffer() override { return true; }
    bool HasNullState() override { return false; }
    bool Linear() override { return true; }
    bool NoPrefState() override { return false; }
    bool NoWrap() override { return true; }
    bool Volatile() override { return false; }
    std::int32_t LogicalMaximum() override { return 65535; }
    std::int32_t LogicalMinimum() override { return 0; }
    std::int32_t PhysicalMaximum() override { return 0; }
    std::int32_t PhysicalMinimum() override { return 0; }
    std::int32_t SizeInBits() override { return 16; }
    QString StringDescriptor() override { return QString(); }

    bool VarIsButton(std::int32_t) override { return false; }
    std::int32_t VarRptIndex(std::int32_t all) override { return 2 * (all / 12) + ((all % 12) < 7 ? 0 : 1); }
    void SetVarName(std::int32_t, const QString &) override {}
    std::int32_t VarScaleMode() override { return smUnscaledOnly; }
    void SetVarScaleMode(std::int32_t) override {}
    std::int32_t VarUnScaledValue(std::int32_t all) override
    {
        return intf(all / 12).values[static_cast<std::size_t>(all % 12)];
    }
    std::int32_t VarScaledValue(std::int32_t all) override { return VarUnScaledValue(all); }
    void SetVarUnScaledValue(std::int32_t all, std::int32_t value) override
    {
        intf(all / 12).values[static_cast<std::size_t>(all % 12)] = value;
    }
    void SetVarScaledValue(std::int32_t all, std::int32_t value) override { SetVarUnScaledValue(all, value); }

    void setCurrentRptNum(std::int32_t rpt) override { m_rpt = rpt; }
    std::int32_t CurrentRptNum() override { return m_rpt; }
    void SelectRpt(std::int32_t rpt) override { m_rpt = rpt; }

    bool ReadCurrentRpt() override
    {
        ++readCalls;
        Interface &it = intf(m_rpt / 2);
        if (it.throwOnRead)
            throw ErrorRecord(static_cast<std::int32_t>(0x80040005u),
                              QStringLiteral("HIDagentX:ReadCurrentRpt"),
                              QStringLiteral("Device not responding"));
        if (!it.open || !it.readOk)
            return false;
        for (std::size_t k = 0; k < 7; ++k)
            it.values[k] = it.device[k];
        return true;
    }

    bool WriteCurrentRpt() override
    {
        ++writeCalls;
        const Interface &it = intf(m_rpt / 2);
        return it.open && it.writeOk;
    }

private:
    bool matches(const Interface &it) const
    {
        return (!SearchOnVID() || it.vid == VID_To_Match()) && (!SearchOnPID() || it.pid == PID_To_Match());
    }
    std::int32_t pluggedCount() const
    {
        std::int32_t n = 0;
        for (const Interface &it : m_intfs)
            n += it.plugged ? 1 : 0;
        return n;
    }
    void removeOpen(int i)
    {
        for (auto p = m_openOrder.begin(); p != m_openOrder.end(); ++p)
            if (*p == i) {
                m_openOrder.erase(p);
                return;
            }
    }
    void countCriteria()
    {
        if (VID_To_Match() == 0x0925 && PID_To_Match() == 0x5000 && SearchOnVID() && SearchOnPID())
            ++criteriaAssignments;
    }

    std::vector<Interface> m_intfs;
    std::vector<int> m_openOrder;
    int m_current = -1;
    std::int32_t m_rpt = -1;
};
