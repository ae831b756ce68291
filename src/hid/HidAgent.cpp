#include "HidAgent.h"

#include "ErrorRecord.h"
#include "ReportCodec.h"
#include "ReportDescriptorParser.h"

#include <QMetaObject>
#include <algorithm>

namespace {

QString sourceOf(const char *member)
{
    return QStringLiteral("HIDagentX:") + QLatin1String(member);
}

} // namespace

HidAgent::HidAgent(std::shared_ptr<HidTransport> transport, QObject *parent)
    : HIDagentX(parent), m_transport(std::move(transport))
{
    if (m_transport) {
        connect(m_transport.get(), &HidTransport::deviceArrived, this, &HidAgent::deviceArrived);
        connect(m_transport.get(), &HidTransport::deviceRemoved, this, &HidAgent::deviceRemoved);
    }
}

// Connections close with their interfaces; no event is raised while the
// component itself goes away.
HidAgent::~HidAgent() = default;

void HidAgent::Activate()
{
    m_active = true;
}

// --- lookups ---------------------------------------------------------------

HidAgent::Interface *HidAgent::currentIntf(const char *member) const
{
    if (!m_currentIntf)
        throw ErrorRecord(ErrNoCurrentIntf, sourceOf(member), QStringLiteral("No interface is selected."));
    return m_currentIntf;
}

HidAgent::VarRef HidAgent::varAt(std::int32_t allVarIndex, const char *member) const
{
    if (allVarIndex >= 0) {
        std::size_t rest = static_cast<std::size_t>(allVarIndex);
        for (const auto &intf : m_intfs) {
            if (rest < intf->vars.size())
                return VarRef{intf.get(), rest};
            rest -= intf->vars.size();
        }
    }
    throw ErrorRecord(ErrVarIndexOutOfRange, sourceOf(member),
                      QStringLiteral("Variable index %1 is out of range (%2 variables).")
                          .arg(allVarIndex)
                          .arg(AllVarCount()));
}

HidAgent::VarRef HidAgent::currentVar(const char *member) const
{
    if (!m_currentVar.intf)
        throw ErrorRecord(ErrNoCurrentVar, sourceOf(member), QStringLiteral("No variable is selected."));
    return m_currentVar;
}

const HidField &HidAgent::currentField(const char *member) const
{
    const VarRef v = currentVar(member);
    return v.intf->vars[v.index].field;
}

HidAgent::VarRef HidAgent::reportAt(std::int32_t rptIndex, const char *member) const
{
    if (rptIndex >= 0) {
        std::size_t rest = static_cast<std::size_t>(rptIndex);
        for (const auto &intf : m_intfs) {
            if (rest < intf->reports.size())
                return VarRef{intf.get(), rest};
            rest -= intf->reports.size();
        }
    }
    throw ErrorRecord(
        ErrRptIndexOutOfRange, sourceOf(member),
        QStringLiteral("Report index %1 is out of range (%2 reports).").arg(rptIndex).arg(AllRptCount()));
}

std::int32_t HidAgent::globalVarIndex(const Interface *intf, std::size_t index) const
{
    std::size_t base = 0;
    for (const auto &i : m_intfs) {
        if (i.get() == intf)
            return static_cast<std::int32_t>(base + index);
        base += i->vars.size();
    }
    return -1;
}

std::int32_t HidAgent::globalRptIndex(const Interface *intf, std::size_t index) const
{
    std::size_t base = 0;
    for (const auto &i : m_intfs) {
        if (i.get() == intf)
            return static_cast<std::int32_t>(base + index);
        base += i->reports.size();
    }
    return -1;
}

std::int32_t HidAgent::AllVarCount() const
{
    std::size_t n = 0;
    for (const auto &i : m_intfs)
        n += i->vars.size();
    return static_cast<std::int32_t>(n);
}

std::int32_t HidAgent::AllRptCount() const
{
    std::size_t n = 0;
    for (const auto &i : m_intfs)
        n += i->reports.size();
    return static_cast<std::int32_t>(n);
}

