#include "MetricsExposition.h"

#include "ReadingFormat.h"

#include <functional>

namespace MetricsExposition {

namespace {

// One family: its HELP and TYPE once, then a sample per thermostat that has
// one. A family without samples is left out.
void family(
    QString &out, const char *name, const char *type, const char *help,
    const std::vector<ThermostatState> &states,
    const std::function<std::optional<ReadingFormat::PrometheusSample>(const ThermostatState &)> &sample)
{
    QString samples;
    for (const ThermostatState &s : states)
        if (const auto value = sample(s))
            samples +=
                QStringLiteral("%1{%2%3} %4\n")
                    .arg(QLatin1String(name), ReadingFormat::idLabel(s.id), value->labels, value->value);
    if (samples.isEmpty())
        return;
    out += QStringLiteral("# HELP %1 %2\n# TYPE %1 %3\n")
               .arg(QLatin1String(name), QLatin1String(help), QLatin1String(type)) +
           samples;
}

std::optional<ReadingFormat::PrometheusSample> number(std::uint64_t value)
{
    return ReadingFormat::PrometheusSample{{}, QString::number(value)};
}

} // namespace

QByteArray render(const std::vector<ThermostatState> &states, const QString &version)
{
    QString out;
    family(out, ReadingFormat::kUp.name, "gauge", ReadingFormat::kUp.help, states,
           [](const ThermostatState &s) {
               return ReadingFormat::PrometheusSample{{}, s.up ? QStringLiteral("1") : QStringLiteral("0")};
           });
    for (const ReadingFormat::PrometheusGauge &gauge : ReadingFormat::prometheusGauges())
        family(out, gauge.name, "gauge", gauge.help, states,
               [&gauge](const ThermostatState &s) -> std::optional<ReadingFormat::PrometheusSample> {
                   if (!s.up || !s.reading)
                       return std::nullopt;
                   // Not a measurement while the probe says it failed; the
                   // probe status says why.
                   if (gauge.measured && s.reading->probeFault())
                       return std::nullopt;
                   return gauge.sample(*s.reading);
               });
    family(out, "calidor_reads_total", "counter", "Readings of the thermostat that answered.", states,
           [](const ThermostatState &s) { return number(s.reads); });
    family(out, "calidor_read_errors_total", "counter", "Readings of the thermostat that failed.", states,
           [](const ThermostatState &s) { return number(s.readErrors); });
    family(out, "calidor_last_reading_timestamp_seconds", "gauge",
           "When the last good reading was taken, in seconds since the epoch.", states,
           [](const ThermostatState &s) -> std::optional<ReadingFormat::PrometheusSample> {
               if (!s.readAt.isValid())
                   return std::nullopt;
               return ReadingFormat::PrometheusSample{
                   {}, QString::number(static_cast<double>(s.readAt.toMSecsSinceEpoch()) / 1000.0, 'f', 3)};
           });
    out += QStringLiteral("# HELP calidor_build_info The version of calidorctl serving these metrics.\n"
                          "# TYPE calidor_build_info gauge\n"
                          "calidor_build_info{version=\"%1\"} 1\n")
               .arg(ReadingFormat::labelValue(version));
    return out.toUtf8();
}

} // namespace MetricsExposition
