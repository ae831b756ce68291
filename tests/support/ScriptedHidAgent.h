#pragma once

#include "ErrorRecord.h"
#include "HIDagentX.h"

#include <QString>
#include <QStringList>
#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

// A HID access component without hardware, for the device model, the rules
// and the window alike. It keeps a table of interfaces (plugged or not, open
// or not) and of all variables (AllVarIndex = position in `vars`), a current
// interface, variable and report. It opens, closes and reads the way the
// component does and raises its events synchronously. Every operation is
// logged and counted, and failures can be injected per operation.
//
// Two ways to fill it: `addIntf`/`addThermostat` put an interface straight
// into the open list with the report numbers the test chooses; `plug` adds a
// thermostat that the next OpenMatchingIntfs opens, with input report 2*i
// and output report 2*i + 1 (i: its position in `intfs`).
class ScriptedHidAgent : public HIDagentX
{
public:
    struct Intf
    {
        QString name;
        std::int32_t handle = 0;
        std::int32_t vid = 0x0925;
        std::int32_t pid = 0x5000;
        bool plugged = true;
        bool open = false;
        std::int64_t openedAt = 0; // opening order among the open ones
        // What a read of its input report brings in, by usage 1..7; without
        // it a read leaves the variables as the test set them.
        std::optional<std::array<std::int32_t, 7>> device;
        bool readOk = true;
        bool writeOk = true;
        bool throwOnRead = false;
    };

    struct Var
    {
        std::int32_t usagePage = 0;
        std::int32_t usage = 0;
        std::int32_t rptType = 0;
        std::int32_t intfHandle = 0;
        std::int32_t rptIndex = -1;
        bool absoluteNotRelative = false;
        bool arrayNotVariable = false;
        bool bitsNotBuffer = false;
        bool hasNullState = false;
        bool linear = false;
        bool noPrefState = false;
        bool noWrap = false;
        bool isVolatile = false;
        bool isButton = false;
        std::int32_t logicalMaximum = 0;
        std::int32_t logicalMinimum = 0;
        std::int32_t physicalMaximum = 0;
        std::int32_t physicalMinimum = 0;
        std::int32_t sizeInBits = 0;
        QString stringDescriptor;
        std::int32_t scaleMode = smBoth;
        std::int32_t unscaled = 0;
        std::int32_t scaled = 0;
        QString name;
    };

    enum class Throw { Record, StdException, Int };

    static constexpr std::int32_t InjectedCode = 0x1234;

    std::vector<Intf> intfs;
    std::vector<Var> vars;
    std::int32_t currentIntf = -1; // position in intfs
    std::int32_t currentVar = -1;
    std::int32_t currentRpt = -1;
    std::int32_t notFound = -1; // what FindVar answers when nothing matches
    bool readResult = true;
    bool writeResult = true;
    std::vector<std::int32_t> readRpts;        // current report at each ReadCurrentRpt
    std::vector<std::int32_t> writtenRpts;     // current report at each WriteCurrentRpt
    std::vector<std::int32_t> selectedHandles; // every SelectIntf, found or not
    std::vector<std::string> log;              // every operation, in call order

    bool throwOnActivate = false;
    // Forgetting the search criteria after each open shows whether the caller
    // assigns them again before the next attempt.
    bool forgetCriteriaAfterOpen = false;
    int criteriaAssignments = 0; // opens that found the four criteria in force
    QStringList settingsLog;

    // --- building the table ---------------------------------------------
    // An interface that is already open.
    void addIntf(std::int32_t handle, std::int32_t vid, std::int32_t pid)
    {
        Intf i;
        i.handle = handle;
        i.vid = vid;
        i.pid = pid;
        i.open = true;
        i.openedAt = ++m_openSeq;
        intfs.push_back(i);
    }

    std::int32_t addVar(const Var &v)
    {
        vars.push_back(v);
        return static_cast<std::int32_t>(vars.size()) - 1;
    }

    // An open thermostat interface: usages 1-7 in input report `rptA`, 8-12
    // in output report `rptB`, on page 0xFF00, except the usages in `missing`.
    void addThermostat(std::int32_t handle, std::int32_t rptA, std::int32_t rptB,
                       const std::set<std::int32_t> &missing = {}, std::int32_t vid = 0x0925,
                       std::int32_t pid = 0x5000)
    {
        addIntf(handle, vid, pid);
        addThermostatVars(handle, rptA, rptB, missing);
    }

