#pragma once

#include "HidTransport.h"

#include <QString>
#include <vector>

// The name a thermostat keeps across unplugging, replugging and rebooting,
// for monitoring labels, MQTT topics and --device: its USB serial number
// when it has one, else the USB port it sits in ("usb-1-1.2"). Never the
// hidraw node or a position, which change when it moves. Cheap devices
// often share one serial; two present at once then each get the port added
// ("SN1-1-1.2"), so that ids stay unique.
namespace ThermostatId {

// Characters outside [A-Za-z0-9_-] become '_'.
QString sanitised(const QString &text);

// The ids of `present`, in the same order; `present` is every thermostat
// there now, since duplicate serials are judged among them.
std::vector<QString> assign(const std::vector<HidDeviceInfo> &present);

} // namespace ThermostatId
