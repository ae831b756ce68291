#include "MqttUrl.h"

#include <QUrl>

MqttUrl::Parsed MqttUrl::parse(const QString &text)
{
    const auto refused = [](const QString &why) { return Parsed{std::nullopt, why}; };
    const QUrl url(text, QUrl::StrictMode);
    if (text.isEmpty() || !url.isValid())
        return refused(QStringLiteral("\"%1\" is not an address such as mqtt://HOST[:PORT]").arg(text));
    MqttUrl out;
    const QString scheme = url.scheme();
    if (scheme == QLatin1String("mqtts"))
        out.tls = true;
    else if (scheme != QLatin1String("mqtt"))
        return refused(QStringLiteral("\"%1\": the address starts with mqtt:// or mqtts://").arg(text));
    if (url.userInfo().contains(QLatin1Char(':')))
        return refused(QStringLiteral("no password in the address: use --mqtt-password-file or "
                                      "CALIDOR_MQTT_PASSWORD"));
    out.host = url.host();
    if (out.host.isEmpty())
        return refused(QStringLiteral("\"%1\" names no broker host").arg(text));
    if (!(url.path().isEmpty() || url.path() == QLatin1String("/")) || url.hasQuery() || url.hasFragment())
        return refused(QStringLiteral("\"%1\": only the user, host and port go in the address").arg(text));
    // QUrl answers -1 both without a port and with an empty one ("host:").
    if (text.endsWith(QLatin1Char(':')))
        return refused(QStringLiteral("\"%1\": the port is missing after the colon").arg(text));
    const int port = url.port(-1);
    if (port == 0)
        return refused(QStringLiteral("\"%1\": the port must be 1 to 65535").arg(text));
    out.port = port < 0 ? (out.tls ? kTlsPort : kPlainPort) : static_cast<std::uint16_t>(port);
    out.user = url.userName();
    return {out, {}};
}
