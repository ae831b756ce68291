#pragma once

#include "MqttTopics.h"

#include <QByteArray>
#include <QString>
#include <vector>

// Home Assistant's MQTT discovery: one retained configuration per entity of
// each thermostat, at <prefix>/<component>/calidor_ID/<object>/config. The
// entities come from one table (Discovery.cpp): adding one is one row.
class Discovery
{
public:
    struct Device
    {
        QString id;
        QString serial;
    };

    struct Config
    {
        QString topic;
        QByteArray payload; // compact JSON
    };

    Discovery(const MqttTopics &topics, const QString &prefix, const QString &version)
        : m_topics(topics), m_prefix(prefix), m_version(version)
    {
    }

    std::vector<Config> configs(const Device &device) const;

    // Where Home Assistant says `online` when it starts.
    QString statusTopic() const { return m_prefix + QStringLiteral("/status"); }

private:
    MqttTopics m_topics;
    QString m_prefix;
    QString m_version;
};
