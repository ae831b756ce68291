#pragma once

#include <QObject>
#include <QString>
#include <cstdint>

// The HID access component as the rest of the program sees it: settings,
// operations on a current interface, variable and report, and seven events.
// Variables are numbered by AllVarIndex and reports by RptIndex across all
// open interfaces. `HidAgent` is the implementation over a HidTransport;
// tests may derive their own doubles.
//
// Operations fail by throwing ErrorRecord. Events are emitted on the
// user-interface thread.
class HIDagentX : public QObject
{
    Q_OBJECT
public:
    enum ReportType : std::int16_t { Input = 0, Output = 1, Feature = 2 };
    enum ScaleMode : std::int32_t { smBoth = 0, smUnscaledOnly = 1, smScaledOnly = 2 };

    using QObject::QObject;
    ~HIDagentX() override = default;

    // --- settings -------------------------------------------------------
    QString LogFile() const { return m_logFile; }
    void setLogFile(const QString &v) { m_logFile = v; }
    bool Logging() const { return m_logging; }
    void setLogging(bool v) { m_logging = v; }
    std::int32_t TimeOut() const { return m_timeOut; }
    void setTimeOut(std::int32_t v) { m_timeOut = v; }
    bool ShowOperations() const { return m_showOperations; }
    void setShowOperations(bool v) { m_showOperations = v; }
    bool Verbose() const { return m_verbose; }
    void setVerbose(bool v) { m_verbose = v; }

    std::int32_t VID_To_Match() const { return m_vidToMatch; }
    void setVID_To_Match(std::int32_t v) { m_vidToMatch = v; }
    std::int32_t PID_To_Match() const { return m_pidToMatch; }
    void setPID_To_Match(std::int32_t v) { m_pidToMatch = v; }
    bool SearchOnVID() const { return m_searchOnVid; }
    void setSearchOnVID(bool v) { m_searchOnVid = v; }
    bool SearchOnPID() const { return m_searchOnPid; }
    void setSearchOnPID(bool v) { m_searchOnPid = v; }

    // --- interfaces -----------------------------------------------------
    virtual void Activate() = 0;
    virtual bool OpenMatchingIntfs() = 0;
    virtual void CloseAllIntfs() = 0;
    virtual std::int32_t OpenIntfCount() = 0;
    virtual std::int32_t SelectOpenIntf(std::int32_t position) = 0; // -> handle
    virtual void SelectIntf(std::int32_t handle) = 0;
    virtual std::int32_t CurrentIntfHandle() = 0;
    virtual std::int32_t CurrentVID() = 0;
    virtual std::int32_t CurrentPID() = 0;

    // --- variables ------------------------------------------------------
    // The AllVarIndex of the variable with these usages in a report of that
    // type, negative when there is none. With `searchAllIntfs` false only
    // the current interface is searched (none current: none found); with it
    // true the current one first, then the other open ones in opening order.
    virtual std::int32_t FindVar(std::int32_t usagePage, std::int32_t usage, std::int32_t rptType,
                                 bool searchAllIntfs) = 0;
    virtual void SelectVar(std::int32_t allVarIndex) = 0;

    // Attributes of the current variable.
    virtual bool AbsoluteNotRelative() = 0;
    virtual bool ArrayNotVariable() = 0;
    virtual bool BitsNotBuffer() = 0;
    virtual bool HasNullState() = 0;
    virtual bool Linear() = 0;
    virtual bool NoPrefState() = 0;
    virtual bool NoWrap() = 0;
    virtual bool Volatile() = 0;
    virtual std::int32_t LogicalMaximum() = 0;
    virtual std::int32_t LogicalMinimum() = 0;
    virtual std::int32_t PhysicalMaximum() = 0;
    virtual std::int32_t PhysicalMinimum() = 0;
    virtual std::int32_t SizeInBits() = 0;
    virtual QString StringDescriptor() = 0;

    virtual bool VarIsButton(std::int32_t allVarIndex) = 0;
    virtual std::int32_t VarRptIndex(std::int32_t allVarIndex) = 0;
    virtual void SetVarName(std::int32_t allVarIndex, const QString &name) = 0;
    virtual std::int32_t VarScaleMode() = 0;             // of the current variable
    virtual void SetVarScaleMode(std::int32_t mode) = 0; // of the current variable
    virtual std::int32_t VarUnScaledValue(std::int32_t allVarIndex) = 0;
    virtual std::int32_t VarScaledValue(std::int32_t allVarIndex) = 0;
    virtual void SetVarUnScaledValue(std::int32_t allVarIndex, std::int32_t value) = 0;
    virtual void SetVarScaledValue(std::int32_t allVarIndex, std::int32_t value) = 0;

    // --- reports --------------------------------------------------------
    virtual void setCurrentRptNum(std::int32_t rptIndex) = 0;
    virtual std::int32_t CurrentRptNum() = 0;
    virtual void SelectRpt(std::int32_t rptIndex) = 0;
    virtual bool ReadCurrentRpt() = 0;
    virtual bool WriteCurrentRpt() = 0;

signals:
    void OnIntfClosed(std::int32_t NumStillOpen, const QString &IntfName, std::int32_t AHidHandle);
    void OnDeviceConnected(std::int32_t NumConnected, const QString &Name);
    void OnDeviceDisconnected(std::int32_t NumConnected, const QString &Name);
    void OnAgentMessage(const QString &Text);
    void OnIntfOpened(std::int32_t Value1, std::int32_t Value2, std::int32_t NumOpen,
                      const QString &IntfName);
    void OnRptArrived(std::int32_t RptIndexInIntf, std::int32_t AllRptIndex);
    void OnRptSelected(std::int32_t AllRptIndex);

private:
    QString m_logFile = QStringLiteral("HidLog.txt");
    bool m_logging = false;
    std::int32_t m_timeOut = 3000;
    bool m_showOperations = false;
    bool m_verbose = false;
    std::int32_t m_vidToMatch = 0;
    std::int32_t m_pidToMatch = 0;
    bool m_searchOnVid = false;
    bool m_searchOnPid = false;
};
