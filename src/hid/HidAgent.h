#pragma once

#include "HIDagentX.h"
#include "HidField.h"
#include "HidReportLayout.h"
#include "HidTransport.h"

#include <QHash>
#include <cstdint>
#include <memory>
#include <vector>

// The HID access component over a HidTransport (hidraw, or the virtual
// thermostats).
//
// Numbering: open interfaces are kept in opening order (the position that
// SelectOpenIntf takes). Variables and reports of all open interfaces form
// two global lists in that order, one variable per report field and one
// report per (type, report ID) of an interface; AllVarIndex and RptIndex are
// positions in these lists and shift down when an earlier interface closes.
//
// Choices made here:
// - FindVar with its last argument false searches the current interface
//   only, so a device object binding right after SelectOpenIntf finds its
//   own interface's variables and never another thermostat's; with it true,
//   the other open interfaces follow in opening order. SelectVar makes the
//   variable's interface current.
// - IntfName is the product string and the path: "Calidor QN52-W (/dev/hidraw3)";
//   without a product string "HID 0925:5000 (/dev/hidraw3)".
// - OnDeviceConnected/OnDeviceDisconnected count the connected interfaces
//   that match the search settings (all of them when no search switch is on),
//   and are raised only after Activate.
// - An interface that stops answering (Gone) or whose device is removed is
//   closed from the event loop, never inside the call that noticed it, so
//   indexes stay valid for the caller's current work. Until then it still
//   counts as open and keeps its numbers, but its transfers answer false.
// - OnRptSelected and OnRptArrived are raised only while Verbose is true:
//   the program reads every 100 ms and keeps Verbose false so its log stays
//   readable.
// - Both values of a variable are decoded on demand from the report copy, so
//   the scale mode is kept and reported but changes no value.
// - StringDescriptor is empty: string descriptors of fields are not fetched.
// - LogFile, Logging and ShowOperations are kept as settings only.
class HidAgent : public HIDagentX
{
    Q_OBJECT
public:
    // Error codes of the component's own failures (raised as ErrorRecord).
    static constexpr std::int32_t ErrNoCurrentIntf = static_cast<std::int32_t>(0x80040201u);
    static constexpr std::int32_t ErrUnknownHandle = static_cast<std::int32_t>(0x80040202u);
    static constexpr std::int32_t ErrIntfPositionOutOfRange = static_cast<std::int32_t>(0x80040203u);
    static constexpr std::int32_t ErrVarIndexOutOfRange = static_cast<std::int32_t>(0x80040204u);
    static constexpr std::int32_t ErrNoCurrentVar = static_cast<std::int32_t>(0x80040205u);
    static constexpr std::int32_t ErrRptIndexOutOfRange = static_cast<std::int32_t>(0x80040206u);
    static constexpr std::int32_t ErrBadScaleMode = static_cast<std::int32_t>(0x80040207u);

    explicit HidAgent(std::shared_ptr<HidTransport> transport, QObject *parent = nullptr);
    ~HidAgent() override;

    void Activate() override;
    bool OpenMatchingIntfs() override;
    void CloseAllIntfs() override;
    std::int32_t OpenIntfCount() override;
    std::int32_t SelectOpenIntf(std::int32_t position) override;
    void SelectIntf(std::int32_t handle) override;
    std::int32_t CurrentIntfHandle() override;
    std::int32_t CurrentVID() override;
    std::int32_t CurrentPID() override;

    std::int32_t FindVar(std::int32_t usagePage, std::int32_t usage, std::int32_t rptType,
                         bool searchAllIntfs) override;
    void SelectVar(std::int32_t allVarIndex) override;

