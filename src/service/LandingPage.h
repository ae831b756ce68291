#pragma once

#include "Fleet.h"

#include <QByteArray>
#include <QString>
#include <vector>

// The dashboard as it reads without JavaScript: a table of the thermostats
// with their last reading, and the way to the metrics; the page's script
// puts its cards in its place. Everything a device said is escaped: a serial number is
// whatever the device chose to send.
namespace LandingPage {

QByteArray table(const std::vector<ThermostatState> &states, const QString &version);

} // namespace LandingPage
