#pragma once

#include "Fleet.h"

#include <QByteArray>
#include <QString>
#include <vector>

// The text exposition format 0.0.4 of every thermostat the service knows,
// from the same gauge table as the command line's Prometheus formats, plus
// the service's own counters. A thermostat that is down shows calidor_up 0,
// its counters and the time of its last reading, never stale values.
namespace MetricsExposition {

inline constexpr const char *kContentType = "text/plain; version=0.0.4; charset=utf-8";

QByteArray render(const std::vector<ThermostatState> &states, const QString &version);

} // namespace MetricsExposition
