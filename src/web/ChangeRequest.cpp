#include "ChangeRequest.h"

#include "ValueParser.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QUrl>
#include <cmath>

namespace ChangeRequest {

namespace {

Verdict refused(unsigned status, const QString &reason)
{
    return {status, reason, {}};
}

// A temperature as JSON gives it: a number, or the text a user typed.
ValueParser::Parsed<ValueParser::Celsius> celsiusOf(const QJsonValue &v)
{
    if (v.isString())
        return ValueParser::celsius(v.toString());
    if (v.isDouble()) {
        const double d = v.toDouble();
        if (!std::isfinite(d))
            return {std::nullopt, QStringLiteral("not a temperature")};
        // The shortest text that reads back as the same number: 18.5 stays
        // "18.5", 18.25 stays "18.25" and is refused for its second decimal.
        return ValueParser::celsius(QString::number(d, 'g', QLocale::FloatingPointShortest));
    }
    return {std::nullopt, QStringLiteral("a number of °C is needed")};
}

} // namespace

Verdict checkHeaders(const QByteArray &contentType, const QByteArray &origin, const QByteArray &host,
                     bool tls)
{
    const QByteArray type = contentType.split(';').first().trimmed().toLower();
    if (type != "application/json")
        return refused(403, QStringLiteral("a change is sent as Content-Type: application/json"));
    if (!origin.isEmpty()) {
        const QByteArray expected =
            (tls ? QByteArrayLiteral("https://") : QByteArrayLiteral("http://")) + host.trimmed().toLower();
        if (host.trimmed().isEmpty() || origin.trimmed().toLower() != expected)
            return refused(403, QStringLiteral("a change comes from this service's own page"));
    }
    return {200, {}, {}};
}

Verdict parseBody(const QByteArray &body)
{
    if (body.size() > kMostBytes)
        return refused(413, QStringLiteral("a change takes at most %1 bytes").arg(kMostBytes));
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError)
        return refused(400,
                       QStringLiteral("not JSON: %1 at byte %2").arg(error.errorString()).arg(error.offset));
    if (!doc.isObject())
        return refused(400, QStringLiteral("a JSON object of tl, th and mode is needed"));
    const QJsonObject o = doc.object();
    Verdict v;
    for (auto it = o.begin(); it != o.end(); ++it) {
        const QString key = it.key();
        if (key == QLatin1String("tl") || key == QLatin1String("th")) {
            const auto parsed = celsiusOf(it.value());
            if (!parsed.value)
                return refused(422, QStringLiteral("%1: %2").arg(key.toUpper(), parsed.error));
            (key == QLatin1String("tl") ? v.values.low : v.values.high) = parsed.value->code;
        } else if (key == QLatin1String("mode")) {
            const auto parsed =
                it.value().isString()
                    ? ValueParser::relayMode(it.value().toString())
                    : ValueParser::Parsed<std::int16_t>{std::nullopt, QStringLiteral("A or B is needed")};
            if (!parsed.value)
                return refused(422, QStringLiteral("mode: %1").arg(parsed.error));
            v.values.mode = *parsed.value;
        } else {
            return refused(422, QStringLiteral("%1: not a setting (tl, th and mode are)").arg(key.left(40)));
        }
    }
    if (!v.values.low && !v.values.high && !v.values.mode)
        return refused(422, QStringLiteral("nothing to change: give tl, th or mode"));
    return v;
}

} // namespace ChangeRequest
