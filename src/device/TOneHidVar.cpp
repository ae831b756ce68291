#include "TOneHidVar.h"

#include "modClassIDGenerator.h"
#include "modErrorHandling.h"

using modErrorHandling::Trap;

TOneHidVar::TOneHidVar() : m_ClassDebugID(modClassIDGenerator::NextID()) {}

TOneHidVar::~TOneHidVar() = default;

HIDagentX &TOneHidVar::agent(const char *source) const
{
    if (!m_HIDagent)
        modErrorHandling::RaiseObjectNotSet(QString::fromLatin1(source));
    return *m_HIDagent;
}

void TOneHidVar::DoCreate(std::int32_t MyRptType, std::int32_t MyUsgPage, std::int32_t MyUsg,
                          std::int32_t MyID, const QString &MyName)
{
    m_RptType = modErrorHandling::ToInteger(MyRptType, QStringLiteral("OneHidVar:DoCreate Method"));
    m_UsagePage = MyUsgPage;
    m_Usage = MyUsg;
    m_VarIdentity = MyID;
    m_VarName = MyName;
}

std::int32_t TOneHidVar::ScaleMode()
{
    if (m_VarIndex < 0)
        return HIDagentX::smUnscaledOnly;
    HIDagentX &hid = agent("OneHidVar:ScaleMode Property Get");
    hid.SelectVar(m_VarIndex);
    return hid.VarScaleMode();
}

void TOneHidVar::setScaleMode(std::int32_t vScaleMode)
{
    if (m_VarIndex < 0)
        return;
    HIDagentX &hid = agent("OneHidVar:ScaleMode Property Let");
    hid.SelectVar(m_VarIndex);
    hid.SetVarScaleMode(vScaleMode);
}

std::int32_t TOneHidVar::UnScaledValue()
{
    if (m_VarIndex < 0)
        return 0;
    return agent("OneHidVar:UnScaledValue Property Get").VarUnScaledValue(m_VarIndex);
}

void TOneHidVar::setUnScaledValue(std::int32_t value)
{
    if (m_VarIndex < 0)
        return;
    agent("OneHidVar:UnScaledValue Property Let").SetVarUnScaledValue(m_VarIndex, value);
}

// The flag getters only hand back what Bind copied; they keep their traps so
// that every attribute fails the same way should its source ever change.
bool TOneHidVar::IsButton() const
{
    return Trap("OneHidVar:IsButton Method", [&] { return m_IsButton; });
}

bool TOneHidVar::Volatile() const
{
    return Trap("OneHidVar:Volatile Method", [&] { return m_Volatile; });
}

bool TOneHidVar::NoWrap() const
{
    return Trap("OneHidVar:NoWrap Method", [&] { return m_NoWrap; });
}

bool TOneHidVar::NoPrefState() const
{
    return Trap("OneHidVar:NoPrefState Method", [&] { return m_NoPrefState; });
}

bool TOneHidVar::Linear() const
{
    return Trap("OneHidVar:Linear Method", [&] { return m_Linear; });
}

bool TOneHidVar::HasNullState() const
{
    return Trap("OneHidVar:HasNullState Method", [&] { return m_HasNullState; });
}

bool TOneHidVar::BitsNotBuffer() const
{
    return Trap("OneHidVar:BitsNotBuffer Method", [&] { return m_BitsNotBuffer; });
}

bool TOneHidVar::ArrayNotVariable() const
{
    return Trap("OneHidVar:ArrayNotVariable Method", [&] { return m_ArrayNotVariable; });
}

bool TOneHidVar::AbsoluteNotRelative() const
{
    return Trap("OneHidVar:AbsoluteNotRelative Method", [&] { return m_AbsoluteNotRelative; });
}

std::int16_t TOneHidVar::SizeInBits() const
{
    // The size is kept as the component reports it but handed out as 16 bits;
    // a size that does not fit is a failure, never a silently wrapped number.
    return Trap("OneHidVar:SizeInBits Method",
                [&] { return modErrorHandling::ToInteger(m_SizeInBits, QStringLiteral("OneHidVar")); });
}

std::int32_t TOneHidVar::ScaledValue()
{
    return Trap("OneHidVar:ScaledValue Property Get", [&]() -> std::int32_t {
        if (m_VarIndex < 0)
            return 0;
        return agent("OneHidVar").VarScaledValue(m_VarIndex);
    });
}

void TOneHidVar::setScaledValue(std::int32_t value)
{
    Trap("OneHidVar:ScaledValue Property Let", [&] {
        if (m_VarIndex < 0)
            return;
        agent("OneHidVar").SetVarScaledValue(m_VarIndex, value);
    });
}

bool TOneHidVar::IsBound() const
{
    return Trap("OneHidVar:IsBound Method", [&] { return m_VarIndex >= 0; });
}

bool TOneHidVar::update(bool DataIn)
{
    return Trap("OneHidVar:Update Method", [&] {
        if (m_RptIndex < 0)
            return false;
        HIDagentX &hid = agent("OneHidVar");
        hid.setCurrentRptNum(m_RptIndex);
        switch (m_RptType) {
        case HIDagentX::Input:
            return hid.ReadCurrentRpt();
        case HIDagentX::Output:
            return hid.WriteCurrentRpt();
        case HIDagentX::Feature:
            return DataIn ? hid.ReadCurrentRpt() : hid.WriteCurrentRpt();
        default:
            return false;
        }
    });
}

void TOneHidVar::UnBind()
{
    Trap("OneHidVar:UnBind Method", [&] {
        // HidHandle stays: after its interface has closed, the device object
        // still recognises which interface this variable belonged to.
        m_VarIndex = -1;
        m_RptIndex = -1;
        m_LogicalMaximum = 0;
        m_LogicalMinimum = 0;
        m_PhysicalMaximum = 0;
        m_PhysicalMinimum = 0;
        m_VarName.clear();
        m_StringDescriptor.clear();
    });
}

bool TOneHidVar::Bind(std::shared_ptr<HIDagentX> AHIDagent)
{
    return Trap("OneHidVar:Bind Method", [&] {
        m_HIDagent = std::move(AHIDagent);
        HIDagentX &hid = agent("OneHidVar");
        m_VarIndex = hid.FindVar(m_UsagePage, m_Usage, m_RptType, false);
        if (m_VarIndex < 0)
            return false;
        hid.SelectVar(m_VarIndex);
        m_HidHandle = hid.CurrentIntfHandle();
        m_RptIndex = hid.VarRptIndex(m_VarIndex);
        // Field by field, so a failure half way keeps what was copied so far.
        m_AbsoluteNotRelative = hid.AbsoluteNotRelative();
        m_ArrayNotVariable = hid.ArrayNotVariable();
        m_BitsNotBuffer = hid.BitsNotBuffer();
        m_HasNullState = hid.HasNullState();
        m_IsButton = hid.VarIsButton(m_VarIndex);
        m_Linear = hid.Linear();
        m_LogicalMaximum = hid.LogicalMaximum();
        m_LogicalMinimum = hid.LogicalMinimum();
        m_NoPrefState = hid.NoPrefState();
        m_NoWrap = hid.NoWrap();
        m_PhysicalMaximum = hid.PhysicalMaximum();
        m_PhysicalMinimum = hid.PhysicalMinimum();
        m_SizeInBits = hid.SizeInBits();
        m_StringDescriptor = hid.StringDescriptor();
        m_Volatile = hid.Volatile();
        hid.SetVarName(m_VarIndex, m_VarName);
        hid.SetVarScaleMode(HIDagentX::smUnscaledOnly);
        return true;
    });
}
