#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QString>
#include <deque>
#include <functional>
#include <optional>

// The pace a thermostat's non-volatile memory deserves: at most
// kMostPerMinute configurations a minute reach it, whoever sends them (MQTT,
// the web page, a schedule). Kept by the fleet, so one limit covers all.
class ConfigurePace
{
public:
    static constexpr int kMostPerMinute = 10;
    static constexpr qint64 kMinuteMs = 60000;

    // Milliseconds on a steady clock; the tests give their own.
    using Clock = std::function<qint64()>;
    explicit ConfigurePace(Clock clock = {});

    // How long until another configuration may reach `id`; nothing when it may now.
    std::optional<qint64> waitBeforeNext(const QString &id) const;

    // A configuration reached the thermostat (something was written).
    void written(const QString &id);

    // "at most 10 configurations a minute reach a thermostat; try again in 12 s"
    static QString reason(qint64 waitMs);

private:
    Clock m_clock;
    QElapsedTimer m_steady;
    QHash<QString, std::deque<qint64>> m_writes; // when each recent configuration was written
};
