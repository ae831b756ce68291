#include "ThermostatLink.h"

#include "ErrorRecord.h"
#include "ReadCycle.h"
#include "ThermostatId.h"

#include <QFile>
#include <QMetaObject>
#include <QStringList>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

bool isThermostat(const HidDeviceInfo &info)
{
    return info.vendorId == TSoftDet::ThermostatVID && info.productId == TSoftDet::ThermostatPID;
}

// Why a node does not open, asked of the system itself: the component's
// message is meant for a log, not for choosing what to tell the user.
int openErrno(const QString &path)
{
    if (!path.startsWith(QLatin1Char('/')))
        return 0;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd >= 0) {
        ::close(fd);
        return 0;
    }
    return errno;
}

QString describe(const ErrorRecord &e)
{
    return e.source() + QStringLiteral(": ") + e.description();
}

} // namespace

ThermostatLink::ThermostatLink(std::shared_ptr<HidTransport> transport, QObject *parent)
    : QObject(parent), m_inner(std::move(transport)),
      m_transport(std::make_shared<SelectedTransport>(m_inner)),
      m_agent(std::make_shared<HidAgent>(m_transport))
{
    m_agent->setTimeOut(kTimeoutMs);
    m_agent->setShowOperations(false);
    m_agent->setVerbose(false);
    m_agent->setVID_To_Match(TSoftDet::ThermostatVID);
    m_agent->setPID_To_Match(TSoftDet::ThermostatPID);
    m_agent->setSearchOnVID(true);
    m_agent->setSearchOnPID(true);
    m_agent->Activate();
    connect(m_agent.get(), &HIDagentX::OnIntfOpened, this, &ThermostatLink::intfOpened);
    connect(m_agent.get(), &HIDagentX::OnIntfClosed, this, &ThermostatLink::intfClosed);
    connect(m_agent.get(), &HIDagentX::OnAgentMessage, this,
            [this](const QString &text) { m_agentMessage = text; });
    // Queued: the component hears of the arrival first and the event has
    // ended before the node is opened.
    connect(m_inner.get(), &HidTransport::deviceArrived, this, &ThermostatLink::deviceArrived,
            Qt::QueuedConnection);
}

ThermostatLink::~ThermostatLink()
{
    // The device object goes first, quietly: no "lost" while shutting down.
    disconnect(m_agent.get(), nullptr, this, nullptr);
    if (m_device)
        m_device->Shutdown();
    m_device.reset();
    m_agent->CloseAllIntfs();
}

std::vector<HidDeviceInfo> ThermostatLink::thermostatsOf(HidTransport &transport)
{
    std::vector<HidDeviceInfo> found;
    for (HidDeviceInfo &info : transport.enumerate())
        if (isThermostat(info))
            found.push_back(std::move(info));
    return found;
}

ThermostatLink::Failure ThermostatLink::choose(const QString &selection,
                                               const std::vector<HidDeviceInfo> &candidates, QString *path,
                                               QString *id)
{
    if (candidates.empty())
        return {ExitCode::Device, QStringLiteral("no thermostat found")};
    const std::vector<QString> ids = ThermostatId::assign(candidates);
    const auto chosen = [&](std::size_t i) -> Failure {
        *path = candidates[i].path;
        if (id)
            *id = ids[i];
        return {};
    };
    if (selection.isEmpty()) {
        if (candidates.size() == 1)
            return chosen(0);
        QStringList names;
        for (std::size_t i = 0; i < candidates.size(); ++i)
            names << QStringLiteral("%1 %2 (%3)").arg(i + 1).arg(ids[i], candidates[i].path);
        return {ExitCode::Usage, QStringLiteral("%1 thermostats found (%2); choose one with --device")
                                     .arg(candidates.size())
                                     .arg(names.join(QStringLiteral(", ")))};
    }
    for (std::size_t i = 0; i < candidates.size(); ++i)
        if (candidates[i].path == selection)
            return chosen(i);
    // An id before a position: a serial may well be all digits, and the
    // id is what scripts are told to use.
    for (std::size_t i = 0; i < ids.size(); ++i)
        if (ids[i] == selection)
            return chosen(i);
    bool isNumber = false;
    const qulonglong position = selection.toULongLong(&isNumber);
    if (isNumber) {
        if (position < 1 || position > candidates.size())
            return {ExitCode::Device, QStringLiteral("no thermostat at position %1 (%2 found)")
                                          .arg(selection)
                                          .arg(candidates.size())};
        return chosen(position - 1);
    }
    return {ExitCode::Device, QStringLiteral("%1 is not a thermostat").arg(selection)};
}

