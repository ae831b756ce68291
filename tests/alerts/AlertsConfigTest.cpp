#include "AlertsConfig.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct Refused
{
    const char *json;
    const char *error;
};

class AlertsConfigRefused : public testing::TestWithParam<Refused>
{
};

TEST_P(AlertsConfigRefused, saysWhy)
{
    const auto loaded = AlertsConfig::parse(GetParam().json, QStringLiteral("/nonexistent"), {});
    EXPECT_FALSE(loaded.config);
    EXPECT_TRUE(loaded.error.contains(QString::fromUtf8(GetParam().error))) << loaded.error.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Table, AlertsConfigRefused,
    testing::Values(
        Refused{"[", "not a JSON object"}, Refused{R"({"chanels":[]})", "unknown key \"chanels\""},
        Refused{R"({"rules":{"margin":-1}})", "\"margin\" must be"},
        Refused{R"({"rules":{"band_minutes":"10"}})", "\"band_minutes\" must be"},
        Refused{R"({"channels":[{"type":"pigeon"}]})", "channel 1: \"type\""},
        Refused{R"({"channels":[{"type":"ntfy","url":"file:///etc/shadow"}]})", "channel 1: \"url\""},
        Refused{R"({"channels":[{"type":"webhook","url":"https://me:pw@example.org/x"}]})", "token_file"},
        Refused{R"({"channels":[{"type":"ntfy","url":"https://example.org/x","token":"abc"}]})",
                "unknown key \"token\""},
        Refused{R"({"channels":[{"type":"ntfy","url":"https://example.org/x","token_file":"missing"}]})",
                "/nonexistent/missing"},
        Refused{R"({"channels":[{"type":"email","to":[]}]})", "\"to\" must list"},
        Refused{R"({"channels":[{"type":"email","to":["-oQ/tmp@x"]}]})", "not a plain address"},
        Refused{R"({"channels":[{"type":"email","to":["a@b\nBcc: c@d"]}]})", "not a plain address"},
        Refused{R"({"channels":[{"type":"email","to":["a@b@c"]}]})", "not a plain address"},
        Refused{R"({"channels":[{"type":"email","to":["@b"]}]})", "not a plain address"},
        Refused{R"({"channels":[{"type":"email","to":["a@"]}]})", "not a plain address"},
        Refused{R"({"channels":[{"type":"email","to":["a b@c"]}]})", "not a plain address"},
        Refused{R"({"channels":[{"type":"email","to":["a@b"],"from":"<a@b>"}]})", "\"from\" is not"},
        Refused{R"({"channels":[{"type":"email","to":["a@b"],"sendmail":"sendmail"}]})", "absolute"}));

TEST(AlertsConfig, readsTokensFromTheCredentialsFolderFirst)
{
    QTemporaryDir beside, credentials;
    for (const auto &[dir, token] :
         {std::pair{&beside, "beside\n"}, std::pair{&credentials, " unit-credential \n"}}) {
        QFile file(dir->filePath(QStringLiteral("ntfy-token")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(token);
    }
    const QByteArray json =
        R"({"channels":[{"type":"ntfy","url":"https://example.org/cellar","token_file":"ntfy-token"},
        {"type":"email","to":["owner@example.org"]}], "rules":{"margin":1.5,"reminder_hours":6}})";
    const auto fromUnit = AlertsConfig::parse(json, beside.path(), credentials.path());
    ASSERT_TRUE(fromUnit.config) << fromUnit.error.toStdString();
    EXPECT_EQ(fromUnit.config->channels[0].token, QByteArray("unit-credential"));
    EXPECT_EQ(fromUnit.config->channels[1].sendmail, QStringLiteral("/usr/sbin/sendmail"));
    EXPECT_EQ(fromUnit.config->rules.marginTenths, 15);
    EXPECT_EQ(fromUnit.config->rules.bandSeconds, 600); // defaults stay
    EXPECT_EQ(fromUnit.config->rules.reminderSeconds, 6 * 3600);
    const auto beside2 = AlertsConfig::parse(json, beside.path(), {});
    ASSERT_TRUE(beside2.config);
    EXPECT_EQ(beside2.config->channels[0].token, QByteArray("beside"));
}

// The unit hands the whole file over as a credential: a relative name is
// looked for there, and its token beside it.
TEST(AlertsConfig, aRelativeFileIsACredentialOfTheUnit)
{
    QTemporaryDir credentials;
    for (const auto &[name, body] :
         {std::pair{"alerts.json",
                    R"({"channels":[{"type":"ntfy","url":"https://example.org/c","token_file":"t"}]})"},
          std::pair{"t", "secret\n"}}) {
        QFile file(credentials.filePath(QString::fromLatin1(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(body);
    }
    const auto loaded = AlertsConfig::load(QStringLiteral("alerts.json"), credentials.path());
    ASSERT_TRUE(loaded.config) << loaded.error.toStdString();
    EXPECT_EQ(loaded.config->channels[0].token, QByteArray("secret"));
    EXPECT_FALSE(AlertsConfig::load(QStringLiteral("alerts.json"), QStringLiteral("/nonexistent")).config);
}

} // namespace
