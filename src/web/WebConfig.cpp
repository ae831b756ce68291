#include "WebConfig.h"

#include "PasswordCheck.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <yaml-cpp/yaml.h>

namespace {

QString keyName(const YAML::Node &key)
{
    return key.IsScalar() ? QString::fromStdString(key.Scalar()) : QStringLiteral("(a key that is not text)");
}

// A scalar's text, or the error naming `where`.
bool scalar(const YAML::Node &node, const QString &where, QString *out, QString *error)
{
    if (!node.IsScalar() || node.Scalar().empty()) {
        *error = QStringLiteral("%1: a value is needed").arg(where);
        return false;
    }
    *out = QString::fromStdString(node.Scalar());
    return true;
}

bool parseTls(const YAML::Node &node, WebConfig *c, QString *error)
{
    if (node.IsNull())
        return true;
    if (!node.IsMap()) {
        *error = QStringLiteral("tls_server_config: a map of cert_file and key_file is needed");
        return false;
    }
    for (const auto &entry : node) {
        const QString key = keyName(entry.first);
        const QString where = QStringLiteral("tls_server_config.") + key;
        if (key == QLatin1String("cert_file")) {
            if (!scalar(entry.second, where, &c->certFile, error))
                return false;
        } else if (key == QLatin1String("key_file")) {
            if (!scalar(entry.second, where, &c->keyFile, error))
                return false;
        } else {
            *error =
                QStringLiteral("%1: not a setting of this service (cert_file and key_file are)").arg(where);
            return false;
        }
    }
    if (c->certFile.isEmpty() != c->keyFile.isEmpty()) {
        *error = QStringLiteral("tls_server_config: cert_file and key_file go together");
        return false;
    }
    return true;
}

bool parseUsers(const YAML::Node &node, WebConfig *c, QString *error)
{
    if (node.IsNull())
        return true;
    if (!node.IsMap()) {
        *error = QStringLiteral("basic_auth_users: a map of user: bcrypt hash is needed");
        return false;
    }
    for (const auto &entry : node) {
        const QString user = keyName(entry.first);
        const QString where = QStringLiteral("basic_auth_users.") + user;
        QString hash;
        if (!scalar(entry.second, where, &hash, error))
            return false;
        // A colon cannot be sent in a basic-auth user name.
        if (user.isEmpty() || user.contains(QLatin1Char(':'))) {
            *error = QStringLiteral("%1: a user name without a colon is needed").arg(where);
            return false;
        }
        if (!PasswordCheck::isHash(hash.toLatin1())) {
            *error = QStringLiteral("%1: not a bcrypt hash ($2y$...; make one with calidorctl hash-password)")
                         .arg(where);
            return false;
        }
        c->users[user] = hash.toLatin1();
    }
    return true;
}

} // namespace

WebConfig::Parsed WebConfig::parse(const QByteArray &yaml)
{
    YAML::Node root;
    try {
        root = YAML::Load(yaml.toStdString());
    } catch (const YAML::Exception &e) {
        return {std::nullopt,
                QStringLiteral("line %1: %2").arg(e.mark.line + 1).arg(QString::fromStdString(e.msg))};
    }
    WebConfig c;
    if (root.IsNull())
        return {c, {}};
    if (!root.IsMap())
        return {std::nullopt, QStringLiteral("a map of tls_server_config and basic_auth_users is needed")};
    QString error;
    try {
        for (const auto &entry : root) {
            const QString key = keyName(entry.first);
            bool ok = true;
            if (key == QLatin1String("tls_server_config"))
                ok = parseTls(entry.second, &c, &error);
            else if (key == QLatin1String("basic_auth_users"))
                ok = parseUsers(entry.second, &c, &error);
            else {
                error = QStringLiteral("%1: not a setting of this service "
                                       "(tls_server_config and basic_auth_users are)")
                            .arg(key);
                ok = false;
            }
            if (!ok)
                return {std::nullopt, error};
        }
    } catch (const YAML::Exception &e) {
        return {std::nullopt, QString::fromStdString(e.msg)};
    }
    return {c, {}};
}

WebConfig::Parsed WebConfig::load(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {std::nullopt, QStringLiteral("cannot read %1: %2").arg(path, file.errorString())};
    // A configuration is a few lines; a huge file is a mistake.
    const QByteArray text = file.read(1 << 20);
    Parsed parsed = parse(text);
    if (!parsed.config) {
        parsed.error = path + QStringLiteral(": ") + parsed.error;
        return parsed;
    }
    WebConfig &c = *parsed.config;
    if (c.tls()) {
        const QDir folder = QFileInfo(path).absoluteDir();
        for (const auto &[name, where, into] : {std::tuple{"cert_file", &c.certFile, &c.certPem},
                                                std::tuple{"key_file", &c.keyFile, &c.keyPem}}) {
            QFile pem(folder.absoluteFilePath(*where));
            if (!pem.open(QIODevice::ReadOnly))
                return {std::nullopt, QStringLiteral("%1: tls_server_config.%2: cannot read %3: %4")
                                          .arg(path, QLatin1String(name), pem.fileName(), pem.errorString())};
            *into = pem.read(1 << 20);
        }
    }
    return parsed;
}
