#include "Discovery.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <gtest/gtest.h>

namespace {

std::vector<Discovery::Config> configsOf(const QString &id)
{
    return Discovery(MqttTopics(QStringLiteral("calidor")), QStringLiteral("homeassistant"),
                     QStringLiteral("1.1.0"))
        .configs({id, id});
}

QJsonObject object(const Discovery::Config &c)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(c.payload, &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << c.topic.toStdString();
    return doc.object();
}

TEST(Discovery, EveryEntityIsComplete)
{
    const auto configs = configsOf(QStringLiteral("SIM0001"));
    ASSERT_EQ(configs.size(), 8u);
    const QRegularExpression topic(QStringLiteral(
        "^homeassistant/(sensor|number|select|binary_sensor|switch)/calidor_SIM0001/[a-z_]+/config$"));
    QSet<QString> uniqueIds;
    for (const auto &c : configs) {
        EXPECT_TRUE(topic.match(c.topic).hasMatch()) << c.topic.toStdString();
        const QJsonObject o = object(c);
        for (const char *key : {"name", "unique_id", "state_topic", "value_template", "availability",
                                "availability_mode", "device", "origin"})
            EXPECT_TRUE(o.contains(QLatin1String(key))) << c.topic.toStdString() << " lacks " << key;
        EXPECT_EQ(o[QStringLiteral("state_topic")].toString(), QStringLiteral("calidor/SIM0001/state"));
        EXPECT_EQ(o[QStringLiteral("availability_mode")].toString(), QStringLiteral("all"));
        const QJsonArray availability = o[QStringLiteral("availability")].toArray();
        ASSERT_EQ(availability.size(), 2);
        EXPECT_EQ(availability[0].toObject()[QStringLiteral("topic")].toString(),
                  QStringLiteral("calidor/bridge/availability"));
        EXPECT_EQ(availability[1].toObject()[QStringLiteral("topic")].toString(),
                  QStringLiteral("calidor/SIM0001/availability"));
        const QJsonObject device = o[QStringLiteral("device")].toObject();
        EXPECT_EQ(device[QStringLiteral("identifiers")].toArray().first().toString(),
                  QStringLiteral("calidor_SIM0001"));
        EXPECT_EQ(device[QStringLiteral("model")].toString(), QStringLiteral("QN52-W"));
        EXPECT_EQ(device[QStringLiteral("serial_number")].toString(), QStringLiteral("SIM0001"));
        EXPECT_FALSE(o[QStringLiteral("origin")].toObject()[QStringLiteral("name")].toString().isEmpty());
        uniqueIds.insert(o[QStringLiteral("unique_id")].toString());
    }
    EXPECT_EQ(uniqueIds.size(), 8);
    // Another thermostat shares none of them.
    for (const auto &c : configsOf(QStringLiteral("SIM0002")))
        EXPECT_FALSE(uniqueIds.contains(object(c)[QStringLiteral("unique_id")].toString()));
}

// The keys whose defaults in Home Assistant would be wrong for this device.
TEST(Discovery, DefaultsThatMustBeOverridden)
{
    QHash<QString, QJsonObject> by;
    for (const auto &c : configsOf(QStringLiteral("X")))
        by.insert(c.topic.section(QLatin1Char('/'), 1, 1) + QLatin1Char('/') +
                      c.topic.section(QLatin1Char('/'), 3, 3),
                  object(c));
    for (const char *name : {"number/tl", "number/th"}) {
        const QJsonObject n = by.value(QLatin1String(name));
        EXPECT_EQ(n[QStringLiteral("min")].toDouble(), -55.0) << name;
        EXPECT_EQ(n[QStringLiteral("max")].toDouble(), 125.0) << name;
        EXPECT_EQ(n[QStringLiteral("step")].toDouble(), 0.1) << name;
        EXPECT_EQ(n[QStringLiteral("mode")].toString(), QStringLiteral("box")) << name;
        EXPECT_EQ(n[QStringLiteral("unit_of_measurement")].toString(), QStringLiteral("°C")) << name;
        EXPECT_EQ(n[QStringLiteral("command_topic")].toString(),
                  QStringLiteral("calidor/X/%1/set").arg(QLatin1String(name + 7)));
    }
    const QJsonObject t = by.value(QStringLiteral("sensor/temperature"));
    EXPECT_EQ(t[QStringLiteral("device_class")].toString(), QStringLiteral("temperature"));
    EXPECT_EQ(t[QStringLiteral("state_class")].toString(), QStringLiteral("measurement"));
    EXPECT_EQ(t[QStringLiteral("suggested_display_precision")].toInt(), 1);
    const QJsonObject mode = by.value(QStringLiteral("select/mode"));
    EXPECT_EQ(mode[QStringLiteral("options")].toArray(),
              (QJsonArray{QStringLiteral("A"), QStringLiteral("B")}));
    EXPECT_EQ(mode[QStringLiteral("command_topic")].toString(), QStringLiteral("calidor/X/mode/set"));
    const QJsonObject probe = by.value(QStringLiteral("sensor/probe"));
    EXPECT_EQ(probe[QStringLiteral("device_class")].toString(), QStringLiteral("enum"));
    EXPECT_EQ(probe[QStringLiteral("entity_category")].toString(), QStringLiteral("diagnostic"));
    EXPECT_TRUE(probe[QStringLiteral("options")].toArray().contains(QStringLiteral("probe working")));
    // Home Assistant's own word for "no data": a real fault must not look like it.
    EXPECT_FALSE(probe[QStringLiteral("options")].toArray().contains(QStringLiteral("unknown")));
    const QJsonObject boot = by.value(QStringLiteral("sensor/boot_status"));
    EXPECT_EQ(boot[QStringLiteral("enabled_by_default")].toBool(true), false);
    EXPECT_EQ(boot[QStringLiteral("entity_category")].toString(), QStringLiteral("diagnostic"));
    EXPECT_TRUE(by.contains(QStringLiteral("binary_sensor/relay")));
    // Home Assistant's switch says ON and OFF; the bridge takes resume and pause.
    const QJsonObject schedule = by.value(QStringLiteral("switch/schedule"));
    EXPECT_EQ(schedule[QStringLiteral("command_topic")].toString(), QStringLiteral("calidor/X/schedule/set"));
    EXPECT_EQ(schedule[QStringLiteral("payload_on")].toString(), QStringLiteral("resume"));
    EXPECT_EQ(schedule[QStringLiteral("payload_off")].toString(), QStringLiteral("pause"));
    EXPECT_EQ(schedule[QStringLiteral("state_on")].toString(), QStringLiteral("ON"));
}

} // namespace
