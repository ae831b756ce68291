#include "WebConfig.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// A real bcrypt hash (of "secret", cost 4).
const char *const kHash = "$2y$04$abcdefghijklmnopqrstuu2r9OfJnfCsdneAXAGHnS4UpFFP8WIrW";

struct Case
{
    const char *name;
    QByteArray yaml;
    const char *error; // a part of the error, or nullptr when it parses
    bool tls;
    int users;
};

class WebConfigParse : public testing::TestWithParam<Case>
{
};

TEST_P(WebConfigParse, ParsesOrNamesTheKey)
{
    const Case &c = GetParam();
    const WebConfig::Parsed p = WebConfig::parse(c.yaml);
    if (!c.error) {
        ASSERT_TRUE(p.config) << p.error.toStdString();
        EXPECT_EQ(p.config->tls(), c.tls);
        EXPECT_EQ(int(p.config->users.size()), c.users);
    } else {
        EXPECT_FALSE(p.config);
        EXPECT_TRUE(p.error.contains(QLatin1String(c.error))) << p.error.toStdString();
    }
}

const QByteArray user = QByteArray("basic_auth_users:\n  alice: ") + kHash + "\n";

INSTANTIATE_TEST_SUITE_P(
    Table, WebConfigParse,
    testing::Values(
        Case{"empty", "", nullptr, false, 0}, Case{"users", user, nullptr, false, 1},
        Case{"tls", "tls_server_config:\n  cert_file: a.crt\n  key_file: a.key\n" + user, nullptr, true, 1},
        Case{"unknownTop", "http_server_config:\n  http2: true\n", "http_server_config", false, 0},
        Case{"unknownTls", "tls_server_config:\n  client_auth_type: RequireAndVerifyClientCert\n",
             "tls_server_config.client_auth_type", false, 0},
        Case{"certWithoutKey", "tls_server_config:\n  cert_file: a.crt\n", "go together", false, 0},
        Case{"plainPassword", "basic_auth_users:\n  bob: hunter2\n", "basic_auth_users.bob", false, 0},
        Case{"usersNotMap", "basic_auth_users: [a, b]\n", "basic_auth_users", false, 0},
        Case{"emptyHash", "basic_auth_users:\n  bob:\n", "basic_auth_users.bob", false, 0},
        Case{"colonInName", QByteArray("basic_auth_users:\n  \"a:b\": ") + kHash + "\n",
             "a user name without a colon", false, 0},
        Case{"notYaml", "tls_server_config: [\n", "line", false, 0},
        Case{"notMap", "- a\n- b\n", "a map", false, 0}),
    [](const testing::TestParamInfo<Case> &info) { return std::string(info.param.name); });

TEST(WebConfigLoad, ReadsCertificateAndKeyBesideTheFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const auto write = [&](const QString &name, const QByteArray &text) {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    };
    write(QStringLiteral("web.yml"), "tls_server_config:\n  cert_file: s.crt\n  key_file: s.key\n");
    write(QStringLiteral("s.crt"), "CERT");
    WebConfig::Parsed p = WebConfig::load(dir.filePath(QStringLiteral("web.yml")));
    EXPECT_FALSE(p.config);
    EXPECT_TRUE(p.error.contains(QLatin1String("tls_server_config.key_file"))) << p.error.toStdString();

    write(QStringLiteral("s.key"), "KEY");
    p = WebConfig::load(dir.filePath(QStringLiteral("web.yml")));
    ASSERT_TRUE(p.config) << p.error.toStdString();
    EXPECT_EQ(p.config->certPem, "CERT");
    EXPECT_EQ(p.config->keyPem, "KEY");

    p = WebConfig::load(dir.filePath(QStringLiteral("missing.yml")));
    EXPECT_FALSE(p.config);
    EXPECT_TRUE(p.error.contains(QLatin1String("missing.yml")));
}

} // namespace
