#include "ChangeOrigin.h"

#include <QStringList>

namespace {

QString tenths(std::int32_t value)
{
    return QString::number(value / 10.0, 'f', 1);
}

QString modeText(std::optional<char> mode)
{
    return mode ? QString(QLatin1Char(*mode)) : QStringLiteral("unknown");
}

} // namespace

QString ChangeOrigin::Changes::text() const
{
    QStringList parts;
    for (const Change &c : changes)
        parts << (c.kind == HistoryEvents::kMode ? QStringLiteral("mode") : c.kind.toUpper()) +
                     QLatin1Char(' ') + c.detail;
    return parts.join(QStringLiteral(", "));
}

void ChangeOrigin::configured(const QString &id, std::int64_t ms, const QString &source)
{
    Member &m = m_members[id];
    m.pendingSource = source;
    m.pendingUntil = ms + m_carryMs;
}

ChangeOrigin::Changes ChangeOrigin::read(const QString &id, std::int64_t ms, const Settings &now)
{
    Member &m = m_members[id];
    Changes out;
    if (m.last) {
        const Settings &was = *m.last;
        if (now.low != was.low)
            out.changes.push_back(
                {HistoryEvents::kTl, tenths(was.low) + QStringLiteral(" -> ") + tenths(now.low)});
        if (now.high != was.high)
            out.changes.push_back(
                {HistoryEvents::kTh, tenths(was.high) + QStringLiteral(" -> ") + tenths(now.high)});
        if (now.mode != was.mode)
            out.changes.push_back(
                {HistoryEvents::kMode, modeText(was.mode) + QStringLiteral(" -> ") + modeText(now.mode)});
    }
    m.last = now;
    if (out.changes.empty())
        return out;
    // A write of ours explains one change, the first the reads show after it.
    out.source = ms <= m.pendingUntil && !m.pendingSource.isEmpty() ? m.pendingSource
                                                                    : HistoryEvents::kSourceThermostat;
    m.pendingSource.clear();
    return out;
}
