#include "AlertsConfig.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>
#include <cmath>

namespace {

bool unknownKeys(const QJsonObject &object, const QStringList &known, QString *key)
{
    for (auto it = object.begin(); it != object.end(); ++it)
        if (!known.contains(it.key())) {
            *key = it.key();
            return true;
        }
    return false;
}

QString readToken(const QString &name, const QString &folder, const QString &credentials, QByteArray *token)
{
    QString path = name;
    if (QFileInfo(name).isRelative())
        path = QDir(credentials.isEmpty() ? folder : credentials).filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("cannot read token_file %1: %2").arg(path, file.errorString());
    *token = file.read(4097).trimmed();
    if (token->isEmpty() || token->size() > 4096 || token->contains('\n') || token->contains('\r'))
        return QStringLiteral("token_file %1 must hold one line, the token").arg(path);
    return {};
}

QString checkUrl(const QString &text)
{
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https")) ||
        url.host().isEmpty())
        return QStringLiteral("\"url\" must be an http:// or https:// address");
    if (!url.userInfo().isEmpty())
        return QStringLiteral("\"url\" must not hold a user or password: use token_file");
    return {};
}

// An address sendmail takes as a recipient, never as an option: one @
// between two non-empty parts, no space, quote, bracket or separator, no
// leading dash. Checked by hand: the service may not run a regular
// expression's compiler (its unit denies writable code).
bool plainAddress(const QString &address)
{
    const qsizetype at = address.indexOf(QLatin1Char('@'));
    if (at <= 0 || at == address.size() - 1 || address.indexOf(QLatin1Char('@'), at + 1) >= 0 ||
        address.startsWith(QLatin1Char('-')))
        return false;
    for (const QChar c : address)
        if (c.isSpace() || QStringLiteral("<>,;\"'").contains(c))
            return false;
    return true;
}

} // namespace

AlertsConfig::Loaded AlertsConfig::load(const QString &path)
{
    return load(path, qEnvironmentVariable("CREDENTIALS_DIRECTORY"));
}

AlertsConfig::Loaded AlertsConfig::load(const QString &path, const QString &credentials)
{
    const QString where =
        QFileInfo(path).isRelative() && !credentials.isEmpty() ? QDir(credentials).filePath(path) : path;
    QFile file(where);
    if (!file.open(QIODevice::ReadOnly))
        return {std::nullopt, QStringLiteral("cannot read %1: %2").arg(where, file.errorString())};
    return parse(file.read(1 << 20), QFileInfo(where).absolutePath(), credentials);
}

AlertsConfig::Loaded AlertsConfig::parse(const QByteArray &json, const QString &folder,
                                         const QString &credentials)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return {std::nullopt, QStringLiteral("not a JSON object: %1").arg(error.errorString())};
    const QJsonObject root = document.object();
    QString key;
    if (unknownKeys(root, {QStringLiteral("channels"), QStringLiteral("rules")}, &key))
        return {std::nullopt, QStringLiteral("unknown key \"%1\"").arg(key)};

    AlertsConfig config;
    const QJsonObject rules = root.value(QLatin1String("rules")).toObject();
    if (unknownKeys(rules,
                    {QStringLiteral("margin"), QStringLiteral("band_minutes"),
                     QStringLiteral("silent_minutes"), QStringLiteral("probe_minutes"),
                     QStringLiteral("reminder_hours")},
                    &key))
        return {std::nullopt, QStringLiteral("rules: unknown key \"%1\"").arg(key)};
    const auto number = [&](const char *name, double low, double high, double fallback,
                            double *out) -> QString {
        const QJsonValue value = rules.value(QLatin1String(name));
        *out = value.isUndefined() ? fallback : value.toDouble(std::nan(""));
        if (!(*out >= low && *out <= high))
            return QStringLiteral("rules: \"%1\" must be a number from %2 to %3")
                .arg(QLatin1String(name))
                .arg(low)
                .arg(high);
        return {};
    };
    double margin = 0, band = 0, silent = 0, probe = 0, reminder = 0;
    for (const QString &e :
         {number("margin", 0, 50, 2, &margin), number("band_minutes", 0, 1440, 10, &band),
          number("silent_minutes", 0, 1440, 2, &silent), number("probe_minutes", 0, 1440, 1, &probe),
          number("reminder_hours", 0, 24 * 30, 0, &reminder)})
        if (!e.isEmpty())
            return {std::nullopt, e};
    config.rules.marginTenths = static_cast<std::int32_t>(std::lround(margin * 10));
    config.rules.bandSeconds = std::llround(band * 60);
    config.rules.silentSeconds = std::llround(silent * 60);
    config.rules.probeSeconds = std::llround(probe * 60);
    config.rules.reminderSeconds = std::llround(reminder * 3600);

    int index = 0;
    for (const QJsonValue &item : root.value(QLatin1String("channels")).toArray()) {
        ++index;
        const auto fail = [index](const QString &why) {
            return Loaded{std::nullopt, QStringLiteral("channel %1: %2").arg(index).arg(why)};
        };
        const QJsonObject object = item.toObject();
        AlertChannel channel;
        const QString type = object.value(QLatin1String("type")).toString();
        if (type == QLatin1String("ntfy") || type == QLatin1String("webhook")) {
            if (unknownKeys(object,
                            {QStringLiteral("type"), QStringLiteral("url"), QStringLiteral("token_file")},
                            &key))
                return fail(QStringLiteral("unknown key \"%1\"").arg(key));
            channel.type =
                type == QLatin1String("ntfy") ? AlertChannel::Type::Ntfy : AlertChannel::Type::Webhook;
            channel.url = object.value(QLatin1String("url")).toString();
            if (QString e = checkUrl(channel.url); !e.isEmpty())
                return fail(e);
            channel.name = type + QLatin1Char(' ') + QUrl(channel.url).host();
            if (object.contains(QLatin1String("token_file"))) {
                if (QString e = readToken(object.value(QLatin1String("token_file")).toString(), folder,
                                          credentials, &channel.token);
                    !e.isEmpty())
                    return fail(e);
            }
        } else if (type == QLatin1String("email")) {
            if (unknownKeys(object,
                            {QStringLiteral("type"), QStringLiteral("to"), QStringLiteral("from"),
                             QStringLiteral("sendmail")},
                            &key))
                return fail(QStringLiteral("unknown key \"%1\"").arg(key));
            channel.type = AlertChannel::Type::Mail;
            for (const QJsonValue &to : object.value(QLatin1String("to")).toArray()) {
                if (!plainAddress(to.toString()))
                    return fail(QStringLiteral("\"%1\" is not a plain address").arg(to.toString().left(80)));
                channel.to.append(to.toString());
            }
            if (channel.to.isEmpty())
                return fail(QStringLiteral("\"to\" must list addresses"));
            channel.from = object.value(QLatin1String("from")).toString(QStringLiteral("calidor@localhost"));
            if (!plainAddress(channel.from))
                return fail(QStringLiteral("\"from\" is not a plain address"));
            channel.sendmail = object.value(QLatin1String("sendmail")).toString(channel.sendmail);
            if (QFileInfo(channel.sendmail).isRelative())
                return fail(QStringLiteral("\"sendmail\" must be an absolute path"));
            channel.name = QStringLiteral("email ") + channel.to.join(QLatin1Char(','));
        } else {
            return fail(QStringLiteral("\"type\" must be ntfy, webhook or email"));
        }
        config.channels.push_back(channel);
    }
    return {config, {}};
}
