#include "Fleet.h"

#include "HomeThreadTransport.h"
#include "ServiceClock.h"
#include "ThermostatId.h"

#include <QDeadlineTimer>
#include <QMetaObject>
#include <QThread>

namespace {

// Whether the thermostat already holds every value of `v`.
bool alreadyHeld(const SetCommand::Values &v, const Reading &r)
{
    const auto modeName = [](std::int16_t code) {
        return code == 66 ? QStringLiteral("B") : QStringLiteral("A");
    };
    return (!v.low || *v.low == r.low) && (!v.high || *v.high == r.high) &&
           (!v.mode || (r.mode && modeName(*v.mode) == r.modeText()));
}

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
    : QObject(parent), m_inner(std::move(transport)),
      m_transport(std::make_shared<HomeThreadTransport>(m_inner)), m_intervalMs(intervalMs),
      m_notice(std::move(notice)), m_mailbox(std::make_shared<WorkerMailbox>(this)),
      m_snapshot(std::make_shared<const std::vector<ThermostatState>>())
{
    m_timer.setInterval(static_cast<int>(intervalMs));
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &Fleet::tick);
    // Queued: the transport hears of the arrival first.
    connect(m_inner.get(), &HidTransport::deviceArrived, this, &Fleet::discover, Qt::QueuedConnection);
}

Fleet::~Fleet()
{
    stop();
}

void Fleet::start()
{
    m_running = true;
    discover();
    m_timer.start();
    if (m_members.empty()) {
        m_firstRoundTold = true;
        QMetaObject::invokeMethod(this, &Fleet::firstRoundDone, Qt::QueuedConnection);
    }
}

// Until then a thermostat is neither up nor down: it has not been asked yet.
void Fleet::firstOutcome(Member &member)
{
    member.state.tried = true;
    publishSnapshot();
    if (!member.state.up)
        emit availabilityChanged(member.state.id, false);
    if (m_firstRoundTold)
        return;
    for (const auto &[id, m] : m_members)
        if (!m.state.tried)
            return;
    m_firstRoundTold = true;
    emit firstRoundDone();
}

void Fleet::stop(int graceMs)
{
    m_running = false;
    m_timer.stop();
    m_mailbox->close();
    for (auto &[id, member] : m_members)
        if (member.worker)
            member.worker->askShutdown();
    const QDeadlineTimer deadline(graceMs);
    for (auto &[id, member] : m_members) {
        if (!member.thread)
            continue;
        if (member.thread->wait(deadline)) {
            member.worker.reset();
            member.thread.reset();
            continue;
        }
        // Stuck in a transfer that nothing can cut short: it keeps what it
        // uses, and ends with the process.
        (void)member.worker.release();
        (void)member.thread.release();
        m_abandoned << id;
    }
}

void Fleet::discover()
{
    if (!m_running)
        return;
    const std::vector<HidDeviceInfo> present = ThermostatLink::thermostatsOf(*m_inner);
    const std::vector<QString> ids = ThermostatId::assign(present);
    for (std::size_t i = 0; i < present.size(); ++i) {
        const QString &id = ids[i];
        auto found = m_members.find(id);
        const bool isNew = found == m_members.end();
        if (isNew) {
            Member member;
            member.state.id = id;
            found = m_members.emplace(id, std::move(member)).first;
        }
        Member &member = found->second;
        member.state.path = present[i].path;
        member.state.product = present[i].product.trimmed();
        member.state.serial = present[i].serial.trimmed();
        if (!member.worker)
            startWorker(member);
        if (!member.open && !member.opening) {
            member.opening = true;
            member.worker->askOpen();
        }
        if (isNew)
            emit thermostatAdded(id);
    }
    publishSnapshot();
}

void Fleet::startWorker(Member &member)
{
    const QString id = member.state.id;
    ThermostatWorker::Listener listener;
    listener.read = [this, id](const ThermostatWorker::ReadResult &r) { readFinished(id, r); };
    listener.opened = [this, id](const ThermostatWorker::OpenResult &r) { opened(id, r); };
    listener.lost = [this, id](const QString &path) {
        Member &m = m_members.at(id);
        m.open = false;
        tell(m, QStringLiteral("%1 unplugged from %2; waiting for it to come back").arg(id, path));
        setUp(m, false);
        publishSnapshot();
    };
    listener.back = [this, id](const QString &path) {
        Member &m = m_members.at(id);
        m.open = true;
        m.state.path = path;
        m_notice(QStringLiteral("%1 back on %2").arg(id, path));
        m.problemTold = false;
    };
    member.worker = std::make_unique<ThermostatWorker>(id, m_transport, m_intervalMs, m_mailbox, listener);
    member.thread = ThermostatWorker::startThread(member.worker.get(), id);
}

