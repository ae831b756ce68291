#include "ReadingFormat.h"

#include "ValueParser.h"

#include <QStringList>
#include <cstdlib>

using ValueParser::celsiusText;

namespace ReadingFormat {

namespace {

const QStringList kColumns{
    QStringLiteral("id"),          QStringLiteral("device"),       QStringLiteral("temperature_celsius"),
    QStringLiteral("tl_celsius"),  QStringLiteral("th_celsius"),   QStringLiteral("relay_contact"),
    QStringLiteral("relay_mode"),  QStringLiteral("probe_status"), QStringLiteral("probe_status_text"),
    QStringLiteral("boot_status"),
};

QString jsonString(const QString &text)
{
    QString out = QStringLiteral("\"");
    for (QChar c : text) {
        switch (c.unicode()) {
        case '"':
            out += QStringLiteral("\\\"");
            break;
        case '\\':
            out += QStringLiteral("\\\\");
            break;
        case '\n':
            out += QStringLiteral("\\n");
            break;
        case '\r':
            out += QStringLiteral("\\r");
            break;
        case '\t':
            out += QStringLiteral("\\t");
            break;
        default:
            if (c.unicode() < 0x20)
                out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            else
                out += c;
        }
    }
    return out + QLatin1Char('"');
}

QString jsonStringOrNull(const QString &text)
{
    return text.isEmpty() ? QStringLiteral("null") : jsonString(text);
}

QString csvField(const QString &text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

} // namespace

QString labelValue(const QString &text)
{
    QString out = text;
    out.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    out.replace(QLatin1Char('"'), QStringLiteral("\\\""));
    out.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    return out;
}

QString idLabel(const QString &id)
{
    return QStringLiteral("id=\"%1\"").arg(labelValue(id));
}

const PrometheusGauge kUp{
    "calidor_up", "1 when the thermostat answered the last reading, 0 when it did not.", {}};

const std::vector<PrometheusGauge> &prometheusGauges()
{
    const auto value = [](const QString &v) {
        return std::optional<PrometheusSample>(PrometheusSample{{}, v});
    };
    static const std::vector<PrometheusGauge> gauges{
        {"calidor_temperature_celsius", "Temperature measured by the thermostat's probe.",
         [value](const Reading &r) { return value(celsiusText(r.temperature)); }, true},
        {"calidor_low_threshold_celsius", "Low switching threshold TL held by the thermostat.",
         [value](const Reading &r) { return value(celsiusText(r.low)); }},
        {"calidor_high_threshold_celsius", "High switching threshold TH held by the thermostat.",
         [value](const Reading &r) { return value(celsiusText(r.high)); }},
        {"calidor_relay_contact_no", "1 when the relay's common contact is on C-NO, 0 on C-NC.",
         [value](const Reading &r) {
             return r.contactOnNO ? value(*r.contactOnNO ? QStringLiteral("1") : QStringLiteral("0"))
                                  : std::nullopt;
         }},
        {"calidor_relay_mode", "Relay mode held by the thermostat, in the mode label.",
         [](const Reading &r) {
             return r.mode ? std::optional<PrometheusSample>(PrometheusSample{
                                 QStringLiteral(",mode=\"%1\"").arg(r.modeText()), QStringLiteral("1")})
                           : std::nullopt;
         }},
        {"calidor_probe_status",
         "Probe status: 0 working, 1 short-circuited, 2 no probe, 3 measurement failed its CRC.",
         [value](const Reading &r) { return value(QString::number(r.probeStatus)); }},
        {"calidor_boot_status", "Boot status reported by the thermostat, raw.",
         [value](const Reading &r) { return value(QString::number(r.bootStatus)); }},
    };
    return gauges;
}

namespace {

// The values in column order, as JSON literals.
QStringList jsonValues(const Reading &r, Temperature temperature = Temperature::AsSent)
{
    const bool measured = temperature == Temperature::AsSent || !r.probeFault();
    return {jsonString(r.id),
            jsonString(r.device),
            measured ? celsiusText(r.temperature) : QStringLiteral("null"),
            celsiusText(r.low),
            celsiusText(r.high),
            jsonStringOrNull(r.contactText()),
            jsonStringOrNull(r.modeText()),
            QString::number(r.probeStatus),
            jsonString(Reading::probeMeaning(r.probeStatus)),
            QString::number(r.bootStatus)};
}

QStringList csvValues(const Reading &r)
{
    return {csvField(r.id),
            csvField(r.device),
            celsiusText(r.temperature),
            celsiusText(r.low),
            celsiusText(r.high),
            r.contactText(),
            r.modeText(),
            QString::number(r.probeStatus),
            csvField(Reading::probeMeaning(r.probeStatus)),
            QString::number(r.bootStatus)};
}

QString json(const QStringList &names, const QStringList &values)
{
    QStringList pairs;
    for (qsizetype i = 0; i < names.size(); ++i)
        pairs << jsonString(names.at(i)) + QLatin1Char(':') + values.at(i);
    return QLatin1Char('{') + pairs.join(QLatin1Char(',')) + QStringLiteral("}\n");
}

QString orUnknown(const QString &text)
{
    return text.isEmpty() ? QStringLiteral("unknown") : text;
}

QString metric(const char *name, const char *help, const QString &labels, const QString &value)
{
    return QStringLiteral("# HELP %1 %2\n# TYPE %1 gauge\n%1{%3} %4\n")
        .arg(QLatin1String(name), QLatin1String(help), labels, value);
}

QString prometheus(const Reading &r, const QString &timestamp)
{
    const QString id = idLabel(r.id);
    QString out;
    if (!timestamp.isEmpty())
        out += QStringLiteral("# reading at ") + timestamp + QLatin1Char('\n');
    out += metric(kUp.name, kUp.help, id, QStringLiteral("1"));
    for (const PrometheusGauge &gauge : prometheusGauges())
        if (const std::optional<PrometheusSample> sample = gauge.sample(r))
            out += metric(gauge.name, gauge.help, id + sample->labels, sample->value);
    return out;
}

QString text(const Reading &r)
{
    QString out;
    const auto line = [&out](const char *name, const QString &value) {
        out += QStringLiteral("%1 %2\n").arg(QLatin1String(name), -13).arg(value);
    };
    line("id:", r.id);
    line("device:", r.device);
    line("temperature:", celsiusText(r.temperature) + QStringLiteral(" °C"));
    line("TL:", celsiusText(r.low) + QStringLiteral(" °C"));
    line("TH:", celsiusText(r.high) + QStringLiteral(" °C"));
    line("relay:", orUnknown(r.contactText()));
    line("mode:", orUnknown(r.modeText()));
    line("probe:", QStringLiteral("%1 (%2)").arg(r.probeStatus).arg(Reading::probeMeaning(r.probeStatus)));
    line("boot status:", QString::number(r.bootStatus));
    return out;
}

QString textRow(const QString &timestamp, const Reading &r)
{
    const QString gap = QStringLiteral("  ");
    return timestamp + gap + r.id + gap + r.device + gap + celsiusText(r.temperature) +
           QStringLiteral(" °C  TL ") + celsiusText(r.low) + QStringLiteral(" °C  TH ") +
           celsiusText(r.high) + QStringLiteral(" °C  ") + orUnknown(r.contactText()) +
           QStringLiteral("  mode ") + orUnknown(r.modeText()) +
           QStringLiteral("  probe %1 (").arg(r.probeStatus) + Reading::probeMeaning(r.probeStatus) +
           QStringLiteral(")  boot ") + QString::number(r.bootStatus) + QLatin1Char('\n');
}

} // namespace

QString single(OutputFormat format, const Reading &reading)
{
    switch (format) {
    case OutputFormat::Json:
        return json(kColumns, jsonValues(reading));
    case OutputFormat::Csv:
        // One reading carries no time stamp: its header names only the
        // columns it has.
        return kColumns.join(QLatin1Char(',')) + QLatin1Char('\n') +
               csvValues(reading).join(QLatin1Char(',')) + QLatin1Char('\n');
    case OutputFormat::Prometheus:
        return prometheus(reading, {});
    case OutputFormat::Text:
        break;
    }
    return text(reading);
}

QString header(OutputFormat format)
{
    if (format != OutputFormat::Csv)
        return {};
    return QStringLiteral("timestamp,") + kColumns.join(QLatin1Char(',')) + QLatin1Char('\n');
}

QString row(OutputFormat format, const QString &timestamp, const Reading &reading, Temperature temperature)
{
    switch (format) {
    case OutputFormat::Json:
        return json(QStringList{QStringLiteral("timestamp")} + kColumns,
                    QStringList{jsonString(timestamp)} + jsonValues(reading, temperature));
    case OutputFormat::Csv:
        return timestamp + QLatin1Char(',') + csvValues(reading).join(QLatin1Char(',')) + QLatin1Char('\n');
    case OutputFormat::Prometheus:
        return prometheus(reading, timestamp);
    case OutputFormat::Text:
        break;
    }
    return textRow(timestamp, reading);
}

QString prometheusDown(const QString &id, const QString &timestamp)
{
    QString out;
    if (!timestamp.isEmpty())
        out += QStringLiteral("# reading at ") + timestamp + QLatin1Char('\n');
    return out + metric(kUp.name, kUp.help, idLabel(id), QStringLiteral("0"));
}

QString timestamp(const QDateTime &when)
{
    const int offset = when.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return when.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")) +
           (offset < 0 ? QLatin1Char('-') : QLatin1Char('+')) +
           QStringLiteral("%1:%2")
               .arg(minutes / 60, 2, 10, QLatin1Char('0'))
               .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

} // namespace ReadingFormat
