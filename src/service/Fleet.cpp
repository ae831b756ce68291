#include "Fleet.h"

#include "ThermostatId.h"

namespace {

// While a thermostat is present but would not open (its access rights may
// still be on their way), it is tried again this often.
constexpr qint64 kRetryOpenMs = 5000;

bool sameValues(const Reading &a, const Reading &b)
{
    return a.temperature == b.temperature && a.low == b.low && a.high == b.high &&
           a.contactOnNO == b.contactOnNO && a.mode == b.mode && a.probeStatus == b.probeStatus &&
           a.bootStatus == b.bootStatus;
}

} // namespace

Fleet::Fleet(std::shared_ptr<HidTransport> transport, std::int64_t intervalMs, Notice notice, QObject *parent)
    : QObject(parent), m_transport(std::move(transport)), m_notice(std::move(notice))
{
    m_timer.setInterval(static_cast<int>(intervalMs));
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &Fleet::readAll);
    // Queued: the transport and the links hear of the arrival first.
    connect(m_transport.get(), &HidTransport::deviceArrived, this, &Fleet::discover, Qt::QueuedConnection);
}

Fleet::~Fleet() = default;

void Fleet::start()
{
    m_running = true;
    discover();
    m_timer.start();
    readAll();
}

void Fleet::stop()
{
    m_running = false;
    m_timer.stop();
}

void Fleet::discover()
{
    if (!m_running)
        return;
    const std::vector<HidDeviceInfo> present = ThermostatLink::thermostatsOf(*m_transport);
    const std::vector<QString> ids = ThermostatId::assign(present);
    for (std::size_t i = 0; i < present.size(); ++i) {
        const QString &id = ids[i];
        auto found = m_members.find(id);
        const bool isNew = found == m_members.end();
        if (isNew) {
            Member member;
            member.state.id = id;
            member.link = std::make_unique<ThermostatLink>(m_transport);
            ThermostatLink *link = member.link.get();
            connect(link, &ThermostatLink::lost, this, [this, id](const QString &path) {
                Member &m = m_members.at(id);
                tell(m, QStringLiteral("%1 unplugged from %2; waiting for it to come back").arg(id, path));
                setUp(m, false);
            });
            connect(link, &ThermostatLink::back, this, [this, id](const QString &path) {
                Member &m = m_members.at(id);
                m.state.path = path;
                m_notice(QStringLiteral("%1 back on %2").arg(id, path));
                m.problemTold = false;
            });
            found = m_members.emplace(id, std::move(member)).first;
        }
        Member &member = found->second;
        member.state.path = present[i].path;
        member.state.product = present[i].product.trimmed();
        member.state.serial = present[i].serial.trimmed();
        if (!member.link->isOpen()) {
            if (const ThermostatLink::Failure failed = member.link->open(id))
                tell(member, QStringLiteral("%1: %2").arg(id, failed.message));
            else if (!isNew && member.problemTold)
                m_notice(QStringLiteral("%1 back on %2").arg(id, member.state.path));
            if (member.link->isOpen())
                member.problemTold = false;
        }
        if (isNew)
            emit thermostatAdded(id);
    }
}

void Fleet::readAll()
{
    if (!m_running)
        return;
    bool someClosed = false;
    for (auto &[id, member] : m_members) {
        readOne(member);
        someClosed = someClosed || !member.link->isOpen();
    }
    if (someClosed) {
        const QDateTime now = QDateTime::currentDateTimeUtc();
        if (!m_lastRetry.isValid() || m_lastRetry.msecsTo(now) >= kRetryOpenMs) {
            m_lastRetry = now;
            discover();
        }
    }
    emit intervalDone();
}

void Fleet::readOne(Member &member)
{
    if (!member.link->isOpen()) {
        setUp(member, false);
        return;
    }
    ThermostatLink::Failure failure;
    std::optional<Reading> reading = member.link->read(&failure);
    if (!reading) {
        ++member.state.readErrors;
        tell(member,
             QStringLiteral("%1: %2; waiting for the thermostat").arg(member.state.id, failure.message));
        setUp(member, false);
        return;
    }
    ++member.state.reads;
    member.state.path = reading->device;
    member.state.readAt = QDateTime::currentDateTime();
    const bool changed = !member.state.reading || !sameValues(*member.state.reading, *reading);
    member.state.reading = std::move(reading);
    if (member.problemTold && member.state.up == false)
        m_notice(QStringLiteral("%1 answers again").arg(member.state.id));
    member.problemTold = false;
    setUp(member, true);
    if (changed)
        emit readingChanged(member.state.id);
}

void Fleet::setUp(Member &member, bool up)
{
    if (member.state.up == up)
        return;
    member.state.up = up;
    emit availabilityChanged(member.state.id, up);
}

void Fleet::tell(Member &member, const QString &line)
{
    if (member.problemTold)
        return;
    member.problemTold = true;
    m_notice(line);
}

std::vector<ThermostatState> Fleet::states() const
{
    std::vector<ThermostatState> out;
    out.reserve(m_members.size());
    for (const auto &[id, member] : m_members)
        out.push_back(member.state);
    return out;
}

std::optional<ThermostatState> Fleet::state(const QString &id) const
{
    const auto found = m_members.find(id);
    if (found == m_members.end())
        return std::nullopt;
    return found->second.state;
}

Fleet::Outcome Fleet::configure(const QString &id, const SetCommand::Values &values)
{
    Outcome outcome;
    const auto found = m_members.find(id);
    if (found == m_members.end()) {
        outcome.reason = QStringLiteral("no thermostat %1").arg(id);
        return outcome;
    }
    ThermostatLink &link = *found->second.link;
    if (!link.isOpen()) {
        outcome.reason = QStringLiteral("%1 is not connected").arg(id);
        return outcome;
    }
    const ThermostatLink::Failure failure =
        SetCommand::apply(link, values, true, &outcome.plan, &outcome.written);
    outcome.ok = !failure;
    outcome.reason = failure.message;
    if (outcome.written)
        emit configured(id);
    return outcome;
}
