#include "CommandCoalescer.h"

CommandCoalescer::CommandCoalescer(Clock clock, QObject *parent) : QObject(parent), m_clock(std::move(clock))
{
    m_steady.start();
    if (!m_clock)
        m_clock = [this] { return m_steady.elapsed(); };
}

void CommandCoalescer::add(const QString &id, const Command &command, const SetCommand::Values &value)
{
    std::shared_ptr<Gathering> &g = m_gathering[id];
    if (!g) {
        g = std::make_shared<Gathering>();
        g->batch.id = id;
        g->timer = std::make_unique<QTimer>();
        g->timer->setSingleShot(true);
        connect(g->timer.get(), &QTimer::timeout, this, [this, id] { release(id); });
    }
    Batch &b = g->batch;
    // A value given twice: the later one counts, the earlier is told so.
    for (auto it = b.commands.begin(); it != b.commands.end(); ++it)
        if (it->name == command.name) {
            b.superseded.push_back(*it);
            b.commands.erase(it);
            break;
        }
    b.commands.push_back(command);
    if (value.low)
        b.values.low = value.low;
    if (value.high)
        b.values.high = value.high;
    if (value.mode)
        b.values.mode = value.mode;
    // Each command keeps the batch open a little longer.
    g->timer->start(kGatherMs);
}

void CommandCoalescer::release(const QString &id)
{
    const std::shared_ptr<Gathering> g = m_gathering.take(id);
    if (g)
        emit ready(g->batch);
}

std::optional<qint64> CommandCoalescer::waitBeforeNext(const QString &id) const
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

void CommandCoalescer::written(const QString &id)
{
    std::deque<qint64> &w = m_writes[id];
    w.push_back(m_clock());
    while (w.size() > static_cast<std::size_t>(kMostPerMinute))
        w.pop_front();
}
