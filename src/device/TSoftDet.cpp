#include "TSoftDet.h"

#include "modClassIDGenerator.h"
#include "modErrorHandling.h"

using modErrorHandling::Trap;

namespace {

struct VarRow
{
    const char *name;
    std::int16_t rptType;
};

// Slot order is the order of the usages (slot + 1) and of creation.
constexpr VarRow VarRows[TSoftDet::VarCount] = {
    {"InTempVar", HIDagentX::Input},       {"InTempLowVar", HIDagentX::Input},
    {"InTempHighVar", HIDagentX::Input},   {"InTempSwitchVar", HIDagentX::Input},
    {"InModeStatus", HIDagentX::Input},    {"InBootStatus", HIDagentX::Input},
    {"InSondeStatus", HIDagentX::Input},   {"OutTempLowVar", HIDagentX::Output},
    {"OutTempHighVar", HIDagentX::Output}, {"OutModeRelayVar", HIDagentX::Output},
    {"OutBootStatus", HIDagentX::Output},  {"OutBootVar", HIDagentX::Output},
};

// Every thermostat variable belongs to the device it was made for; 3 would
// mark a variable shared by any device.
constexpr std::int32_t ThermostatVarIdentity = 1;
constexpr std::int32_t AnyDeviceIdentity = 3;

} // namespace

TSoftDet::TSoftDet()
{
    for (int slot = 0; slot < VarCount; ++slot) {
        auto var = std::make_shared<TOneHidVar>();
        var->DoCreate(VarRows[slot].rptType, VendorUsagePage, slot + 1, ThermostatVarIdentity,
                      QString::fromLatin1(VarRows[slot].name));
        m_named[slot] = var;
        m_vars[slot] = std::move(var);
    }
    // Taken after the variables': the first device of a run is number 13.
    m_ClassDebugID = modClassIDGenerator::NextID();
}

TSoftDet::~TSoftDet() = default;

HIDagentX &TSoftDet::agent(const char *source) const
{
    if (!m_HIDagent)
        modErrorHandling::RaiseObjectNotSet(QString::fromLatin1(source));
    return *m_HIDagent;
}

bool TSoftDet::DeviceIsMatched()
{
    return Trap("TSoftDet:DeviceIsMatched Method", [&] {
        HIDagentX &hid = agent("TSoftDet");
        bool matched = hid.CurrentVID() == ThermostatVID;
        // Another vendor's product id means nothing; it is not even asked.
        if (matched)
            matched = hid.CurrentPID() == ThermostatPID;
        return matched;
    });
}

std::int32_t TSoftDet::bindUnbound()
{
    std::int32_t count = VarCount;
    for (const auto &var : m_vars) {
        if (var->IsBound()) {
            --count;
        } else if (var->Bind(m_HIDagent)) {
            --count;
            if (var->VarIdentity() != AnyDeviceIdentity && m_DeviceIdentity == 0)
                m_DeviceIdentity = var->VarIdentity();
        }
    }
    return count;
}

void TSoftDet::refreshReports()
{
    // Report A is the one that carries InTempVar, report B the one that
    // carries OutTempLowVar. An unknown index keeps what was known before;
    // a name that holds no variable counts as unknown.
    if (const auto &in = m_named[slotInTempVar]; in && in->RptIndex() >= 0)
        m_reportA = in->RptIndex();
    if (const auto &out = m_named[slotOutTempLowVar]; out && out->RptIndex() >= 0)
        m_reportB = out->RptIndex();
}

std::int32_t TSoftDet::BindVars(std::shared_ptr<HIDagentX> AHIDagent)
{
    m_active = true;
    m_HIDagent = std::move(AHIDagent);
    HIDagentX &hid = agent("TSoftDet:BindVars Method");
    // The interface opened last is the one the component just reported.
    const std::int32_t n = hid.OpenIntfCount();
    hid.SelectOpenIntf(n - 1);
    std::int32_t result = -1;
    if (DeviceIsMatched()) {
        result = bindUnbound();
        refreshReports();
    }
    return result;
}

std::int32_t TSoftDet::ReBind(std::shared_ptr<HIDagentX> AHIDagent)
{
    // The caller has already made this device's interface current, and the
    // device was matched when it was first bound; the component held since
    // BindVars is used, not the argument.
    Q_UNUSED(AHIDagent);
    for (const auto &var : m_vars) {
        UnBindRpt(var);
        var->UnBind();
    }
    const std::int32_t count = bindUnbound();
    refreshReports();
    BindEvents();
    return count;
}