QString HidAgent::IntfName(std::int32_t position) const
{
    if (position < 0 || position >= static_cast<std::int32_t>(m_intfs.size()))
        return {};
    return m_intfs[static_cast<std::size_t>(position)]->name;
}

QString HidAgent::VarName(std::int32_t allVarIndex) const
{
    if (allVarIndex < 0 || allVarIndex >= AllVarCount())
        return {};
    const VarRef v = varAt(allVarIndex, "VarName");
    return v.intf->vars[v.index].name;
}

const HidField *HidAgent::VarField(std::int32_t allVarIndex) const
{
    if (allVarIndex < 0 || allVarIndex >= AllVarCount())
        return nullptr;
    const VarRef v = varAt(allVarIndex, "VarField");
    return &v.intf->vars[v.index].field;
}

// --- interfaces --------------------------------------------------------------

bool HidAgent::matches(std::uint16_t vendorId, std::uint16_t productId) const
{
    if (SearchOnVID() && vendorId != VID_To_Match())
        return false;
    if (SearchOnPID() && productId != PID_To_Match())
        return false;
    return true;
}

HidAgent::Interface *HidAgent::openInterfaceAt(const QString &path) const
{
    for (const auto &i : m_intfs)
        if (i->path == path && !i->gone)
            return i.get();
    return nullptr;
}

QString HidAgent::nameOf(const HidDeviceInfo &info) const
{
    const QString product = info.product.trimmed().isEmpty()
                                ? QStringLiteral("HID %1:%2")
                                      .arg(info.vendorId, 4, 16, QLatin1Char('0'))
                                      .arg(info.productId, 4, 16, QLatin1Char('0'))
                                : info.product.trimmed();
    return product + QStringLiteral(" (") + info.path + QLatin1Char(')');
}

bool HidAgent::OpenMatchingIntfs()
{
    if (!m_transport)
        return false;
    const std::vector<HidDeviceInfo> found = m_transport->enumerate();
    for (const auto &info : found) {
        m_knownNames.insert(info.path, nameOf(info));
        // Opened-event handlers may open or close interfaces themselves, so
        // the check is made afresh for every device.
        if (matches(info.vendorId, info.productId) && !openInterfaceAt(info.path))
            openInterface(info);
    }
    return std::any_of(m_intfs.begin(), m_intfs.end(),
                       [this](const auto &i) { return !i->gone && matches(i->vendorId, i->productId); });
}

bool HidAgent::openInterface(const HidDeviceInfo &info)
{
    const QString name = nameOf(info);
    ReportDescriptorParser parser;
    if (!parser.parse(info.reportDescriptor)) {
        emit OnAgentMessage(QStringLiteral("%1 not opened: its report descriptor is invalid (%2 at byte %3).")
                                .arg(name, parser.error())
                                .arg(parser.errorOffset()));
        return false;
    }
    QString why;
    std::unique_ptr<HidConnection> connection = m_transport->open(info.path, &why);
    if (!connection) {
        emit OnAgentMessage(QStringLiteral("%1 not opened: %2.")
                                .arg(name, why.isEmpty() ? QStringLiteral("open failed") : why));
        return false;
    }

    auto intf = std::make_unique<Interface>();
    intf->serial = m_nextSerial++;
    intf->path = info.path;
    intf->name = name;
    intf->vendorId = info.vendorId;
    intf->productId = info.productId;
    intf->handle = connection->handle();
    intf->connection = std::move(connection);

    const HidReportLayout &layout = parser.layout();
    for (const auto &r : layout.reports)
        intf->reports.push_back(Report{r, ReportCodec::newReport(r)});
    for (const auto &f : layout.fields) {
        Variable v;
        v.field = f;
        for (std::size_t r = 0; r < layout.reports.size(); ++r)
            if (layout.reports[r].type == f.reportType && layout.reports[r].id == f.reportId)
                v.report = r;
        intf->vars.push_back(std::move(v));
    }

    m_intfs.push_back(std::move(intf));
    emit OnIntfOpened(0, 0, OpenIntfCount(), name);
    return true;
}