void Fleet::opened(const QString &id, const ThermostatWorker::OpenResult &result)
{
    Member &member = m_members.at(id);
    member.opening = false;
    if (result.failure) {
        tell(member, QStringLiteral("%1: %2").arg(id, result.failure.message));
        if (!member.state.tried)
            firstOutcome(member);
        return;
    }
    const bool wasTold = member.problemTold;
    member.open = true;
    member.state.path = result.path;
    member.problemTold = false;
    if (wasTold)
        m_notice(QStringLiteral("%1 back on %2").arg(id, result.path));
}

int Fleet::readAll()
{
    int asked = 0;
    for (auto &[id, member] : m_members)
        if (member.worker) {
            member.worker->askRead();
            ++asked;
        }
    return asked;
}

void Fleet::tick()
{
    if (!m_running)
        return;
    bool someClosed = false;
    for (auto &[id, member] : m_members)
        someClosed = someClosed || !member.open;
    if (someClosed) {
        const QDateTime now = QDateTime::currentDateTimeUtc();
        if (!m_lastRetry.isValid() || m_lastRetry.msecsTo(now) >= kRetryOpenMs) {
            m_lastRetry = now;
            discover();
        }
    }
    emit intervalDone();
}

void Fleet::readFinished(const QString &id, const ThermostatWorker::ReadResult &result)
{
    ++m_answers;
    Member &member = m_members.at(id);
    if (!result.attempted) {
        setUp(member, false);
        publishSnapshot();
        return;
    }
    if (!result.reading) {
        ++member.state.readErrors;
        tell(member, QStringLiteral("%1: %2; waiting for the thermostat").arg(id, result.failure));
        setUp(member, false);
        publishSnapshot();
        emit readDone(id, false);
        if (!member.state.tried)
            firstOutcome(member);
        return;
    }
    ++member.state.reads;
    member.state.path = result.reading->device;
    member.state.readAt = QDateTime::fromMSecsSinceEpoch(ServiceClock::nowMs());
    const bool changed = !member.state.reading || !sameValues(*member.state.reading, *result.reading);
    member.state.reading = result.reading;
    if (member.problemTold && !member.state.up)
        m_notice(QStringLiteral("%1 answers again").arg(id));
    member.problemTold = false;
    setUp(member, true);
    publishSnapshot();
    emit readDone(id, true);
    if (changed)
        emit readingChanged(id);
    if (!member.state.tried)
        firstOutcome(member);
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

void Fleet::publishSnapshot()
{
    auto next = std::make_shared<const std::vector<ThermostatState>>(states());
    std::lock_guard<std::mutex> lock(m_snapshotMutex);
    m_snapshot = std::move(next);
}

std::shared_ptr<const std::vector<ThermostatState>> Fleet::snapshot() const
{
    std::lock_guard<std::mutex> lock(m_snapshotMutex);
    return m_snapshot;
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

void Fleet::configure(const QString &id, const SetCommand::Values &values, const QString &source, Done done)
{
    const auto found = m_members.find(id);
    if (found == m_members.end() || !found->second.worker) {
        Outcome outcome;
        outcome.reason = QStringLiteral("no thermostat %1").arg(id);
        done(outcome);
        return;
    }
    // The pace covers MQTT, the web page and whatever comes next alike; what
    // the thermostat holds already writes nothing and is never held back.
    const ThermostatState &s = found->second.state;
    const bool held = s.up && s.reading && alreadyHeld(values, *s.reading);
    if (!held) {
        if (const auto wait = m_pace.waitBeforeNext(id)) {
            Outcome outcome;
            outcome.reason = ConfigurePace::reason(*wait);
            done(outcome);
            return;
        }
    }
    found->second.worker->askConfigure(
        values, [this, id, source, done = std::move(done)](const ThermostatWorker::ConfigureResult &r) {
            const Outcome outcome{r.ok, r.written, r.reason, r.plan};
            if (outcome.written) {
                m_pace.written(id);
                // What was read back is what it holds now: the next check of
                // the pace must not take the values it held before for current.
                const auto member = m_members.find(id);
                if (member != m_members.end() && member->second.state.reading) {
                    Reading &held = *member->second.state.reading;
                    held.low = r.plan.low;
                    held.high = r.plan.high;
                    held.mode = r.plan.mode == 66 ? 'B' : 'A';
                }
                emit configured(id, source);
            }
            done(outcome);
        });
}

void Fleet::writtenBy(const QString &id, const QString &source)
{
    if (m_members.count(id))
        emit configured(id, source);
}
