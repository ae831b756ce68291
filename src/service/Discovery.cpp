#include "Discovery.h"

#include "Reading.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

// What Home Assistant needs to know of one entity besides the shared
// parts. `command`: the command topic's name, for those that can be set.
// `members`: the component's own keys, as JSON.
struct Entity
{
    const char *component;
    const char *object;
    const char *name;
    const char *valueTemplate;
    const char *command;
    const char *members;
    void (*more)(QJsonObject &config);
};

// Every state the probe can be in, as the state's probe_status_text gives it.
void probeOptions(QJsonObject &config)
{
    QJsonArray options;
    for (int status = 0; status <= 4; ++status)
        options.append(Reading::probeMeaning(status));
    config.insert(QStringLiteral("options"), options);
}

const Entity kEntities[] = {
    {"sensor", "temperature", "Temperature", "{{ value_json.temperature_celsius }}", nullptr,
     R"({"device_class":"temperature","state_class":"measurement","unit_of_measurement":"°C",
         "suggested_display_precision":1})",
     nullptr},
    {"number", "tl", "Low threshold TL", "{{ value_json.tl_celsius }}", "tl",
     R"({"device_class":"temperature","unit_of_measurement":"°C","min":-55,"max":125,"step":0.1,
         "mode":"box"})",
     nullptr},
    {"number", "th", "High threshold TH", "{{ value_json.th_celsius }}", "th",
     R"({"device_class":"temperature","unit_of_measurement":"°C","min":-55,"max":125,"step":0.1,
         "mode":"box"})",
     nullptr},
    {"select", "mode", "Relay mode", "{{ value_json.relay_mode }}", "mode", R"({"options":["A","B"]})",
     nullptr},
    // "None" is Home Assistant's word for an unknown state: a contact the
    // thermostat did not report is neither on nor off.
    {"binary_sensor", "relay", "Relay on C-NO",
     "{{ {'C-NO': 'ON', 'C-NC': 'OFF'}.get(value_json.relay_contact, 'None') }}", nullptr,
     R"({"payload_on":"ON","payload_off":"OFF"})", nullptr},
    {"sensor", "probe", "Probe status", "{{ value_json.probe_status_text }}", nullptr,
     R"({"device_class":"enum","entity_category":"diagnostic"})", probeOptions},
    // On while the thermostat's schedule runs (an override by hand included);
    // turned off, it pauses it.
    {"switch", "schedule", "Schedule", "{{ 'OFF' if value_json.schedule in ('paused', 'none') else 'ON' }}",
     "schedule", R"({"payload_on":"resume","payload_off":"pause","state_on":"ON","state_off":"OFF"})",
     nullptr},
    {"sensor", "boot_status", "Boot status", "{{ value_json.boot_status }}", nullptr,
     R"({"entity_category":"diagnostic","enabled_by_default":false})", nullptr},
};

QJsonObject parsed(const char *json)
{
    return QJsonDocument::fromJson(QByteArray(json)).object();
}

} // namespace

std::vector<Discovery::Config> Discovery::configs(const Device &device) const
{
    const QString node = QStringLiteral("calidor_") + device.id;

    QJsonObject block{{QStringLiteral("identifiers"), QJsonArray{node}},
                      {QStringLiteral("name"), QStringLiteral("Calidor QN52-W %1").arg(device.id)},
                      {QStringLiteral("manufacturer"), QStringLiteral("Calidor")},
                      {QStringLiteral("model"), QStringLiteral("QN52-W")},
                      {QStringLiteral("sw_version"), m_version}};
    if (!device.serial.isEmpty())
        block.insert(QStringLiteral("serial_number"), device.serial);
    const QJsonObject origin{{QStringLiteral("name"), QStringLiteral("calidorctl")},
                             {QStringLiteral("sw_version"), m_version}};
    const QJsonArray availability{QJsonObject{{QStringLiteral("topic"), m_topics.bridgeAvailability()}},
                                  QJsonObject{{QStringLiteral("topic"), m_topics.availability(device.id)}}};

    std::vector<Config> out;
    for (const Entity &e : kEntities) {
        QJsonObject config = parsed(e.members);
        if (e.more)
            e.more(config);
        const QString object = QLatin1String(e.object);
        config.insert(QStringLiteral("name"), QLatin1String(e.name));
        config.insert(QStringLiteral("unique_id"), node + QLatin1Char('_') + object);
        config.insert(QStringLiteral("state_topic"), m_topics.state(device.id));
        config.insert(QStringLiteral("value_template"), QString::fromUtf8(e.valueTemplate));
        if (e.command)
            config.insert(QStringLiteral("command_topic"),
                          m_topics.command(device.id, QLatin1String(e.command)));
        config.insert(QStringLiteral("availability"), availability);
        config.insert(QStringLiteral("availability_mode"), QStringLiteral("all"));
        config.insert(QStringLiteral("device"), block);
        config.insert(QStringLiteral("origin"), origin);
        out.push_back({m_prefix + QLatin1Char('/') + QLatin1String(e.component) + QLatin1Char('/') + node +
                           QLatin1Char('/') + object + QStringLiteral("/config"),
                       QJsonDocument(config).toJson(QJsonDocument::Compact)});
    }
    return out;
}