void HidAgent::closeInterface(Interface *intf)
{
    const auto it =
        std::find_if(m_intfs.begin(), m_intfs.end(), [&](const auto &p) { return p.get() == intf; });
    if (it == m_intfs.end())
        return;
    std::unique_ptr<Interface> closing = std::move(*it);
    m_intfs.erase(it);
    if (m_currentIntf == intf)
        m_currentIntf = nullptr;
    if (m_currentVar.intf == intf)
        m_currentVar = VarRef{};
    if (m_currentRpt.intf == intf)
        m_currentRpt = VarRef{};
    const QString name = closing->name;
    const std::int32_t handle = closing->handle;
    closing.reset();
    emit OnIntfClosed(OpenIntfCount(), name, handle);
}

void HidAgent::markGone(Interface *intf)
{
    if (intf->gone)
        return; // already on its way out
    intf->gone = true;
    const std::uint64_t serial = intf->serial;
    QMetaObject::invokeMethod(
        this, [this, serial] { finishPendingClose(serial); }, Qt::QueuedConnection);
}

void HidAgent::finishPendingClose(std::uint64_t serial)
{
    for (const auto &i : m_intfs)
        if (i->serial == serial) {
            closeInterface(i.get());
            return;
        }
}

void HidAgent::CloseAllIntfs()
{
    // Handlers of the closed event may select or re-bind the remaining
    // interfaces; close by serial so that cannot confuse the walk.
    std::vector<std::uint64_t> serials;
    for (const auto &i : m_intfs)
        serials.push_back(i->serial);
    for (std::uint64_t s : serials)
        finishPendingClose(s);
}

std::int32_t HidAgent::OpenIntfCount()
{
    return static_cast<std::int32_t>(m_intfs.size());
}

std::int32_t HidAgent::SelectOpenIntf(std::int32_t position)
{
    if (position < 0 || position >= OpenIntfCount())
        throw ErrorRecord(ErrIntfPositionOutOfRange, sourceOf("SelectOpenIntf"),
                          QStringLiteral("Open interface position %1 is out of range (%2 open).")
                              .arg(position)
                              .arg(OpenIntfCount()));
    m_currentIntf = m_intfs[static_cast<std::size_t>(position)].get();
    return m_currentIntf->handle;
}

void HidAgent::SelectIntf(std::int32_t handle)
{
    for (const auto &i : m_intfs)
        if (i->handle == handle) {
            m_currentIntf = i.get();
            return;
        }
    throw ErrorRecord(ErrUnknownHandle, sourceOf("SelectIntf"),
                      QStringLiteral("No open interface has the handle 0x%1.").arg(handle, 0, 16));
}

std::int32_t HidAgent::CurrentIntfHandle()
{
    return currentIntf("CurrentIntfHandle")->handle;
}

std::int32_t HidAgent::CurrentVID()
{
    return currentIntf("CurrentVID")->vendorId;
}

std::int32_t HidAgent::CurrentPID()
{
    return currentIntf("CurrentPID")->productId;
}

std::int32_t HidAgent::connectedCount()
{
    if (!m_transport)
        return 0;
    const auto found = m_transport->enumerate();
    return static_cast<std::int32_t>(
        std::count_if(found.begin(), found.end(),
                      [this](const HidDeviceInfo &d) { return matches(d.vendorId, d.productId); }));
}

void HidAgent::deviceArrived(const QString &path)
{
    QString name = path;
    for (const auto &info : m_transport->enumerate())
        if (info.path == path) {
            name = nameOf(info);
            m_knownNames.insert(path, name);
        }
    if (m_active)
        emit OnDeviceConnected(connectedCount(), name);
}

void HidAgent::deviceRemoved(const QString &path)
{
    // The interface may already be marked gone by a failed transfer; it is
    // still closed once only.
    for (const auto &i : m_intfs)
        if (i->path == path)
            markGone(i.get());
    const QString name = m_knownNames.value(path, path);
    m_knownNames.remove(path);
    if (m_active)
        emit OnDeviceDisconnected(connectedCount(), name);
}

