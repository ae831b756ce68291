#include "ConfigurePace.h"

ConfigurePace::ConfigurePace(Clock clock) : m_clock(std::move(clock))
{
    m_steady.start();
    if (!m_clock)
        m_clock = [this] { return m_steady.elapsed(); };
}

std::optional<qint64> ConfigurePace::waitBeforeNext(const QString &id) const
{
    const auto it = m_writes.constFind(id);
    if (it == m_writes.constEnd())
        return std::nullopt;
    const qint64 now = m_clock();
    std::size_t recent = 0;
    for (qint64 at : *it)
        if (now - at < kMinuteMs)
            ++recent;
    if (recent < static_cast<std::size_t>(kMostPerMinute))
        return std::nullopt;
    // The oldest of the last kMostPerMinute leaves the window first.
    const qint64 oldest = (*it)[it->size() - kMostPerMinute];
    return kMinuteMs - (now - oldest);
}

void ConfigurePace::written(const QString &id)
{
    std::deque<qint64> &w = m_writes[id];
    w.push_back(m_clock());
    while (w.size() > static_cast<std::size_t>(kMostPerMinute))
        w.pop_front();
}

QString ConfigurePace::reason(qint64 waitMs)
{
    return QStringLiteral("at most %1 configurations a minute reach a thermostat; try again in %2 s")
        .arg(kMostPerMinute)
        .arg((waitMs + 999) / 1000);
}
