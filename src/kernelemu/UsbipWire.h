#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

// The USB/IP messages that the kernel's virtual host controller (vhci_hcd)
// sends and expects, as in the kernel's Documentation/usb/usbip_protocol.rst:
// a 48-byte header in network byte order, then the OUT data of a submit.
namespace UsbipWire {

constexpr std::size_t HeaderSize = 48;
constexpr std::uint32_t CmdSubmit = 1;
constexpr std::uint32_t CmdUnlink = 2;
constexpr std::uint32_t RetSubmit = 3;
constexpr std::uint32_t RetUnlink = 4;
constexpr std::uint32_t DirOut = 0;
constexpr std::uint32_t DirIn = 1;
// More than any transfer of this device; a larger one is taken as hostile.
constexpr std::uint32_t MaxTransfer = 4096;
// number_of_packets of a transfer that is not isochronous.
constexpr std::uint32_t NotIsochronous = 0xFFFFFFFF;

struct Command
{
    std::uint32_t command = 0;
    std::uint32_t seqnum = 0;
    std::uint32_t devid = 0;
    std::uint32_t direction = 0;
    std::uint32_t ep = 0;
    // CMD_SUBMIT
    std::uint32_t transferFlags = 0;
    std::uint32_t length = 0;
    std::uint32_t numberOfPackets = 0;
    std::uint32_t interval = 0;
    std::array<std::uint8_t, 8> setup{};
    // CMD_UNLINK
    std::uint32_t unlinkSeqnum = 0;

    // Bytes that follow the header on the wire.
    std::uint32_t outBytes() const { return command == CmdSubmit && direction == DirOut ? length : 0; }
};

// The header of a command from the kernel; nullopt with a reason when it is
// not one this device can take (unknown command, isochronous, too long).
std::optional<Command> decode(const std::uint8_t *header, std::size_t size, QString *why);

std::vector<std::uint8_t> retSubmit(const Command &cmd, std::int32_t status,
                                    const std::vector<std::uint8_t> &inData);
std::vector<std::uint8_t> retUnlink(const Command &cmd, std::int32_t status);

} // namespace UsbipWire