    bool AbsoluteNotRelative() override;
    bool ArrayNotVariable() override;
    bool BitsNotBuffer() override;
    bool HasNullState() override;
    bool Linear() override;
    bool NoPrefState() override;
    bool NoWrap() override;
    bool Volatile() override;
    std::int32_t LogicalMaximum() override;
    std::int32_t LogicalMinimum() override;
    std::int32_t PhysicalMaximum() override;
    std::int32_t PhysicalMinimum() override;
    std::int32_t SizeInBits() override;
    QString StringDescriptor() override;

    bool VarIsButton(std::int32_t allVarIndex) override;
    std::int32_t VarRptIndex(std::int32_t allVarIndex) override;
    void SetVarName(std::int32_t allVarIndex, const QString &name) override;
    std::int32_t VarScaleMode() override;
    void SetVarScaleMode(std::int32_t mode) override;
    std::int32_t VarUnScaledValue(std::int32_t allVarIndex) override;
    std::int32_t VarScaledValue(std::int32_t allVarIndex) override;
    void SetVarUnScaledValue(std::int32_t allVarIndex, std::int32_t value) override;
    void SetVarScaledValue(std::int32_t allVarIndex, std::int32_t value) override;

    void setCurrentRptNum(std::int32_t rptIndex) override;
    std::int32_t CurrentRptNum() override;
    void SelectRpt(std::int32_t rptIndex) override;
    bool ReadCurrentRpt() override;
    bool WriteCurrentRpt() override;

    // Beyond the interface, for the log and the tests.
    bool isActive() const { return m_active; }
    std::int32_t AllVarCount() const;
    std::int32_t AllRptCount() const;
    QString IntfName(std::int32_t position) const;            // empty when out of range
    QString VarName(std::int32_t allVarIndex) const;          // empty when out of range
    const HidField *VarField(std::int32_t allVarIndex) const; // null when out of range

private:
    struct Variable
    {
        HidField field;
        std::size_t report = 0; // index in the interface's reports
        QString name;
        std::int32_t scaleMode = smBoth;
    };

    struct Report
    {
        HidReportInfo info;
        std::vector<std::uint8_t> buffer; // report-ID byte first
    };

    struct Interface
    {
        std::uint64_t serial = 0; // tells a pending close which interface it meant
        QString path;
        QString name;
        std::uint16_t vendorId = 0;
        std::uint16_t productId = 0;
        std::int32_t handle = 0;
        // Kept open until the interface is closed, even once gone, so the
        // operating system cannot hand its handle to another interface while
        // this one is still listed.
        std::unique_ptr<HidConnection> connection;
        bool gone = false;
        std::vector<Report> reports;
        std::vector<Variable> vars;
    };

    struct VarRef
    {
        Interface *intf = nullptr;
        std::size_t index = 0;
    };

    Interface *currentIntf(const char *member) const;
    VarRef varAt(std::int32_t allVarIndex, const char *member) const;
    VarRef currentVar(const char *member) const;
    VarRef reportAt(std::int32_t rptIndex, const char *member) const;
    std::int32_t globalVarIndex(const Interface *intf, std::size_t index) const;
    std::int32_t globalRptIndex(const Interface *intf, std::size_t index) const;
    const HidField &currentField(const char *member) const;

    bool matches(std::uint16_t vendorId, std::uint16_t productId) const;
    Interface *openInterfaceAt(const QString &path) const;
    bool openInterface(const HidDeviceInfo &info);
    void closeInterface(Interface *intf);
    void markGone(Interface *intf);
    void finishPendingClose(std::uint64_t serial);
    std::int32_t connectedCount();
    QString nameOf(const HidDeviceInfo &info) const;

    void deviceArrived(const QString &path);
    void deviceRemoved(const QString &path);

    std::shared_ptr<HidTransport> m_transport;
    std::vector<std::unique_ptr<Interface>> m_intfs;
    Interface *m_currentIntf = nullptr;
    VarRef m_currentVar;
    VarRef m_currentRpt;
    std::uint64_t m_nextSerial = 1;
    bool m_active = false;
    QHash<QString, QString> m_knownNames; // path -> name, for removal notices
};
