// serve's MQTT options: on the command line, then as the bridge's settings.
#include "CommandLine.h"
#include "MqttBridge.h"

#include <QTemporaryFile>
#include <gtest/gtest.h>

namespace {

QStringList split(const char *line)
{
    return QString::fromUtf8(line).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

TEST(MqttOptions, AllOfThemWithServe)
{
    const auto r =
        CommandLine::parse(split("serve --mqtt mqtts://ha@h:8884 --mqtt-ca ca.pem --mqtt-password-file pw "
                                 "--mqtt-client-id me --topic-prefix home/heat --discovery-prefix=ha "
                                 "--no-discovery"));
    ASSERT_TRUE(r.error.isEmpty()) << r.error.toStdString();
    const CliOptions &o = r.options;
    EXPECT_EQ(o.service.mqtt, QStringLiteral("mqtts://ha@h:8884"));
    EXPECT_EQ(o.service.mqttCa, QStringLiteral("ca.pem"));
    EXPECT_EQ(o.service.mqttPasswordFile, QStringLiteral("pw"));
    EXPECT_EQ(o.service.mqttClientId, QStringLiteral("me"));
    EXPECT_EQ(o.service.topicPrefix, QStringLiteral("home/heat"));
    EXPECT_EQ(o.service.discoveryPrefix, QStringLiteral("ha"));
    EXPECT_TRUE(o.service.noDiscovery);
}

struct Refused
{
    const char *line;
    const char *error;
};

class MqttOptionsRefused : public ::testing::TestWithParam<Refused>
{
};

TEST_P(MqttOptionsRefused, SaysWhatIsWrong)
{
    const auto r = CommandLine::parse(split(GetParam().line));
    EXPECT_TRUE(r.error.contains(QLatin1String(GetParam().error))) << r.error.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Lines, MqttOptionsRefused,
                         ::testing::Values(Refused{"read --mqtt mqtt://h", "--mqtt does not go with read"},
                                           Refused{"watch --no-discovery", "does not go with watch"},
                                           Refused{"serve --mqtt-ca ca.pem", "--mqtt-ca needs --mqtt"},
                                           Refused{"serve --topic-prefix x", "--topic-prefix needs --mqtt"},
                                           Refused{"serve --mqtt=", "broker address"},
                                           Refused{"serve --mqtt mqtt://h --mqtt-password secret",
                                                   "unknown option --mqtt-password"}));

struct SettingsCase
{
    const char *line;
    const char *passwordInFile; // nullptr: no file
    const char *passwordInEnvironment;
    const char *error; // nullptr: accepted
    const char *password;
};

class MqttSettings : public ::testing::TestWithParam<SettingsCase>
{
};

TEST_P(MqttSettings, FromTheOptions)
{
    const SettingsCase &c = GetParam();
    QString line = QString::fromUtf8(c.line);
    QTemporaryFile file;
    if (c.passwordInFile) {
        ASSERT_TRUE(file.open());
        file.write(c.passwordInFile);
        file.flush();
        line += QStringLiteral(" --mqtt-password-file ") + file.fileName();
    }
    const auto parsed = CommandLine::parse(line.split(QLatin1Char(' '), Qt::SkipEmptyParts));
    ASSERT_TRUE(parsed.error.isEmpty()) << parsed.error.toStdString();
    QProcessEnvironment env;
    if (c.passwordInEnvironment)
        env.insert(QStringLiteral("CALIDOR_MQTT_PASSWORD"), QString::fromUtf8(c.passwordInEnvironment));
    MqttBridge::Settings s;
    QString error;
    const bool ok = MqttBridge::settingsFrom(parsed.options.service, env, &s, &error);
    if (c.error) {
        EXPECT_FALSE(ok);
        EXPECT_TRUE(error.contains(QLatin1String(c.error))) << error.toStdString();
        return;
    }
    ASSERT_TRUE(ok) << error.toStdString();
    EXPECT_EQ(s.client.password, QString::fromUtf8(c.password));
    EXPECT_TRUE(s.client.clientId.startsWith(QLatin1String("calidor-")));
}

INSTANTIATE_TEST_SUITE_P(
    Table, MqttSettings,
    ::testing::Values(
        SettingsCase{"serve --mqtt mqtt://u@h", "s3cret\nignored\n", "env", nullptr, "s3cret"},
        SettingsCase{"serve --mqtt mqtt://u@h", "crlf\r\n", nullptr, nullptr, "crlf"},
        SettingsCase{"serve --mqtt mqtt://u@h", nullptr, "from-env", nullptr, "from-env"},
        SettingsCase{"serve --mqtt mqtt://h", nullptr, nullptr, nullptr, ""},
        SettingsCase{"serve --mqtt mqtt://h", nullptr, "lonely", "needs a user", ""},
        SettingsCase{"serve --mqtt mqtt://h --mqtt-ca ca.pem", nullptr, nullptr, "mqtts://", ""},
        SettingsCase{"serve --mqtt http://h", nullptr, nullptr, "--mqtt:", ""},
        SettingsCase{"serve --mqtt mqtt://h --topic-prefix a/#", nullptr, nullptr, "--topic-prefix", ""},
        SettingsCase{"serve --mqtt mqtt://h --discovery-prefix=/ha", nullptr, nullptr, "--discovery-prefix",
                     ""}));

TEST(MqttSettings, AMissingPasswordFileIsSaid)
{
    const auto parsed =
        CommandLine::parse(split("serve --mqtt mqtt://u@h --mqtt-password-file /nonexistent/pw"));
    MqttBridge::Settings s;
    QString error;
    EXPECT_FALSE(MqttBridge::settingsFrom(parsed.options.service, {}, &s, &error));
    EXPECT_TRUE(error.contains(QLatin1String("/nonexistent/pw"))) << error.toStdString();
}

} // namespace
