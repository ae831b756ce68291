#pragma once

#include "ErrorRecord.h"
#include "HIDagentX.h"

#include <QString>

#include <cstdint>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

// A scripted HID access component: a table of open interfaces and of all
// variables (AllVarIndex = position in `vars`), a current interface,
// variable and report, a log of every operation called, and failures
// injected per operation. Values live in the table, reports are only
// recorded (which report was current at each read or write).
class FakeHidAgent : public HIDagentX
{
public:
    struct Intf
    {
        std::int32_t handle = 0;
        std::int32_t vid = 0;
        std::int32_t pid = 0;
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
    std::int32_t currentIntf = -1;   // position in intfs
    std::int32_t currentVar = -1;
    std::int32_t currentRpt = -1;
    std::int32_t notFound = -1;      // what FindVar answers when nothing matches
    bool readResult = true;
    bool writeResult = true;
    std::vector<std::int32_t> readRpts;     // current report at each ReadCurrentRpt
    std::vector<std::int32_t> writtenRpts;  // current report at each WriteCurrentRpt
    std::vector<std::string> log;           // every operation, in call order

    // --- building the table ---------------------------------------------
    void addIntf(std::int32_t handle, std::int32_t vid, std::int32_t pid)
    {
        intfs.push_back({handle, vid, pid});
    }

    std::int32_t addVar(const Var &v)
    {
        vars.push_back(v);
        return static_cast<std::int32_t>(vars.size()) - 1;
    }

    // A thermostat interface: usages 1-7 in input report `rptA`, 8-12 in
    // output report `rptB`, on page 0xFF00, except the usages in `missing`.
    void addThermostat(std::int32_t handle, std::int32_t rptA, std::int32_t rptB,
                       const std::set<std::int32_t> &missing = {}, std::int32_t vid = 2341,
                       std::int32_t pid = 20480)
    {
        addIntf(handle, vid, pid);
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

    Var &var(std::int32_t allVarIndex) { return vars.at(static_cast<std::size_t>(allVarIndex)); }

    // --- HIDagentX ------------------------------------------------------
    void Activate() override { enter("Activate"); }
    bool OpenMatchingIntfs() override
    {
        enter("OpenMatchingIntfs");
        return !intfs.empty();
    }
    void CloseAllIntfs() override
    {
        enter("CloseAllIntfs");
        intfs.clear();
        currentIntf = -1;
    }
    std::int32_t OpenIntfCount() override
    {
        enter("OpenIntfCount");
        return static_cast<std::int32_t>(intfs.size());
    }
    std::int32_t SelectOpenIntf(std::int32_t position) override
    {
        enter("SelectOpenIntf");
        if (position < 0 || position >= static_cast<std::int32_t>(intfs.size()))
            throw ErrorRecord(1, QStringLiteral("FakeHidAgent:SelectOpenIntf"), QStringLiteral("no such position"));
        currentIntf = position;
        return intfs[static_cast<std::size_t>(position)].handle;
    }
    void SelectIntf(std::int32_t handle) override
    {
        enter("SelectIntf");
        for (std::size_t i = 0; i < intfs.size(); ++i) {
            if (intfs[i].handle == handle) {
                currentIntf = static_cast<std::int32_t>(i);
                return;
            }
        }
        throw ErrorRecord(1, QStringLiteral("FakeHidAgent:SelectIntf"), QStringLiteral("no such handle"));
    }
    std::int32_t CurrentIntfHandle() override { return intf("CurrentIntfHandle").handle; }
    std::int32_t CurrentVID() override { return intf("CurrentVID").vid; }
    std::int32_t CurrentPID() override { return intf("CurrentPID").pid; }

    std::int32_t FindVar(std::int32_t usagePage, std::int32_t usage, std::int32_t rptType, bool) override
    {
        enter("FindVar");
        // The current interface first, then the others.
        const std::int32_t current = currentIntf >= 0 ? intfs[static_cast<std::size_t>(currentIntf)].handle : 0;
        for (int pass = 0; pass < 2; ++pass) {
            for (std::size_t i = 0; i < vars.size(); ++i) {
                const Var &v = vars[i];
                if ((v.intfHandle == current) == (pass == 0) && v.usagePage == usagePage && v.usage == usage
                    && v.rptType == rptType)
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
    void SetVarScaledValue(std::int32_t i, std::int32_t value) override { at(i, "SetVarScaledValue").scaled = value; }

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
        return readResult;
    }
    bool WriteCurrentRpt() override
    {
        enter("WriteCurrentRpt");
        writtenRpts.push_back(currentRpt);
        return writeResult;
    }

private:
    struct Failure
    {
        Throw kind;
        int after;
    };

    void enter(const char *op)
    {
        log.emplace_back(op);
        const int n = ++m_counts[op];
        auto it = m_failures.find(op);
        if (it == m_failures.end() || n <= it->second.after)
            return;
        switch (it->second.kind) {
        case Throw::Record:
            throw ErrorRecord(InjectedCode, QStringLiteral("FakeHidAgent:") + QString::fromLatin1(op),
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
            throw ErrorRecord(2, QStringLiteral("FakeHidAgent:") + QString::fromLatin1(op),
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
    Intf &intf(const char *op)
    {
        enter(op);
        if (currentIntf < 0 || currentIntf >= static_cast<std::int32_t>(intfs.size()))
            throw ErrorRecord(3, QStringLiteral("FakeHidAgent:") + QString::fromLatin1(op),
                              QStringLiteral("no current interface"));
        return intfs[static_cast<std::size_t>(currentIntf)];
    }

    std::map<std::string, Failure> m_failures;
    std::map<std::string, int> m_counts;
};