    // A thermostat on the bus, not yet open; returns its position. Nothing is
    // raised.
    int plug(const QString &name, std::int32_t handle, std::int32_t vid = 0x0925, std::int32_t pid = 0x5000,
             bool plugged = true, const std::set<std::int32_t> &missing = {})
    {
        Intf i;
        i.name = name;
        i.handle = handle;
        i.vid = vid;
        i.pid = pid;
        i.plugged = plugged;
        i.device = std::array<std::int32_t, 7>{};
        intfs.push_back(i);
        const int position = static_cast<int>(intfs.size()) - 1;
        addThermostatVars(handle, 2 * position, 2 * position + 1, missing);
        return position;
    }

    Intf &intf(int i) { return intfs.at(static_cast<std::size_t>(i)); }
    Var &var(std::int32_t allVarIndex) { return vars.at(static_cast<std::size_t>(allVarIndex)); }

    // --- events -----------------------------------------------------------
    // The device appears: counts as connected, raises OnDeviceConnected.
    void connectDevice(int i)
    {
        intf(i).plugged = true;
        emit OnDeviceConnected(pluggedCount(), intf(i).name);
    }

    // The device goes away: its interface closes if it was open.
    void unplug(int i)
    {
        Intf &it = intf(i);
        it.plugged = false;
        emit OnDeviceDisconnected(pluggedCount(), it.name);
        if (it.open) {
            it.open = false;
            emit OnIntfClosed(OpenIntfCountNow(), it.name, it.handle);
        }
    }

    // Every interface is gone from the component's list, with no event.
    void forgetOpenInterfaces()
    {
        for (Intf &i : intfs)
            i.open = false;
    }

    void setDeviceValues(int i, std::array<std::int32_t, 7> in) { intf(i).device = in; }

    // --- scripting ------------------------------------------------------
    // The next calls of `op` after `afterCalls` successful ones fail.
    void failOn(const std::string &op, Throw kind = Throw::Record, int afterCalls = 0)
    {
        m_failures[op] = {kind, afterCalls};
    }
    void clearFailures() { m_failures.clear(); }

    int calls(const std::string &op) const
    {
        auto it = m_counts.find(op);
        return it == m_counts.end() ? 0 : it->second;
    }
    int totalCalls() const { return static_cast<int>(log.size()); }
    void clearLog()
    {
        log.clear();
        m_counts.clear();
    }

    // --- HIDagentX ------------------------------------------------------
    void Activate() override
    {
        enter("Activate");
        if (throwOnActivate)
            throw ErrorRecord(static_cast<std::int32_t>(0x80040001u), QStringLiteral("HIDagentX:Activate"),
                              QStringLiteral("no HID access"));
    }

    bool OpenMatchingIntfs() override
    {
        enter("OpenMatchingIntfs");
        settingsLog << QStringLiteral("open");
        if (VID_To_Match() == 0x0925 && PID_To_Match() == 0x5000 && SearchOnVID() && SearchOnPID())
            ++criteriaAssignments;
        bool any = false;
        for (Intf &it : intfs) {
            if (!it.plugged || !matches(it))
                continue;
            any = true;
            if (it.open)
                continue;
            it.open = true;
            it.openedAt = ++m_openSeq;
            emit OnIntfOpened(0, 0, OpenIntfCountNow(), it.name);
        }
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
        enter("CloseAllIntfs");
        currentIntf = -1;
        for (std::vector<int> open = openList(); !open.empty(); open.pop_back()) {
            Intf &it = intfs[static_cast<std::size_t>(open.back())];
            it.open = false;
            emit OnIntfClosed(static_cast<std::int32_t>(open.size()) - 1, it.name, it.handle);
        }
    }

    std::int32_t OpenIntfCount() override
    {
        enter("OpenIntfCount");
        return OpenIntfCountNow();
    }

    std::int32_t SelectOpenIntf(std::int32_t position) override
    {
        enter("SelectOpenIntf");
        const std::vector<int> open = openList();
        if (position < 0 || position >= static_cast<std::int32_t>(open.size()))
            throw ErrorRecord(1, QStringLiteral("ScriptedHidAgent:SelectOpenIntf"),
                              QStringLiteral("no such position"));
        currentIntf = open[static_cast<std::size_t>(position)];
        return intfs[static_cast<std::size_t>(currentIntf)].handle;
    }

    void SelectIntf(std::int32_t handle) override
    {
        enter("SelectIntf");
        selectedHandles.push_back(handle);
        for (std::size_t i = 0; i < intfs.size(); ++i) {
            if (intfs[i].open && intfs[i].handle == handle) {
                currentIntf = static_cast<std::int32_t>(i);
                return;
            }
        }
        throw ErrorRecord(1, QStringLiteral("ScriptedHidAgent:SelectIntf"), QStringLiteral("no such handle"));
    }

