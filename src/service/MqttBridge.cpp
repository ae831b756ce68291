#include "MqttBridge.h"

#include "Fleet.h"
#include "MqttCommand.h"
#include "MqttUrl.h"
#include "ReadingFormat.h"
#include "ScheduleRunner.h"
#include "ValueParser.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSysInfo>

namespace {

const QByteArray kOnline = QByteArrayLiteral("online");
const QByteArray kOffline = QByteArrayLiteral("offline");

QString modeName(std::int16_t code)
{
    return code == 66 ? QStringLiteral("B") : QStringLiteral("A");
}

// What the thermostat holds, after a command, for that command's value.
QString heldFor(const QString &command, const SetCommand::Plan &plan)
{
    if (command == QLatin1String("mode"))
        return modeName(plan.mode);
    return ValueParser::celsiusText(command == QLatin1String("tl") ? plan.low : plan.high);
}

} // namespace

bool MqttBridge::settingsFrom(const ServiceSettings &o, const QProcessEnvironment &environment, Settings *s,
                              QString *error)
{
    const MqttUrl::Parsed url = MqttUrl::parse(o.mqtt);
    if (!url.url) {
        *error = QStringLiteral("--mqtt: ") + url.error;
        return false;
    }
    s->client.host = url.url->host;
    s->client.port = url.url->port;
    s->client.tls = url.url->tls;
    s->client.user = url.url->user;
    s->client.caFile = o.mqttCa;
    if (!o.mqttCa.isEmpty() && !url.url->tls) {
        *error = QStringLiteral("--mqtt-ca goes with an mqtts:// address");
        return false;
    }
    if (!o.mqttPasswordFile.isEmpty()) {
        QFile file(o.mqttPasswordFile);
        if (!file.open(QIODevice::ReadOnly)) {
            *error = QStringLiteral("--mqtt-password-file: cannot read %1: %2")
                         .arg(o.mqttPasswordFile, file.errorString());
            return false;
        }
        // The first line; a file written by an editor ends with a line break.
        s->client.password =
            QString::fromUtf8(file.readLine(4096)).remove(QLatin1Char('\n')).remove(QLatin1Char('\r'));
    } else {
        s->client.password = environment.value(QStringLiteral("CALIDOR_MQTT_PASSWORD"));
    }
    if (!s->client.password.isEmpty() && s->client.user.isEmpty()) {
        *error = QStringLiteral("a password needs a user: --mqtt mqtt://USER@HOST");
        return false;
    }
    s->client.clientId =
        o.mqttClientId.isEmpty() ? QStringLiteral("calidor-") + QSysInfo::machineHostName() : o.mqttClientId;
    for (const auto &[name, prefix] :
         {std::pair{"topic-prefix", &o.topicPrefix}, std::pair{"discovery-prefix", &o.discoveryPrefix}}) {
        const QString wrong = MqttTopics::checkPrefix(*prefix);
        if (!wrong.isEmpty()) {
            *error = QStringLiteral("--%1: %2").arg(QLatin1String(name), wrong);
            return false;
        }
    }
    s->topicPrefix = o.topicPrefix;
    s->discoveryPrefix = o.discoveryPrefix;
    s->discovery = !o.noDiscovery;
    return true;
}

std::unique_ptr<MqttBridge> MqttBridge::create(Fleet &fleet, const ServiceSettings &options, Notice notice,
                                               QString *error, ScheduleRunner *schedules)
{
    Settings settings;
    if (!settingsFrom(options, QProcessEnvironment::systemEnvironment(), &settings, error))
        return nullptr;
    settings.version = QStringLiteral(CALIDOR_VERSION);
    auto bridge = std::make_unique<MqttBridge>(fleet, settings, std::move(notice));
    bridge->setSchedules(schedules);
    if (!bridge->start(error))
        return nullptr;
    return bridge;
}

