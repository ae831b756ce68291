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
// each other into one configuration. (The pace of configurations is the
// fleet's, shared by every source: ConfigurePace.)
class CommandCoalescer : public QObject
{
    Q_OBJECT
public:
    static constexpr int kGatherMs = 300;

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

    explicit CommandCoalescer(QObject *parent = nullptr);

    // `value` carries the one value of `command`.
    void add(const QString &id, const Command &command, const SetCommand::Values &value);

signals:
    void ready(const CommandCoalescer::Batch &batch);

private:
    struct Gathering
    {
        Batch batch;
        std::unique_ptr<QTimer> timer;
    };
    void release(const QString &id);

    QHash<QString, std::shared_ptr<Gathering>> m_gathering;
};

Q_DECLARE_METATYPE(CommandCoalescer::Batch)