ThermostatLink::Failure ThermostatLink::openFailure(const QString &path, int err, const QString &reason)
{
    switch (err) {
    case EACCES:
    case EPERM:
        return {
            ExitCode::Device,
            QStringLiteral("no permission to open %1; the udev rule %2 gives the user at the seat and the "
                           "group calidor access to the thermostat: install it, then unplug and replug the "
                           "thermostat")
                .arg(path, kUdevRule)};
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return {ExitCode::Device, QStringLiteral("%1 vanished before it could be opened").arg(path)};
    case EBUSY:
        return {ExitCode::Device, QStringLiteral("%1 is busy: another program holds it").arg(path)};
    default:
        break;
    }
    QString why = reason;
    if (why.isEmpty())
        why = err ? QString::fromLocal8Bit(std::strerror(err)) : QStringLiteral("it did not open");
    return {ExitCode::Device, QStringLiteral("cannot open %1: %2").arg(path, why)};
}

ThermostatLink::Failure ThermostatLink::open(const QString &selection)
{
    m_selection = selection;
    QString path;
    if (const Failure chosen = choose(selection, thermostats(), &path, &m_id))
        return chosen;
    const Failure opened = tryOpen(path);
    m_follow = !opened;
    return opened;
}

ThermostatLink::Failure ThermostatLink::tryOpen(const QString &path)
{
    m_transport->select(path);
    m_agentMessage.clear();
    m_bindFailure.clear();
    m_agent->OpenMatchingIntfs();
    if (m_device)
        return {};
    if (!m_bindFailure.isEmpty()) {
        m_agent->CloseAllIntfs();
        return {ExitCode::Device, QStringLiteral("%1: %2").arg(path, m_bindFailure)};
    }
    return openFailure(path, openErrno(path), m_agentMessage);
}

void ThermostatLink::intfOpened()
{
    auto device = std::make_shared<TSoftDet>();
    try {
        const std::int32_t unbound = device->BindVars(m_agent);
        if (unbound == 0) {
            m_device = device;
            return;
        }
        m_bindFailure = unbound < 0
                            ? QStringLiteral("not a thermostat")
                            : QStringLiteral("%1 of the thermostat's twelve values are missing from its "
                                             "reports")
                                  .arg(unbound);
    } catch (const ErrorRecord &e) {
        m_bindFailure = describe(e);
    }
}

void ThermostatLink::intfClosed(std::int32_t numStillOpen, const QString &name, std::int32_t handle)
{
    if (!m_device)
        return;
    m_device->HidClosed(this, numStillOpen, name, handle);
    if (m_device->HasHandle(handle)) {
        m_device->Shutdown();
        m_device.reset();
        emit lost(device());
        return;
    }
    // Another interface went: the numbering has moved under ours.
    try {
        m_agent->SelectIntf(m_agent->SelectOpenIntf(0));
        m_device->ReBind(m_agent);
    } catch (const ErrorRecord &) {
        m_device.reset();
        emit lost(device());
    }
}

void ThermostatLink::deviceArrived()
{
    if (!m_follow || m_device)
        return;
    QString path;
    QString id;
    if (choose(m_selection, thermostats(), &path, &id))
        return; // not (yet) the one we follow
    m_id = id;
    if (tryOpen(path))
        return;
    emit back(path);
}

ThermostatLink::Failure ThermostatLink::transferFailure(const char *what) const
{
    const QString path = device();
    switch (m_transport->tracking().lastStatus) {
    case HidIoStatus::Timeout:
        return {ExitCode::Device, QStringLiteral("%1 did not answer within %2 ms").arg(path).arg(kTimeoutMs)};
    case HidIoStatus::Gone:
        return {ExitCode::Device, QStringLiteral("%1 vanished while %2 it").arg(path, QLatin1String(what))};
    case HidIoStatus::Ok:
    case HidIoStatus::Error:
        break;
    }
    return {ExitCode::Device, QStringLiteral("%1 failed while %2 it").arg(path, QLatin1String(what))};
}

std::optional<Reading> ThermostatLink::read(Failure *failure)
{
    if (!m_device) {
        *failure = {ExitCode::Device, QStringLiteral("%1 is not connected").arg(device())};
        return std::nullopt;
    }
    m_transport->tracking().lastStatus = HidIoStatus::Ok;
    try {
        if (m_device->ReadAllReports())
            return Reading::decode(ReadCycle::rawValues(*m_device), device(), m_id);
        *failure = transferFailure("reading");
    } catch (const ErrorRecord &e) {
        *failure = {ExitCode::Device, QStringLiteral("reading %1 failed: %2").arg(device(), describe(e))};
    }
    return std::nullopt;
}

ThermostatLink::Failure ThermostatLink::write(std::int32_t codeLow, std::int32_t codeHigh, std::int16_t mode,
                                              const ConfigSender::WriteObserver &wrote)
{
    if (!m_device)
        return {ExitCode::Device, QStringLiteral("%1 is not connected").arg(device())};
    m_transport->tracking().lastStatus = HidIoStatus::Ok;
    try {
        if (ConfigSender::writeConfiguration(*m_device, codeLow, codeHigh, mode, wrote))
            return {};
        return transferFailure("writing to");
    } catch (const ErrorRecord &e) {
        return {ExitCode::Device, QStringLiteral("writing to %1 failed: %2").arg(device(), describe(e))};
    }
}
