#pragma once

#include "EmulatedThermostat.h"

#include <linux/uhid.h>
#include <optional>

// The thermostat's side of /dev/uhid: the event that creates the HID device,
// and the answers to what the kernel sends (GET_REPORT for every HIDIOCGINPUT,
// OUTPUT for every write to the hidraw node).
namespace UhidProtocol {

uhid_event create(const EmulatedThermostat &thermostat);
uhid_event destroy();

// `size` is what read() gave; an event shorter than its type needs is
// dropped. The reply, when the event asks for one and the thermostat answers.
std::optional<uhid_event> handle(EmulatedThermostat &thermostat, const uhid_event &event, std::size_t size);

} // namespace UhidProtocol
