#pragma once

#include "HIDagentX.h"

#include <QString>

#include <cstdint>
#include <memory>

// One data variable of the thermostat: one field of one HID report. The
// creator fixes what it is (report type, usage page, usage, name, identity);
// Bind looks it up in the HID access component and copies its attributes.
// The object keeps no value of its own: values and reports live in the
// component and are reached through VarIndex and RptIndex.
//
// Shared by reference (std::shared_ptr<TOneHidVar>); it holds the component
// it was last bound with until it is destroyed.
class TOneHidVar
{
public:
    TOneHidVar();
    TOneHidVar(const TOneHidVar &) = delete;
    TOneHidVar &operator=(const TOneHidVar &) = delete;
    ~TOneHidVar();

    void DoCreate(std::int32_t MyRptType, std::int32_t MyUsgPage, std::int32_t MyUsg, std::int32_t MyID,
                  const QString &MyName);
    std::int32_t VarIdentity() const { return m_VarIdentity; }

    std::int32_t ScaleMode();
    void setScaleMode(std::int32_t vScaleMode);

    std::int32_t Tag() const { return m_Tag; }
    void setTag(std::int32_t vData) { m_Tag = vData; }

    // Nothing reads or writes the variable as a Boolean; it reads false and
    // ignores writes rather than guess which bit pattern means true.
    bool BoolValue() const { return false; }
    void setBoolValue(bool) {}

    std::int32_t UnScaledValue();
    void setUnScaledValue(std::int32_t value);

    QString StringDescriptor() const { return m_StringDescriptor; }
    QString VarName() const { return m_VarName; }
    std::int32_t RptIndex() const { return m_RptIndex; }
    std::int32_t VarIndex() const { return m_VarIndex; }
    std::int16_t RptType() const { return m_RptType; }
    std::int32_t Usage() const { return m_Usage; }
    std::int32_t UsagePage() const { return m_UsagePage; }
    std::int32_t HidHandle() const { return m_HidHandle; }
    std::int32_t PhysicalMinimum() const { return m_PhysicalMinimum; }
    std::int32_t PhysicalMaximum() const { return m_PhysicalMaximum; }
    std::int32_t LogicalMinimum() const { return m_LogicalMinimum; }
    std::int32_t LogicalMaximum() const { return m_LogicalMaximum; }

    bool IsButton() const;
    bool Volatile() const;
    bool NoWrap() const;
    bool NoPrefState() const;
    bool Linear() const;
    bool HasNullState() const;
    bool BitsNotBuffer() const;
    bool ArrayNotVariable() const;
    bool AbsoluteNotRelative() const;
    std::int16_t SizeInBits() const;

    std::int32_t ScaledValue();
    void setScaledValue(std::int32_t value);

    bool IsBound() const;
    bool update(bool DataIn);
    void UnBind();
    bool Bind(std::shared_ptr<HIDagentX> AHIDagent);

    std::int32_t ClassDebugID() const { return m_ClassDebugID; }

private:
    // The component for value and report traffic; fails with "object not
    // set" rather than dereferencing nothing after a Bind(nullptr).
    HIDagentX &agent(const char *source) const;

    std::int32_t m_ClassDebugID;
    std::int32_t m_Tag = 0;
    std::int32_t m_VarIndex = -1;
    std::int16_t m_RptType = 0;
    std::int32_t m_Usage = 0;
    std::int32_t m_UsagePage = 0;
    std::int32_t m_HidHandle = 0;
    std::int32_t m_RptIndex = -1;
    std::int32_t m_VarIdentity = 0;
    std::int32_t m_LogicalMaximum = 0;
    std::int32_t m_LogicalMinimum = 0;
    std::int32_t m_PhysicalMaximum = 0;
    std::int32_t m_PhysicalMinimum = 0;
    std::int32_t m_SizeInBits = 0;
    std::shared_ptr<HIDagentX> m_HIDagent;
    QString m_VarName;
    QString m_StringDescriptor;
    bool m_AbsoluteNotRelative = false;
    bool m_ArrayNotVariable = false;
    bool m_BitsNotBuffer = false;
    bool m_HasNullState = false;
    bool m_Linear = false;
    bool m_NoPrefState = false;
    bool m_NoWrap = false;
    bool m_Volatile = false;
    bool m_IsButton = false;
};