    std::int32_t CurrentIntfHandle() override { return current("CurrentIntfHandle").handle; }
    std::int32_t CurrentVID() override { return current("CurrentVID").vid; }
    std::int32_t CurrentPID() override { return current("CurrentPID").pid; }

    // false: the current interface only; true: the current one first, then
    // the others.
    std::int32_t FindVar(std::int32_t usagePage, std::int32_t usage, std::int32_t rptType,
                         bool searchAllIntfs) override
    {
        enter("FindVar");
        const std::int32_t here = currentIntf >= 0 ? intfs[static_cast<std::size_t>(currentIntf)].handle : 0;
        for (int pass = 0; pass < (searchAllIntfs ? 2 : 1); ++pass) {
            for (std::size_t i = 0; i < vars.size(); ++i) {
                const Var &v = vars[i];
                if ((v.intfHandle == here) == (pass == 0) && v.usagePage == usagePage && v.usage == usage &&
                    v.rptType == rptType)
                    return static_cast<std::int32_t>(i);
            }
        }
        return notFound;
    }
    void SelectVar(std::int32_t allVarIndex) override
    {
        enter("SelectVar");
        checkVar(allVarIndex, "SelectVar");
        currentVar = allVarIndex;
    }

    bool AbsoluteNotRelative() override { return cur("AbsoluteNotRelative").absoluteNotRelative; }
    bool ArrayNotVariable() override { return cur("ArrayNotVariable").arrayNotVariable; }
    bool BitsNotBuffer() override { return cur("BitsNotBuffer").bitsNotBuffer; }
    bool HasNullState() override { return cur("HasNullState").hasNullState; }
    bool Linear() override { return cur("Linear").linear; }
    bool NoPrefState() override { return cur("NoPrefState").noPrefState; }
    bool NoWrap() override { return cur("NoWrap").noWrap; }
    bool Volatile() override { return cur("Volatile").isVolatile; }
    std::int32_t LogicalMaximum() override { return cur("LogicalMaximum").logicalMaximum; }
    std::int32_t LogicalMinimum() override { return cur("LogicalMinimum").logicalMinimum; }
    std::int32_t PhysicalMaximum() override { return cur("PhysicalMaximum").physicalMaximum; }
    std::int32_t PhysicalMinimum() override { return cur("PhysicalMinimum").physicalMinimum; }
    std::int32_t SizeInBits() override { return cur("SizeInBits").sizeInBits; }
    QString StringDescriptor() override { return cur("StringDescriptor").stringDescriptor; }

    bool VarIsButton(std::int32_t i) override { return at(i, "VarIsButton").isButton; }
    std::int32_t VarRptIndex(std::int32_t i) override { return at(i, "VarRptIndex").rptIndex; }
    void SetVarName(std::int32_t i, const QString &name) override { at(i, "SetVarName").name = name; }
    std::int32_t VarScaleMode() override { return cur("VarScaleMode").scaleMode; }
    void SetVarScaleMode(std::int32_t mode) override { cur("SetVarScaleMode").scaleMode = mode; }
    std::int32_t VarUnScaledValue(std::int32_t i) override { return at(i, "VarUnScaledValue").unscaled; }
    std::int32_t VarScaledValue(std::int32_t i) override { return at(i, "VarScaledValue").scaled; }
    void SetVarUnScaledValue(std::int32_t i, std::int32_t value) override
    {
        at(i, "SetVarUnScaledValue").unscaled = value;
    }
    void SetVarScaledValue(std::int32_t i, std::int32_t value) override
    {
        at(i, "SetVarScaledValue").scaled = value;
    }

    void setCurrentRptNum(std::int32_t rptIndex) override
    {
        enter("setCurrentRptNum");
        currentRpt = rptIndex;
    }
    std::int32_t CurrentRptNum() override
    {
        enter("CurrentRptNum");
        return currentRpt;
    }
    void SelectRpt(std::int32_t rptIndex) override
    {
        enter("SelectRpt");
        currentRpt = rptIndex;
    }

    bool ReadCurrentRpt() override
    {
        enter("ReadCurrentRpt");
        readRpts.push_back(currentRpt);
        if (Intf *it = ownerOf(currentRpt)) {
            if (it->throwOnRead)
                throw ErrorRecord(static_cast<std::int32_t>(0x80040005u),
                                  QStringLiteral("HIDagentX:ReadCurrentRpt"),
                                  QStringLiteral("Device not responding"));
            if (!it->open || !it->readOk)
                return false;
            if (it->device) {
                for (Var &v : vars)
                    if (v.intfHandle == it->handle && v.rptIndex == currentRpt && v.usage >= 1 &&
                        v.usage <= 7)
                        v.unscaled = (*it->device)[static_cast<std::size_t>(v.usage - 1)];
            }
        }
        return readResult;
    }

