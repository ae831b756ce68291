#include "UsbipWire.h"

#include <algorithm>

namespace {

std::uint32_t get32(const std::uint8_t *p)
{
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}

void put32(std::vector<std::uint8_t> &out, std::size_t at, std::uint32_t v)
{
    out[at] = static_cast<std::uint8_t>(v >> 24);
    out[at + 1] = static_cast<std::uint8_t>(v >> 16);
    out[at + 2] = static_cast<std::uint8_t>(v >> 8);
    out[at + 3] = static_cast<std::uint8_t>(v);
}

std::vector<std::uint8_t> basic(std::uint32_t command, const UsbipWire::Command &cmd)
{
    std::vector<std::uint8_t> out(UsbipWire::HeaderSize, 0);
    put32(out, 0, command);
    put32(out, 4, cmd.seqnum);
    put32(out, 8, cmd.devid);
    put32(out, 12, cmd.direction);
    put32(out, 16, cmd.ep);
    return out;
}

} // namespace

namespace UsbipWire {

std::optional<Command> decode(const std::uint8_t *h, std::size_t size, QString *why)
{
    auto refuse = [why](const QString &text) -> std::optional<Command> {
        if (why)
            *why = text;
        return std::nullopt;
    };
    if (size < HeaderSize)
        return refuse(QStringLiteral("a header of %1 bytes, not %2").arg(size).arg(HeaderSize));
    Command c;
    c.command = get32(h);
    c.seqnum = get32(h + 4);
    c.devid = get32(h + 8);
    c.direction = get32(h + 12);
    c.ep = get32(h + 16);
    if (c.direction != DirOut && c.direction != DirIn)
        return refuse(QStringLiteral("direction %1").arg(c.direction));
    if (c.ep > 15)
        return refuse(QStringLiteral("endpoint %1").arg(c.ep));
    if (c.command == CmdSubmit) {
        c.transferFlags = get32(h + 20);
        c.length = get32(h + 24);
        c.numberOfPackets = get32(h + 32);
        c.interval = get32(h + 36);
        for (std::size_t i = 0; i < 8; ++i)
            c.setup[i] = h[40 + i];
        if (c.length > MaxTransfer)
            return refuse(QStringLiteral("a transfer of %1 bytes").arg(c.length));
        if (c.numberOfPackets != 0 && c.numberOfPackets != NotIsochronous)
            return refuse(QStringLiteral("an isochronous transfer of %1 packets").arg(c.numberOfPackets));
    } else if (c.command == CmdUnlink) {
        c.unlinkSeqnum = get32(h + 20);
    } else {
        return refuse(QStringLiteral("command %1").arg(c.command));
    }
    return c;
}

std::vector<std::uint8_t> retSubmit(const Command &cmd, std::int32_t status,
                                    const std::vector<std::uint8_t> &inData)
{
    std::vector<std::uint8_t> out = basic(RetSubmit, cmd);
    const bool in = cmd.direction == DirIn && status == 0;
    // Never more IN data than the kernel asked for: it reads exactly actual_length.
    const std::uint32_t inBytes =
        std::min<std::uint32_t>(static_cast<std::uint32_t>(inData.size()), cmd.length);
    const std::uint32_t actual = status != 0 ? 0 : (in ? inBytes : cmd.length);
    put32(out, 20, static_cast<std::uint32_t>(status));
    put32(out, 24, actual);
    put32(out, 32, cmd.numberOfPackets);
    if (in)
        out.insert(out.end(), inData.begin(), inData.begin() + inBytes);
    return out;
}

std::vector<std::uint8_t> retUnlink(const Command &cmd, std::int32_t status)
{
    std::vector<std::uint8_t> out = basic(RetUnlink, cmd);
    put32(out, 20, static_cast<std::uint32_t>(status));
    return out;
}

} // namespace UsbipWire