// --- variables ---------------------------------------------------------------

std::int32_t HidAgent::FindVar(std::int32_t usagePage, std::int32_t usage, std::int32_t rptType,
                               bool searchAllIntfs)
{
    if (rptType < Input || rptType > Feature)
        return -1;
    const auto type = static_cast<HidReportType>(rptType);
    auto search = [&](const Interface *intf) -> std::int32_t {
        if (intf->gone)
            return -1;
        for (std::size_t k = 0; k < intf->vars.size(); ++k) {
            const HidField &f = intf->vars[k].field;
            if (f.reportType == type && f.usagePage == usagePage && f.usage == usage)
                return globalVarIndex(intf, k);
        }
        return -1;
    };
    if (m_currentIntf) {
        const std::int32_t found = search(m_currentIntf);
        if (found >= 0 || !searchAllIntfs)
            return found;
    } else if (!searchAllIntfs) {
        return -1;
    }
    for (const auto &i : m_intfs) {
        if (i.get() == m_currentIntf)
            continue;
        const std::int32_t found = search(i.get());
        if (found >= 0)
            return found;
    }
    return -1;
}

void HidAgent::SelectVar(std::int32_t allVarIndex)
{
    m_currentVar = varAt(allVarIndex, "SelectVar");
    m_currentIntf = m_currentVar.intf;
}

bool HidAgent::AbsoluteNotRelative()
{
    return currentField("AbsoluteNotRelative").AbsoluteNotRelative();
}
bool HidAgent::ArrayNotVariable()
{
    return currentField("ArrayNotVariable").ArrayNotVariable();
}
bool HidAgent::BitsNotBuffer()
{
    return currentField("BitsNotBuffer").BitsNotBuffer();
}
bool HidAgent::HasNullState()
{
    return currentField("HasNullState").HasNullState();
}
bool HidAgent::Linear()
{
    return currentField("Linear").Linear();
}
bool HidAgent::NoPrefState()
{
    return currentField("NoPrefState").NoPrefState();
}
bool HidAgent::NoWrap()
{
    return currentField("NoWrap").NoWrap();
}
bool HidAgent::Volatile()
{
    return currentField("Volatile").Volatile();
}
std::int32_t HidAgent::LogicalMaximum()
{
    return currentField("LogicalMaximum").logicalMaximum;
}
std::int32_t HidAgent::LogicalMinimum()
{
    return currentField("LogicalMinimum").logicalMinimum;
}
std::int32_t HidAgent::PhysicalMaximum()
{
    return currentField("PhysicalMaximum").physicalMaximum;
}
std::int32_t HidAgent::PhysicalMinimum()
{
    return currentField("PhysicalMinimum").physicalMinimum;
}

std::int32_t HidAgent::SizeInBits()
{
    return static_cast<std::int32_t>(currentField("SizeInBits").sizeInBits);
}

QString HidAgent::StringDescriptor()
{
    currentVar("StringDescriptor");
    return {};
}

bool HidAgent::VarIsButton(std::int32_t allVarIndex)
{
    const VarRef v = varAt(allVarIndex, "VarIsButton");
    return v.intf->vars[v.index].field.IsButton();
}

std::int32_t HidAgent::VarRptIndex(std::int32_t allVarIndex)
{
    const VarRef v = varAt(allVarIndex, "VarRptIndex");
    return globalRptIndex(v.intf, v.intf->vars[v.index].report);
}

void HidAgent::SetVarName(std::int32_t allVarIndex, const QString &name)
{
    const VarRef v = varAt(allVarIndex, "SetVarName");
    v.intf->vars[v.index].name = name;
}

std::int32_t HidAgent::VarScaleMode()
{
    const VarRef v = currentVar("VarScaleMode");
    return v.intf->vars[v.index].scaleMode;
}

void HidAgent::SetVarScaleMode(std::int32_t mode)
{
    const VarRef v = currentVar("SetVarScaleMode");
    if (mode < smBoth || mode > smScaledOnly)
        throw ErrorRecord(ErrBadScaleMode, sourceOf("SetVarScaleMode"),
                          QStringLiteral("Scale mode %1 is not 0, 1 or 2.").arg(mode));
    v.intf->vars[v.index].scaleMode = mode;
}

