#include "HistoryRecorder.h"

#include "ServiceClock.h"

#include <QDateTime>
#include <QFileInfo>

HistoryRecorder::HistoryRecorder(Fleet &fleet, const ServiceSettings &settings, Notice notice, Clock clock,
                                 QObject *parent)
    : QObject(parent), m_fleet(fleet),
      m_clock(clock ? std::move(clock) : [] { return ServiceClock::nowMs(); }),
      m_aggregator(MinuteAggregator::carryFor(settings.intervalMs, ServiceClock::speed())),
      m_writer({settings.historyPath, std::chrono::milliseconds(settings.historyFlushMs),
                settings.historyDays, [this] { return m_clock() / 1000; }},
               std::move(notice))
{
    connect(&fleet, &Fleet::readDone, this, &HistoryRecorder::read);
    connect(&fleet, &Fleet::availabilityChanged, this, &HistoryRecorder::availability);
    connect(&fleet, &Fleet::thermostatAdded, this, [this](const QString &id) {
        if (m_running) {
            m_aggregator.plugged(id, m_clock());
            handOver();
        }
    });
    connect(&fleet, &Fleet::configured, this, [this](const QString &id, const QString &source) {
        if (m_running)
            m_aggregator.configured(id, m_clock(), source);
    });
    // Minutes close on time even when no read comes.
    m_tick.setInterval(int(std::min<std::int64_t>(1000, settings.historyFlushMs)));
    connect(&m_tick, &QTimer::timeout, this, &HistoryRecorder::handOver);
}

HistoryRecorder::~HistoryRecorder()
{
    stop();
}

HistorySample HistoryRecorder::sample(const Reading &reading)
{
    return {reading.temperature, reading.low,  reading.high,
            reading.contactOnNO, reading.mode, reading.probeStatus};
}

std::optional<QByteArray> HistoryRecorder::alertState(const QString &path, QString *error)
{
    // Read once at start, before the writer's thread is busy: a reader of
    // its own, as the API's. No file yet, or one without the table: nothing kept.
    if (!QFileInfo::exists(path))
        return std::nullopt;
    QString notice;
    const auto store = HistoryStore::open(path, HistoryStore::Access::ReadOnly, &notice, error);
    return store ? store->alertState(error) : std::nullopt;
}

void HistoryRecorder::saveAlertState(QByteArray state)
{
    m_writer.saveAlertState(std::move(state));
}

void HistoryRecorder::start()
{
    m_running = true;
    m_writer.start();
    m_aggregator.serviceStarted(m_clock());
    handOver();
    m_tick.start();
}

void HistoryRecorder::stop()
{
    if (!m_running)
        return;
    m_running = false;
    m_tick.stop();
    m_aggregator.serviceStopped(m_clock());
    m_writer.submit(m_aggregator.take());
    m_writer.stop();
}

void HistoryRecorder::read(const QString &id, bool answered)
{
    if (!m_running)
        return;
    const std::optional<ThermostatState> state = m_fleet.state(id);
    if (!state)
        return;
    m_readErrors[id] = state->readErrors;
    std::optional<HistorySample> s;
    if (answered && state->reading)
        s = sample(*state->reading);
    m_aggregator.read(id, m_clock(), s);
    handOver();
}

// Down without a failed read: it is gone from its port (or would not open).
// A failed read comes with its own readDone.
void HistoryRecorder::availability(const QString &id, bool up)
{
    if (!m_running || up)
        return;
    const std::optional<ThermostatState> state = m_fleet.state(id);
    if (state && state->readErrors != m_readErrors[id])
        return;
    m_aggregator.unplugged(id, m_clock());
    handOver();
}

// What the aggregator closed goes to the writer at once: what waits for the
// disk waits there, at most one flush interval.
void HistoryRecorder::handOver()
{
    m_aggregator.advance(m_clock());
    MinuteAggregator::Output out = m_aggregator.take();
    if (!out.minutes.empty() || !out.events.empty())
        m_writer.submit(std::move(out));
}
