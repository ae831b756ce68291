#pragma once

#include "Reading.h"

#include <QDateTime>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

// The four output formats of a reading. `read` prints one reading without a
// time; `watch` prints rows that start with their timestamp. Every text
// returned ends with a line break.
//
// Field names are stable, for scripts: the JSON keys and the CSV columns are
// timestamp (watch only), id, device, temperature_celsius, tl_celsius,
// th_celsius, relay_contact, relay_mode, probe_status, probe_status_text,
// boot_status. Values the thermostat should not send are null in JSON,
// empty in CSV, "unknown" in text and left out of the Prometheus metrics.
enum class OutputFormat { Text, Json, Csv, Prometheus };

namespace ReadingFormat {

QString single(OutputFormat format, const Reading &reading);

// What a watch writes once before its first row: the CSV header, else nothing.
QString header(OutputFormat format);
// Which temperature a row carries: what the thermostat sent (`read` and
// `watch` show everything), or only a measurement (the service's state,
// whose temperature is null while the probe reports a fault).
enum class Temperature { AsSent, Measured };
QString row(OutputFormat format, const QString &timestamp, const Reading &reading,
            Temperature temperature = Temperature::AsSent);

// The Prometheus exposition while the thermostat cannot be read: calidor_up 0.
QString prometheusDown(const QString &id, const QString &timestamp = {});

// The gauges a reading gives in the Prometheus formats, one row each;
// calidor_up comes first and apart, since it is also there without a reading.
// Every series is labelled with the stable id, never the node, so that a
// series survives the thermostat moving to another node.
struct PrometheusSample
{
    QString labels; // more labels after the id, each with a leading comma
    QString value;
};
struct PrometheusGauge
{
    const char *name;
    const char *help;
    std::function<std::optional<PrometheusSample>(const Reading &)> sample; // nullopt: not known
    bool measured = false; // the probe's measurement: the service leaves it out during a probe fault
};
extern const PrometheusGauge kUp;
const std::vector<PrometheusGauge> &prometheusGauges();
QString labelValue(const QString &text); // escaped for a label value
QString idLabel(const QString &id);      // id="..."

// ISO 8601 with milliseconds and the local offset: 2024-05-17T14:03:07.250+02:00.
QString timestamp(const QDateTime &when);

} // namespace ReadingFormat