    bool WriteCurrentRpt() override
    {
        enter("WriteCurrentRpt");
        writtenRpts.push_back(currentRpt);
        if (const Intf *it = ownerOf(currentRpt); it && (!it->open || !it->writeOk))
            return false;
        return writeResult;
    }

private:
    struct Failure
    {
        Throw kind;
        int after;
    };

    void addThermostatVars(std::int32_t handle, std::int32_t rptA, std::int32_t rptB,
                           const std::set<std::int32_t> &missing)
    {
        for (std::int32_t usage = 1; usage <= 12; ++usage) {
            if (missing.count(usage))
                continue;
            Var v;
            v.usagePage = 0xFF00;
            v.usage = usage;
            v.rptType = usage <= 7 ? Input : Output;
            v.intfHandle = handle;
            v.rptIndex = usage <= 7 ? rptA : rptB;
            v.sizeInBits = usage <= 3 || usage == 8 || usage == 9 ? 16 : 8;
            v.logicalMaximum = v.sizeInBits == 16 ? 65535 : 255;
            addVar(v);
        }
    }

    bool matches(const Intf &it) const
    {
        return (!SearchOnVID() || it.vid == VID_To_Match()) && (!SearchOnPID() || it.pid == PID_To_Match());
    }
    std::int32_t pluggedCount() const
    {
        return static_cast<std::int32_t>(
            std::count_if(intfs.begin(), intfs.end(), [](const Intf &i) { return i.plugged; }));
    }
    // Positions in intfs of the open interfaces, in opening order.
    std::vector<int> openList() const
    {
        std::vector<int> open;
        for (std::size_t i = 0; i < intfs.size(); ++i)
            if (intfs[i].open)
                open.push_back(static_cast<int>(i));
        std::stable_sort(open.begin(), open.end(), [this](int a, int b) {
            return intfs[static_cast<std::size_t>(a)].openedAt < intfs[static_cast<std::size_t>(b)].openedAt;
        });
        return open;
    }
    std::int32_t OpenIntfCountNow() const { return static_cast<std::int32_t>(openList().size()); }

    // The interface whose variables live in report `rpt`.
    Intf *ownerOf(std::int32_t rpt)
    {
        for (const Var &v : vars) {
            if (v.rptIndex != rpt)
                continue;
            for (Intf &i : intfs)
                if (i.handle == v.intfHandle)
                    return &i;
        }
        return nullptr;
    }

    void enter(const char *op)
    {
        log.emplace_back(op);
        const int n = ++m_counts[op];
        auto it = m_failures.find(op);
        if (it == m_failures.end() || n <= it->second.after)
            return;
        switch (it->second.kind) {
        case Throw::Record:
            throw ErrorRecord(InjectedCode, QStringLiteral("ScriptedHidAgent:") + QString::fromLatin1(op),
                              QStringLiteral("injected failure"));
        case Throw::StdException:
            throw std::runtime_error(std::string("injected failure in ") + op);
        case Throw::Int:
            throw 42;
        }
    }

    void checkVar(std::int32_t i, const char *op) const
    {
        if (i < 0 || i >= static_cast<std::int32_t>(vars.size()))
            throw ErrorRecord(2, QStringLiteral("ScriptedHidAgent:") + QString::fromLatin1(op),
                              QStringLiteral("AllVarIndex out of range"));
    }
    Var &at(std::int32_t i, const char *op)
    {
        enter(op);
        checkVar(i, op);
        return vars[static_cast<std::size_t>(i)];
    }
    Var &cur(const char *op)
    {
        enter(op);
        checkVar(currentVar, op);
        return vars[static_cast<std::size_t>(currentVar)];
    }
    Intf &current(const char *op)
    {
        enter(op);
        if (currentIntf < 0 || currentIntf >= static_cast<std::int32_t>(intfs.size()))
            throw ErrorRecord(3, QStringLiteral("ScriptedHidAgent:") + QString::fromLatin1(op),
                              QStringLiteral("no current interface"));
        return intfs[static_cast<std::size_t>(currentIntf)];
    }

    std::map<std::string, Failure> m_failures;
    std::map<std::string, int> m_counts;
    std::int64_t m_openSeq = 0;
};
