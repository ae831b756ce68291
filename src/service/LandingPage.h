#pragma once

#include "Fleet.h"

#include <QByteArray>
#include <QString>
#include <vector>

// The page at "/": the thermostats with their last reading, and the way to
// the metrics. Everything a device said is escaped: a serial number is
// whatever the device chose to send.
namespace LandingPage {

QByteArray render(const std::vector<ThermostatState> &states, const QString &version);

} // namespace LandingPage