void TSoftDet::HidClosed(QObject *Sender, std::int32_t NumStillOpen, const QString &IntfName,
                         std::int32_t AHidHandle)
{
    Q_UNUSED(Sender);
    Q_UNUSED(NumStillOpen);
    Q_UNUSED(IntfName);
    for (const auto &var : m_vars) {
        if (var->HidHandle() == AHidHandle) {
            // Report numbers first: UnBind forgets the variable's RptIndex.
            UnBindRpt(var);
            var->UnBind();
        }
    }
}

void TSoftDet::HidRptArrived(QObject *Sender, std::int32_t RptIndexInIntf, std::int32_t AllRptIndex)
{
    // Reports are read on the console's timer, not on arrival.
    Q_UNUSED(Sender);
    Q_UNUSED(RptIndexInIntf);
    Q_UNUSED(AllRptIndex);
}

void TSoftDet::BindEvents()
{
    // Nothing to connect: the device raises no events of its own.
}

void TSoftDet::Shutdown()
{
    m_active = false;
}

bool TSoftDet::ReadInputRptA()
{
    if (m_reportA < 0)
        return false;
    HIDagentX &hid = agent("TSoftDet:ReadInputRptA Method");
    hid.SelectRpt(m_reportA);
    return hid.ReadCurrentRpt();
}

bool TSoftDet::WriteOutputRptB()
{
    if (m_reportB < 0)
        return false;
    HIDagentX &hid = agent("TSoftDet:WriteOutputRptB Method");
    hid.SelectRpt(m_reportB);
    return hid.WriteCurrentRpt();
}

bool TSoftDet::ReadAllReports()
{
    return ReadInputRptA();
}

bool TSoftDet::WriteAllReports()
{
    return WriteOutputRptB();
}

std::int32_t TSoftDet::VariableCount() const
{
    std::int32_t count = 0;
    for (const auto &var : m_vars) {
        const std::int32_t id = var->VarIdentity();
        if (id == m_DeviceIdentity || id == AnyDeviceIdentity)
            ++count;
    }
    return count;
}

std::int32_t TSoftDet::UnboundVarCount() const
{
    std::int32_t count = 0;
    for (const auto &var : m_vars) {
        const std::int32_t id = var->VarIdentity();
        if ((id == m_DeviceIdentity || id == AnyDeviceIdentity) && !var->IsBound())
            ++count;
    }
    return count;
}

bool TSoftDet::IsAllUnbound() const
{
    return VariableCount() == UnboundVarCount();
}

bool TSoftDet::HasHandle(std::int32_t AHidHandle) const
{
    for (const auto &var : m_vars) {
        if (var->HidHandle() == AHidHandle)
            return true;
    }
    return false;
}

void TSoftDet::UnBindRpt(const std::shared_ptr<TOneHidVar> &AVar)
{
    if (!AVar)
        modErrorHandling::RaiseObjectNotSet(QStringLiteral("TSoftDet:UnBindRpt Method"));
    const std::int16_t type = AVar->RptType();
    const std::int32_t index = AVar->RptIndex();
    if (type == HIDagentX::Input && index == m_reportA)
        m_reportA = -1;
    else if (type == HIDagentX::Output && index == m_reportB)
        m_reportB = -1;
}

bool TSoftDet::HoldsVarOfLastIntf()
{
    if (!m_HIDagent)
        return false;
    HIDagentX &hid = *m_HIDagent;
    hid.SelectOpenIntf(hid.OpenIntfCount() - 1);
    for (const auto &var : m_vars) {
        if (var->IsBound() && hid.FindVar(var->UsagePage(), var->Usage(), var->RptType(), false) >= 0)
            return true;
    }
    return false;
}

std::shared_ptr<TOneHidVar> TSoftDet::namedGet(Slot slot, const char *source)
{
    return Trap(source, [&] {
        // A name emptied by its setter gets a fresh, unbound variable, which
        // it then keeps.
        if (!m_named[slot])
            m_named[slot] = std::make_shared<TOneHidVar>();
        return m_named[slot];
    });
}

void TSoftDet::namedSet(Slot slot, std::shared_ptr<TOneHidVar> v, const char *source)
{
    Trap(source, [&] { m_named[slot] = std::move(v); });
}

