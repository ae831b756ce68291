#pragma once

#include "HidTransport.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <cstdint>
#include <optional>

// Reading what sysfs says about a HID device: the uevent keys of the HID
// device a hidraw node belongs to, its report descriptor and the string
// descriptors of the USB device above it. Used both with libudev's paths and
// when scanning a sysfs tree directly.
namespace HidrawSysfs {

struct HidId
{
    std::uint16_t bus = 0;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
};

// "KEY=value" lines; later keys win, lines without '=' are ignored.
QMap<QString, QString> parseUevent(const QByteArray &text);

// HID_ID is "bus:vendor:product" in hexadecimal, 4, 8 and 8 digits as the
// kernel prints them, e.g. "0003:00000925:00005000"; anything else (a field
// cut short or too long, a sign, a prefix, a value over 16 bits) is refused.
std::optional<HidId> parseHidId(const QString &text);

// Everything but the path, from the HID device's folder (the "device" link
// of /sys/class/hidraw/hidrawN). When HID_ID is missing or bad, the ids stay
// 0 and identityProblem says why.
HidDeviceInfo readHidDevice(const QString &hidDeviceFolder);

} // namespace HidrawSysfs
