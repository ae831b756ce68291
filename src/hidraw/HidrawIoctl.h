#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The few hidraw ioctl calls, kept in one place. Each returns the byte count
// (or 0) on success and -errno on failure; an interrupted call is retried.
namespace HidrawIoctl {

// HIDIOCGRDESCSIZE + HIDIOCGRDESC: the report descriptor as the kernel holds it.
int reportDescriptor(int fd, std::vector<std::uint8_t> &descriptor);

// HIDIOCGINPUT: a GET_REPORT request for an input report. buf[0] holds the
// report ID on entry; the answer starts with the report ID too.
int getInputReport(int fd, std::uint8_t *buf, std::size_t len);

// HIDIOCGFEATURE / HIDIOCSFEATURE, same buffer layout as above.
int getFeatureReport(int fd, std::uint8_t *buf, std::size_t len);
int setFeatureReport(int fd, const std::uint8_t *buf, std::size_t len);

} // namespace HidrawIoctl