// clang-format off
std::shared_ptr<TOneHidVar> TSoftDet::InTempVar() { return namedGet(slotInTempVar, "TSoftDet:InTempVar Property Get"); }
void TSoftDet::setInTempVar(std::shared_ptr<TOneHidVar> v) { namedSet(slotInTempVar, std::move(v), "TSoftDet:InTempVar Property Let"); }
std::shared_ptr<TOneHidVar> TSoftDet::InTempLowVar() { return namedGet(slotInTempLowVar, "TSoftDet:InTempLowVar Property Get"); }
void TSoftDet::setInTempLowVar(std::shared_ptr<TOneHidVar> v) { namedSet(slotInTempLowVar, std::move(v), "TSoftDet:InTempLowVar Property Let"); }
std::shared_ptr<TOneHidVar> TSoftDet::InTempHighVar() { return namedGet(slotInTempHighVar, "TSoftDet:InTempHighVar Property Get"); }
void TSoftDet::setInTempHighVar(std::shared_ptr<TOneHidVar> v) { namedSet(slotInTempHighVar, std::move(v), "TSoftDet:InTempHighVar Property Let"); }
std::shared_ptr<TOneHidVar> TSoftDet::InTempSwitchVar() { return namedGet(slotInTempSwitchVar, "TSoftDet:InTempSwitchVar Property Get"); }
void TSoftDet::setInTempSwitchVar(std::shared_ptr<TOneHidVar> v) { namedSet(slotInTempSwitchVar, std::move(v), "TSoftDet:InTempSwitchVar Property Let"); }
std::shared_ptr<TOneHidVar> TSoftDet::InModeStatus() { return namedGet(slotInModeStatus, "TSoftDet:InModeStatus Property Get"); }
void TSoftDet::setInModeStatus(std::shared_ptr<TOneHidVar> v) { namedSet(slotInModeStatus, std::move(v), "TSoftDet:InModeStatus Property Let"); }
std::shared_ptr<TOneHidVar> TSoftDet::InBootStatus() { return namedGet(slotInBootStatus, "TSoftDet:InBootStatus Property Get"); }
void TSoftDet::setInBootStatus(std::shared_ptr<TOneHidVar> v) { namedSet(slotInBootStatus, std::move(v), "TSoftDet:InBootStatus Property Let"); }
std::shared_ptr<TOneHidVar> TSoftDet::InSondeStatus() { return namedGet(slotInSondeStatus, "TSoftDet:InSondeStatus Property Get"); }
void TSoftDet::setInSondeStatus(std::shared_ptr<TOneHidVar> v) { namedSet(slotInSondeStatus, std::move(v), "TSoftDet:InSondeStatus Property Let"); }
std::shared_ptr<TOneHidVar> TSoftDet::OutTempLowVar() { return namedGet(slotOutTempLowVar, "TSoftDet:OutTempLowVar Property Get"); }
void TSoftDet::setOutTempLowVar(std::shared_ptr<TOneHidVar> v) { namedSet(slotOutTempLowVar, std::move(v), "TSoftDet:OutTempLowVar Property Let"); }
std::shared_ptr<TOneHidVar> TSoftDet::OutTempHighVar() { return namedGet(slotOutTempHighVar, "TSoftDet:OutTempHighVar Property Get"); }
void TSoftDet::setOutTempHighVar(std::shared_ptr<TOneHidVar> v) { namedSet(slotOutTempHighVar, std::move(v), "TSoftDet:OutTempHighVar Property Let"); }
std::shared_ptr<TOneHidVar> TSoftDet::OutModeRelayVar() { return namedGet(slotOutModeRelayVar, "TSoftDet:OutModeRelayVar Property Get"); }
void TSoftDet::setOutModeRelayVar(std::shared_ptr<TOneHidVar> v) { namedSet(slotOutModeRelayVar, std::move(v), "TSoftDet:OutModeRelayVar Property Let"); }
std::shared_ptr<TOneHidVar> TSoftDet::OutBootStatus() { return namedGet(slotOutBootStatus, "TSoftDet:OutBootStatus Property Get"); }
void TSoftDet::setOutBootStatus(std::shared_ptr<TOneHidVar> v) { namedSet(slotOutBootStatus, std::move(v), "TSoftDet:OutBootStatus Property Let"); }
std::shared_ptr<TOneHidVar> TSoftDet::OutBootVar() { return namedGet(slotOutBootVar, "TSoftDet:OutBootVar Property Get"); }
void TSoftDet::setOutBootVar(std::shared_ptr<TOneHidVar> v) { namedSet(slotOutBootVar, std::move(v), "TSoftDet:OutBootVar Property Let"); }
// clang-format on