std::int32_t HidAgent::VarUnScaledValue(std::int32_t allVarIndex)
{
    const VarRef v = varAt(allVarIndex, "VarUnScaledValue");
    const Variable &var = v.intf->vars[v.index];
    return ReportCodec::unScaledValue(var.field, v.intf->reports[var.report].buffer);
}

std::int32_t HidAgent::VarScaledValue(std::int32_t allVarIndex)
{
    const VarRef v = varAt(allVarIndex, "VarScaledValue");
    const Variable &var = v.intf->vars[v.index];
    return ReportCodec::scaledValue(var.field, v.intf->reports[var.report].buffer);
}

void HidAgent::SetVarUnScaledValue(std::int32_t allVarIndex, std::int32_t value)
{
    const VarRef v = varAt(allVarIndex, "SetVarUnScaledValue");
    const Variable &var = v.intf->vars[v.index];
    ReportCodec::setUnScaledValue(var.field, v.intf->reports[var.report].buffer, value);
}

void HidAgent::SetVarScaledValue(std::int32_t allVarIndex, std::int32_t value)
{
    const VarRef v = varAt(allVarIndex, "SetVarScaledValue");
    const Variable &var = v.intf->vars[v.index];
    ReportCodec::setScaledValue(var.field, v.intf->reports[var.report].buffer, value);
}

// --- reports -----------------------------------------------------------------

void HidAgent::setCurrentRptNum(std::int32_t rptIndex)
{
    m_currentRpt = reportAt(rptIndex, "CurrentRptNum");
    if (Verbose())
        emit OnRptSelected(rptIndex);
}

std::int32_t HidAgent::CurrentRptNum()
{
    return m_currentRpt.intf ? globalRptIndex(m_currentRpt.intf, m_currentRpt.index) : -1;
}

void HidAgent::SelectRpt(std::int32_t rptIndex)
{
    m_currentRpt = reportAt(rptIndex, "SelectRpt");
    if (Verbose())
        emit OnRptSelected(rptIndex);
}

bool HidAgent::ReadCurrentRpt()
{
    Interface *intf = m_currentRpt.intf;
    if (!intf || intf->gone)
        return false;
    Report &report = intf->reports[m_currentRpt.index];
    if (report.info.type == HidReportType::Output)
        return false;

    // Read into a scratch buffer so a failed transfer leaves the copy as it was.
    std::vector<std::uint8_t> incoming = ReportCodec::newReport(report.info);
    const HidIoStatus status = report.info.type == HidReportType::Input
                                   ? intf->connection->readInputReport(report.info.id, incoming, TimeOut())
                                   : intf->connection->getFeatureReport(report.info.id, incoming);
    if (status == HidIoStatus::Gone) {
        markGone(intf);
        return false;
    }
    if (status != HidIoStatus::Ok || incoming.empty() || incoming[0] != report.info.id)
        return false;
    // A report of the wrong length is cut or padded to the declared one.
    incoming.resize(report.buffer.size(), 0);
    report.buffer = std::move(incoming);

    if (Verbose())
        emit OnRptArrived(static_cast<std::int32_t>(m_currentRpt.index),
                          globalRptIndex(intf, m_currentRpt.index));
    return true;
}

bool HidAgent::WriteCurrentRpt()
{
    Interface *intf = m_currentRpt.intf;
    if (!intf || intf->gone)
        return false;
    const Report &report = intf->reports[m_currentRpt.index];
    if (report.info.type == HidReportType::Input)
        return false;
    const HidIoStatus status = report.info.type == HidReportType::Output
                                   ? intf->connection->writeOutputReport(report.buffer)
                                   : intf->connection->setFeatureReport(report.buffer);
    if (status == HidIoStatus::Gone) {
        markGone(intf);
        return false;
    }
    return status == HidIoStatus::Ok;
}