MqttBridge::MqttBridge(Fleet &fleet, const Settings &settings, Notice notice, QObject *parent)
    : QObject(parent), m_fleet(fleet), m_settings(settings), m_notice(std::move(notice)),
      m_topics(settings.topicPrefix), m_discovery(m_topics, settings.discoveryPrefix, settings.version),
      m_client(
          [&] {
              MqttClient::Settings c = settings.client;
              c.willTopic = MqttTopics(settings.topicPrefix).bridgeAvailability();
              c.willPayload = kOffline;
              return c;
          }(),
          this)
{
    connect(&m_client, &MqttClient::connected, this, &MqttBridge::connected);
    connect(&m_client, &MqttClient::messageReceived, this, &MqttBridge::received);
    connect(&m_client, &MqttClient::problem, this, [this](const QString &line) { m_notice(line); });
    connect(&m_coalescer, &CommandCoalescer::ready, this, &MqttBridge::apply);

    connect(&m_fleet, &Fleet::thermostatAdded, this,
            [this](const QString &id) { publishThermostat(id, true); });
    connect(&m_fleet, &Fleet::availabilityChanged, this,
            [this](const QString &id, bool up) { publishAvailability(id, up); });
    connect(&m_fleet, &Fleet::readingChanged, this, &MqttBridge::publishState);
}

MqttBridge::~MqttBridge()
{
    stop();
}

bool MqttBridge::start(QString *error)
{
    return m_client.start(error);
}

void MqttBridge::stop()
{
    m_client.stop(m_topics.bridgeAvailability(), kOffline);
}

void MqttBridge::connected()
{
    m_said.clear();
    m_client.publish(m_topics.bridgeAvailability(), kOnline, true);
    m_client.subscribe(m_topics.commandFilter());
    if (m_settings.discovery)
        m_client.subscribe(m_discovery.statusTopic());
    for (const ThermostatState &s : m_fleet.states())
        publishThermostat(s.id, true);
}

void MqttBridge::publishThermostat(const QString &id, bool withDiscovery)
{
    if (withDiscovery)
        publishDiscovery(id);
    // Not yet asked: its availability follows with the first outcome.
    const std::optional<ThermostatState> s = m_fleet.state(id);
    if (s && s->tried)
        publishAvailability(id, s->up);
    publishState(id);
}

void MqttBridge::publishDiscovery(const QString &id)
{
    if (!m_settings.discovery)
        return;
    const std::optional<ThermostatState> s = m_fleet.state(id);
    if (!s)
        return;
    for (const Discovery::Config &c : m_discovery.configs({s->id, s->serial}))
        m_client.publish(c.topic, c.payload, true);
}

void MqttBridge::publishState(const QString &id)
{
    const std::optional<ThermostatState> s = m_fleet.state(id);
    if (!s || !s->reading)
        return;
    // The keys of `read --format json`, with the time of the reading first.
    const QString json = ReadingFormat::row(OutputFormat::Json, ReadingFormat::timestamp(s->readAt),
                                            *s->reading, ReadingFormat::Temperature::Measured)
                             .trimmed();
    if (!m_schedules) {
        m_client.publish(m_topics.state(id), json.toUtf8(), true);
        return;
    }
    // The schedule's state beside the reading's keys.
    QJsonObject state = QJsonDocument::fromJson(json.toUtf8()).object();
    const ScheduleRunner::Status status = m_schedules->status(id);
    state.insert(QStringLiteral("schedule"), status.state());
    state.insert(QStringLiteral("next_change"),
                 status.exists && !status.paused && status.nextChange
                     ? QJsonValue(status.nextChange->toUTC().toString(Qt::ISODate))
                     : QJsonValue());
    m_client.publish(m_topics.state(id), QJsonDocument(state).toJson(QJsonDocument::Compact), true);
}

void MqttBridge::publishAvailability(const QString &id, bool up)
{
    m_client.publish(m_topics.availability(id), up ? kOnline : kOffline, true);
}

