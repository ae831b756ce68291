#pragma once

#include <QString>
#include <optional>

// The bridge's topics under --topic-prefix P:
//   P/bridge/availability          online / offline (the will), retained
//   P/ID/availability              online / offline, retained
//   P/ID/state                     the reading as JSON, retained
//   P/ID/tl/set, th/set, mode/set  commands
//   P/ID/schedule/set              pause or resume the schedule
//   P/ID/result                    what became of each command
class MqttTopics
{
public:
    explicit MqttTopics(const QString &prefix) : m_prefix(prefix) {}

    // A prefix is a topic of its own: not empty, no wildcard, no empty level.
    static QString checkPrefix(const QString &prefix);

    QString bridgeAvailability() const { return m_prefix + QStringLiteral("/bridge/availability"); }
    QString availability(const QString &id) const { return level(id) + QStringLiteral("/availability"); }
    QString state(const QString &id) const { return level(id) + QStringLiteral("/state"); }
    QString command(const QString &id, const QString &name) const
    {
        return level(id) + QLatin1Char('/') + name + QStringLiteral("/set");
    }
    QString result(const QString &id) const { return level(id) + QStringLiteral("/result"); }
    QString commandFilter() const { return m_prefix + QStringLiteral("/+/+/set"); }

    struct Command
    {
        QString id;
        QString name; // tl, th, mode or schedule
    };
    // The thermostat and the command a topic names; nothing for any other topic.
    std::optional<Command> commandOf(const QString &topic) const;

private:
    QString level(const QString &id) const { return m_prefix + QLatin1Char('/') + id; }

    QString m_prefix;
};
