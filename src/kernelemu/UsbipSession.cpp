#include "UsbipSession.h"

namespace {
constexpr std::int32_t Unlinked = -104; // -ECONNRESET
// Transfers the host may leave waiting (interrupt IN, ignored requests); a
// host that only submits and never unlinks is not one to keep up with.
constexpr std::size_t MaxPending = 256;
} // namespace

UsbipSession::UsbipSession(UsbThermostatFunction &function) : m_function(function) {}

bool UsbipSession::feed(const std::uint8_t *data, std::size_t size)
{
    if (!m_error.isEmpty())
        return false;
    m_in.insert(m_in.end(), data, data + size);
    std::size_t at = 0;
    while (m_in.size() - at >= UsbipWire::HeaderSize) {
        QString why;
        const auto cmd = UsbipWire::decode(m_in.data() + at, UsbipWire::HeaderSize, &why);
        if (!cmd) {
            m_error = QStringLiteral("the host sent %1").arg(why);
            return false;
        }
        const std::size_t whole = UsbipWire::HeaderSize + cmd->outBytes();
        if (m_in.size() - at < whole)
            break;
        const auto first = m_in.begin() + static_cast<std::ptrdiff_t>(at + UsbipWire::HeaderSize);
        handle(*cmd, std::vector<std::uint8_t>(first, first + cmd->outBytes()));
        at += whole;
        if (!m_error.isEmpty())
            return false;
    }
    m_in.erase(m_in.begin(), m_in.begin() + static_cast<std::ptrdiff_t>(at));
    return true;
}

void UsbipSession::handle(const UsbipWire::Command &cmd, const std::vector<std::uint8_t> &outData)
{
    auto send = [this](const std::vector<std::uint8_t> &bytes) {
        m_out.insert(m_out.end(), bytes.begin(), bytes.end());
    };
    if (cmd.command == UsbipWire::CmdUnlink) {
        // The host gave up on a transfer: answered already, or dropped now.
        const bool found = m_pending.erase(cmd.unlinkSeqnum) > 0;
        send(UsbipWire::retUnlink(cmd, found ? Unlinked : 0));
        return;
    }
    if (m_pending.count(cmd.seqnum)) {
        m_error = QStringLiteral("the host reused sequence number %1").arg(cmd.seqnum);
        return;
    }
    const UsbThermostatFunction::Reply r = m_function.submit(cmd, outData);
    if (r.pending) {
        if (m_pending.size() >= MaxPending) {
            m_error = QStringLiteral("the host left more than %1 transfers waiting").arg(MaxPending);
            return;
        }
        m_pending.emplace(cmd.seqnum, cmd);
        return;
    }
    send(UsbipWire::retSubmit(cmd, r.status, r.data));
}

std::vector<std::uint8_t> UsbipSession::takeOutput()
{
    std::vector<std::uint8_t> out;
    out.swap(m_out);
    return out;
}
