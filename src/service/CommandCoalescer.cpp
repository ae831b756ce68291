#include "CommandCoalescer.h"

CommandCoalescer::CommandCoalescer(QObject *parent) : QObject(parent) {}

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
