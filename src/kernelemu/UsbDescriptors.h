#pragma once

#include <QString>
#include <cstdint>
#include <vector>

// The USB descriptors of the thermostat: one configuration with one HID
// interface, an interrupt IN and an interrupt OUT endpoint.
namespace UsbDescriptors {

constexpr std::uint8_t InEndpoint = 0x81;
constexpr std::uint8_t OutEndpoint = 0x02;
constexpr std::uint8_t ManufacturerIndex = 1;
constexpr std::uint8_t ProductIndex = 2;
constexpr std::uint8_t SerialIndex = 3;

std::vector<std::uint8_t> device(std::uint16_t vendorId, std::uint16_t productId, bool hasSerial);
std::vector<std::uint8_t> hid(std::size_t reportDescriptorSize);
std::vector<std::uint8_t> configuration(std::size_t reportDescriptorSize);
// String descriptor 0 is the language list; the others are UTF-16LE text,
// cut to the 126 characters a descriptor can hold.
std::vector<std::uint8_t> string(const QString &text);
std::vector<std::uint8_t> languages();

} // namespace UsbDescriptors
