#include "MqttCommand.h"

#include "ValueParser.h"

#include <QStringDecoder>

namespace MqttCommand {

Parsed parse(const QString &name, const QByteArray &payload)
{
    Parsed out;
    if (payload.size() > kLongestPayload) {
        out.error = QStringLiteral("the payload is %1 bytes long; a value takes at most %2")
                        .arg(payload.size())
                        .arg(kLongestPayload);
        return out;
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = QString(utf8(payload)).trimmed();
    if (utf8.hasError()) {
        out.error = QStringLiteral("the payload is not UTF-8 text");
        return out;
    }
    for (QChar c : text)
        if (c.category() == QChar::Other_Control) {
            out.error = QStringLiteral("the payload holds control characters");
            return out;
        }
    out.shown = text;
    if (text.isEmpty()) {
        out.error = QStringLiteral("the payload is empty");
        return out;
    }
    SetCommand::Values values;
    if (name == QLatin1String("mode")) {
        const auto mode = ValueParser::relayMode(text);
        if (!mode.value) {
            out.error = mode.error;
            return out;
        }
        values.mode = *mode.value;
    } else {
        // Home Assistant converts °F to °C without rounding: "18.333333333333332".
        const auto celsius = ValueParser::celsiusToTenth(text);
        if (!celsius.value) {
            out.error = celsius.error;
            return out;
        }
        (name == QLatin1String("tl") ? values.low : values.high) = celsius.value->code;
    }
    out.values = values;
    return out;
}

} // namespace MqttCommand
