#include "UsbDescriptors.h"

namespace {

std::uint8_t lo(std::size_t v)
{
    return static_cast<std::uint8_t>(v & 0xFF);
}
std::uint8_t hi(std::size_t v)
{
    return static_cast<std::uint8_t>((v >> 8) & 0xFF);
}

} // namespace

namespace UsbDescriptors {

std::vector<std::uint8_t> device(std::uint16_t vendorId, std::uint16_t productId, bool hasSerial)
{
    // clang-format off
    return {18, 0x01,
            0x00, 0x02,                 // USB 2.0
            0x00, 0x00, 0x00,           // class in the interface
            64,                         // control endpoint packet size
            lo(vendorId), hi(vendorId), lo(productId), hi(productId),
            0x00, 0x01,                 // device release 1.00
            ManufacturerIndex, ProductIndex, static_cast<std::uint8_t>(hasSerial ? SerialIndex : 0),
            1};                         // one configuration
    // clang-format on
}

std::vector<std::uint8_t> hid(std::size_t reportDescriptorSize)
{
    return {9, 0x21, 0x11, 0x01, 0x00, 1, 0x22, lo(reportDescriptorSize), hi(reportDescriptorSize)};
}

std::vector<std::uint8_t> configuration(std::size_t reportDescriptorSize)
{
    constexpr std::size_t total = 9 + 9 + 9 + 7 + 7;
    // clang-format off
    std::vector<std::uint8_t> d = {
        9, 0x02, lo(total), hi(total), 1, 1, 0, 0x80, 50,  // bus powered, 100 mA
        9, 0x04, 0, 0, 2, 0x03, 0x00, 0x00, 0,           // interface 0: HID, no boot protocol
    };
    // clang-format on
    const auto h = hid(reportDescriptorSize);
    d.insert(d.end(), h.begin(), h.end());
    const std::vector<std::uint8_t> endpoints = {7, 0x05, InEndpoint,  0x03, 64, 0, 10,
                                                 7, 0x05, OutEndpoint, 0x03, 64, 0, 10};
    d.insert(d.end(), endpoints.begin(), endpoints.end());
    return d;
}

std::vector<std::uint8_t> string(const QString &text)
{
    const QString t = text.left(126);
    std::vector<std::uint8_t> d = {static_cast<std::uint8_t>(2 + 2 * t.size()), 0x03};
    for (const QChar c : t) {
        d.push_back(lo(c.unicode()));
        d.push_back(hi(c.unicode()));
    }
    return d;
}

std::vector<std::uint8_t> languages()
{
    return {4, 0x03, 0x09, 0x04};
}

} // namespace UsbDescriptors