void MqttBridge::received(const QString &topic, const QByteArray &payload, bool retained)
{
    if (topic == m_discovery.statusTopic()) {
        // Home Assistant (re)started: it forgets what it had not kept.
        if (payload.trimmed() == kOnline)
            for (const ThermostatState &s : m_fleet.states())
                publishThermostat(s.id, true);
        return;
    }
    const std::optional<MqttTopics::Command> command = m_topics.commandOf(topic);
    if (!command)
        return;
    if (!m_fleet.state(command->id)) {
        tellOnce(QStringLiteral("MQTT: a command for %1, which is not served here, was ignored")
                     .arg(command->id.left(64)));
        return;
    }
    if (retained) {
        // A stored command would be applied again at every connection.
        if (!payload.isEmpty())
            tellOnce(QStringLiteral("MQTT: the retained command on %1 was ignored; publish commands without "
                                    "the retain flag, and clear it with an empty retained message")
                         .arg(topic));
        return;
    }
    if (command->name == QLatin1String("schedule")) {
        scheduleCommand(command->id, payload);
        return;
    }
    const MqttCommand::Parsed parsed = MqttCommand::parse(command->name, payload);
    if (!parsed.values) {
        result(command->id, command->name, parsed.shown, false, parsed.error);
        return;
    }
    m_coalescer.add(command->id, {command->name, parsed.shown}, *parsed.values);
}

void MqttBridge::apply(const CommandCoalescer::Batch &batch)
{
    for (const CommandCoalescer::Command &c : batch.superseded)
        result(batch.id, c.name, c.shown, false,
               QStringLiteral("replaced by a later %1 command within %2 ms")
                   .arg(c.name)
                   .arg(CommandCoalescer::kGatherMs));

    // The fleet keeps the pace of configurations, shared with the web page.
    m_fleet.configure(batch.id, batch.values, QStringLiteral("mqtt"),
                      [this, alive = std::weak_ptr<int>(m_alive), batch](const Fleet::Outcome &outcome) {
                          if (alive.expired())
                              return;
                          for (const CommandCoalescer::Command &c : batch.commands)
                              result(batch.id, c.name, c.shown, outcome.ok, outcome.reason, outcome.written,
                                     heldFor(c.name, outcome.plan));
                          // The state follows at once rather than at the next reading.
                          if (outcome.written)
                              publishState(batch.id);
                      });
}

void MqttBridge::result(const QString &id, const QString &command, const QString &shown, bool ok,
                        const QString &reason, bool written, const std::optional<QString> &held)
{
    QJsonObject o{{QStringLiteral("command"), command},
                  {QStringLiteral("value"), shown},
                  {QStringLiteral("ok"), ok},
                  {QStringLiteral("written"), written}};
    if (!ok)
        o.insert(QStringLiteral("reason"), reason);
    else if (held)
        o.insert(QStringLiteral("value_written"), *held);
    m_client.publish(m_topics.result(id), QJsonDocument(o).toJson(QJsonDocument::Compact), false);
}

void MqttBridge::tellOnce(const QString &line)
{
    // Bounded: the ids in topics come from anyone who may publish.
    if (m_said.contains(line) || m_said.size() > 100)
        return;
    m_said.insert(line);
    m_notice(line);
}

void MqttBridge::setSchedules(ScheduleRunner *schedules)
{
    m_schedules = schedules;
    if (m_schedules)
        connect(m_schedules, &ScheduleRunner::changed, this, &MqttBridge::publishState);
}

void MqttBridge::scheduleCommand(const QString &id, const QByteArray &payload)
{
    const QByteArray word = payload.trimmed().toLower();
    // Echoed only when it is one of the two words: anyone may publish bytes.
    const QString shown = word == "pause" || word == "resume" ? QString::fromLatin1(word) : QString();
    QString error;
    if (!m_schedules)
        error = QStringLiteral("this service runs no schedules");
    else if (word != "pause" && word != "resume")
        error = QStringLiteral("a schedule takes pause or resume");
    else if (m_schedules->setPaused(id, word == "pause", &error))
        error.clear();
    result(id, QStringLiteral("schedule"), shown, error.isEmpty(), error);
    if (error.isEmpty())
        publishState(id);
}
