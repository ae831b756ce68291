#include "MinuteAggregator.h"

#include <algorithm>

namespace {

std::int64_t minuteOf(std::int64_t ms)
{
    return (ms >= 0 ? ms : ms - (MinuteAggregator::kMinuteMs - 1)) / MinuteAggregator::kMinuteMs *
           MinuteAggregator::kMinuteMs;
}

std::int64_t secondOf(std::int64_t ms)
{
    return (ms >= 0 ? ms : ms - 999) / 1000;
}

QString contactText(std::optional<bool> on)
{
    if (!on)
        return QStringLiteral("unknown");
    return *on ? QStringLiteral("C-NO") : QStringLiteral("C-NC");
}

} // namespace

MinuteAggregator::MinuteAggregator(std::int64_t carryMs) : m_carryMs(carryMs), m_origin(carryMs) {}

std::int64_t MinuteAggregator::carryFor(std::int64_t intervalMs, std::int64_t speed)
{
    return std::max<std::int64_t>(3 * intervalMs, 10000) * speed;
}

MinuteAggregator::Member &MinuteAggregator::member(const QString &id)
{
    Member &m = m_members[id];
    m.row.id = id;
    return m;
}

void MinuteAggregator::event(const QString &id, std::int64_t ms, const QString &kind, const QString &detail,
                             const QString &source)
{
    m_out.events.push_back({id, secondOf(ms), kind, detail, source});
}

void MinuteAggregator::serviceStarted(std::int64_t ms)
{
    advance(ms);
    event({}, ms, HistoryEvents::kServiceStarted);
}

void MinuteAggregator::serviceStopped(std::int64_t ms)
{
    for (auto &[id, m] : m_members) {
        if (m.open) {
            account(m, ms);
            close(m);
        }
        m.contact.reset();
    }
    event({}, ms, HistoryEvents::kServiceStopped);
}

void MinuteAggregator::plugged(const QString &id, std::int64_t ms)
{
    Member &m = member(id);
    roll(m, id, ms);
    m.unplugged = false;
    m.answering.reset();
    event(id, ms, HistoryEvents::kPlugged);
}

void MinuteAggregator::unplugged(const QString &id, std::int64_t ms)
{
    Member &m = member(id);
    roll(m, id, ms);
    account(m, ms);
    m.contact.reset();
    if (m.unplugged)
        return;
    // Not answering while away goes without saying.
    m.unplugged = true;
    m.answering = false;
    event(id, ms, HistoryEvents::kUnplugged);
}

void MinuteAggregator::configured(const QString &id, std::int64_t ms, const QString &source)
{
    m_origin.configured(id, ms, source);
}

// Time from contactSince to `ms` counts for the open minute, as far as the
// last read vouches for it.
void MinuteAggregator::account(Member &m, std::int64_t ms)
{
    if (!m.open)
        return;
    const std::int64_t end = std::min({ms, m.contactReadMs + m_carryMs, m.row.t * 1000 + kMinuteMs});
    if (m.contact && end > m.contactSince) {
        m.relayKnownMs += end - m.contactSince;
        if (*m.contact)
            m.relayOnMs += end - m.contactSince;
    }
    m.contactSince = std::max(m.contactSince, ms);
}

void MinuteAggregator::close(Member &m)
{
    if (m.open && m.row.reads + m.row.failures > 0) {
        if (m.relayKnownMs > 0)
            m.row.relayOnPermille = std::int32_t((m.relayOnMs * 1000 + m.relayKnownMs / 2) / m.relayKnownMs);
        m_out.minutes.push_back(m.row);
    }
    m.open = false;
}

// Opens the minute of `ms`, closing the one before.
void MinuteAggregator::roll(Member &m, const QString &id, std::int64_t ms)
{
    const std::int64_t start = minuteOf(ms);
    if (m.open && m.row.t * 1000 == start)
        return;
    if (m.open) {
        account(m, m.row.t * 1000 + kMinuteMs);
        close(m);
    }
    m.row = MinuteRow{};
    m.row.id = id;
    m.row.t = start / 1000;
    m.relayOnMs = m.relayKnownMs = 0;
    m.contactSince = std::max(m.contactSince, start);
    m.open = true;
}

void MinuteAggregator::changes(Member &m, const QString &id, std::int64_t ms, const HistorySample &now)
{
    const bool fresh = !m.last;
    const std::int32_t oldProbe = fresh ? 0 : m.last->probeStatus;
    if (now.probeStatus != 0 && oldProbe == 0)
        event(id, ms, HistoryEvents::kProbeFaultBegan, QString::number(now.probeStatus));
    else if (now.probeStatus == 0 && oldProbe != 0)
        event(id, ms, HistoryEvents::kProbeFaultEnded);
    const ChangeOrigin::Changes settings = m_origin.read(id, ms, {now.low, now.high, now.mode});
    if (fresh)
        return;
    if (now.contactOnNO != m.last->contactOnNO)
        event(id, ms, HistoryEvents::kRelay, contactText(now.contactOnNO));
    for (const ChangeOrigin::Change &c : settings.changes)
        event(id, ms, c.kind, c.detail, settings.source);
}

void MinuteAggregator::read(const QString &id, std::int64_t ms, const std::optional<HistorySample> &sample)
{
    Member &m = member(id);
    roll(m, id, ms);
    account(m, ms);
    if (!sample) {
        ++m.row.failures;
        if (m.answering != false)
            event(id, ms, HistoryEvents::kNotAnswering);
        m.answering = false;
        m.contact.reset();
        return;
    }
    if (m.unplugged)
        event(id, ms, HistoryEvents::kPlugged); // back after an unplug nobody announced
    else if (m.answering == false)
        event(id, ms, HistoryEvents::kBack);
    m.unplugged = false;
    m.answering = true;
    changes(m, id, ms, *sample);
    m.last = sample;
    m.contact = sample->contactOnNO;
    m.contactSince = ms;
    m.contactReadMs = ms;

    MinuteRow &r = m.row;
    ++r.reads;
    r.temperatureSum += sample->temperature;
    r.temperatureMin = std::min(r.temperatureMin.value_or(sample->temperature), sample->temperature);
    r.temperatureMax = std::max(r.temperatureMax.value_or(sample->temperature), sample->temperature);
    r.low = sample->low;
    r.high = sample->high;
    r.mode = sample->mode;
    r.probeWorst = std::max(r.probeWorst.value_or(sample->probeStatus), sample->probeStatus);
}

void MinuteAggregator::advance(std::int64_t ms)
{
    for (auto &[id, m] : m_members) {
        if (m.open && m.row.t * 1000 + kMinuteMs <= ms) {
            account(m, m.row.t * 1000 + kMinuteMs);
            close(m);
        }
    }
}

MinuteAggregator::Output MinuteAggregator::take()
{
    Output out;
    std::swap(out, m_out);
    return out;
}
