#pragma once

#include "CommandCoalescer.h"
#include "Discovery.h"
#include "MqttClient.h"
#include "MqttTopics.h"
#include "ServiceSettings.h"

#include <QObject>
#include <QProcessEnvironment>
#include <QSet>
#include <QString>
#include <functional>
#include <memory>

class Fleet;
class ScheduleRunner;

// The thermostats of a Fleet on an MQTT broker: availability, state and
// Home Assistant discovery out (MqttTopics, Discovery), commands in, applied
// through Fleet::configure with `calidorctl set`'s checks and read-back.
class MqttBridge : public QObject
{
    Q_OBJECT
public:
    using Notice = std::function<void(const QString &line)>; // one line for standard error

    struct Settings
    {
        MqttClient::Settings client;
        QString topicPrefix = QStringLiteral("calidor");
        QString discoveryPrefix = QStringLiteral("homeassistant");
        bool discovery = true;
        QString version;
    };

    // The settings of the --mqtt options; the password from
    // --mqtt-password-file or CALIDOR_MQTT_PASSWORD. False with a reason.
    static bool settingsFrom(const ServiceSettings &options, const QProcessEnvironment &environment,
                             Settings *settings, QString *error);

    // The bridge of serve's options, connecting; nothing, with a reason,
    // when the options cannot work (a usage error).
    static std::unique_ptr<MqttBridge> create(Fleet &fleet, const ServiceSettings &options, Notice notice,
                                              QString *error, ScheduleRunner *schedules = nullptr);

    // The schedules: their state in each thermostat's state, pause and
    // resume on P/ID/schedule/set.
    void setSchedules(ScheduleRunner *schedules);

    MqttBridge(Fleet &fleet, const Settings &settings, Notice notice, QObject *parent = nullptr);
    ~MqttBridge() override;

    bool start(QString *error);
    // Says offline on the bridge's topic and leaves the broker in order.
    void stop();

private:
    void connected();
    void publishThermostat(const QString &id, bool withDiscovery);
    void publishDiscovery(const QString &id);
    void publishState(const QString &id);
    void publishAvailability(const QString &id, bool up);
    void received(const QString &topic, const QByteArray &payload, bool retained);
    void apply(const CommandCoalescer::Batch &batch);
    // On P/ID/result, not retained: {"command","value","ok","written"} and
    // either "reason" or "value_written", the value the thermostat holds now
    // for that command (a temperature rounded to the tenth it was written as).
    void result(const QString &id, const QString &command, const QString &shown, bool ok,
                const QString &reason, bool written = false, const std::optional<QString> &held = {});
    void tellOnce(const QString &line);
    void scheduleCommand(const QString &id, const QByteArray &payload);

    Fleet &m_fleet;
    Settings m_settings;
    Notice m_notice;
    MqttTopics m_topics;
    Discovery m_discovery;
    MqttClient m_client;
    CommandCoalescer m_coalescer;
    QSet<QString> m_said;
    ScheduleRunner *m_schedules = nullptr;
    // Gone with the bridge: a command's outcome that arrives later is dropped.
    std::shared_ptr<int> m_alive = std::make_shared<int>(0);
};
