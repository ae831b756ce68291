#pragma once

#include "SetCommand.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QString>
#include <QTimer>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

// Gathers the commands for one thermostat that arrive within kGatherMs of
// each other into one configuration, and keeps the pace its non-volatile
// memory deserves: at most kMostPerMinute configurations a minute reach it.
class CommandCoalescer : public QObject
{
    Q_OBJECT
public:
    static constexpr int kGatherMs = 300;
    static constexpr int kMostPerMinute = 10;
    static constexpr qint64 kMinuteMs = 60000;

    struct Command
    {
        QString name;  // tl, th or mode
        QString shown; // the value as it came
    };

    struct Batch
    {
        QString id;
        SetCommand::Values values;
        std::vector<Command> commands;   // the ones the values come from
        std::vector<Command> superseded; // given again later in the same batch
    };

    // Milliseconds on a steady clock; the tests give their own.
    using Clock = std::function<qint64()>;

    explicit CommandCoalescer(Clock clock = {}, QObject *parent = nullptr);

    // `value` carries the one value of `command`.
    void add(const QString &id, const Command &command, const SetCommand::Values &value);

    // How long until another configuration may reach `id`; nothing when it may now.
    std::optional<qint64> waitBeforeNext(const QString &id) const;

    // A configuration reached the thermostat (something was written).
    void written(const QString &id);

signals:
    void ready(const CommandCoalescer::Batch &batch);

private:
    struct Gathering
    {
        Batch batch;
        std::unique_ptr<QTimer> timer;
    };
    void release(const QString &id);

    Clock m_clock;
    QElapsedTimer m_steady;
    QHash<QString, std::shared_ptr<Gathering>> m_gathering;
    QHash<QString, std::deque<qint64>> m_writes; // when each recent configuration was written
};

Q_DECLARE_METATYPE(CommandCoalescer::Batch)
