#include "FuzzConnection.h"

#include "ByteStream.h"
#include "FuzzTransport.h"

#include <algorithm>

namespace {

// Low three bits of an outcome byte.
enum Outcome : std::uint8_t { Timeout = 4, Error = 5, Gone = 6, OkThenVanish = 7 };

} // namespace

FuzzConnection::FuzzConnection(FuzzTransport &transport, ByteStream &responses, std::size_t device,
                               std::uint32_t generation, std::int32_t handle)
    : m_transport(transport), m_responses(responses), m_device(device), m_generation(generation),
      m_handle(handle)
{
}

FuzzConnection::~FuzzConnection()
{
    m_transport.releaseHandle(m_handle);
}

HidIoStatus FuzzConnection::outcome()
{
    if (m_failed || !m_transport.isLive(m_device, m_generation))
        return HidIoStatus::Gone;
    m_lastOutcome = m_responses.byte();
    switch (m_lastOutcome & 7) {
    case Timeout:
        return HidIoStatus::Timeout;
    case Error:
        return HidIoStatus::Error;
    case Gone:
        m_failed = true;
        return HidIoStatus::Gone;
    case OkThenVanish:
        m_transport.vanishLater(m_device);
        return HidIoStatus::Ok;
    default:
        return HidIoStatus::Ok;
    }
}

HidIoStatus FuzzConnection::read(std::uint8_t reportId, std::vector<std::uint8_t> &report)
{
    const HidIoStatus status = outcome();
    if (status != HidIoStatus::Ok)
        return status;
    const std::size_t expected = report.size();
    std::size_t length = expected;
    switch ((m_lastOutcome >> 3) & 3) {
    case 1: // short
        length = m_responses.byte() % std::max<std::size_t>(expected, 1);
        break;
    case 2: // long
        length = expected + 1 + m_responses.byte();
        break;
    case 3: // anything up to the largest report hidraw passes
        length = m_responses.u16() % 16385;
        break;
    default:
        break;
    }
    report.assign(length, 0);
    if (length == 0)
        return status;
    report[0] = (m_lastOutcome & 0x20) ? m_responses.byte() : reportId;
    const std::vector<std::uint8_t> payload = m_responses.bytes(length - 1);
    std::copy(payload.begin(), payload.end(), report.begin() + 1);
    return status;
}

HidIoStatus FuzzConnection::write(const std::vector<std::uint8_t> &report)
{
    // hidraw refuses an empty write; a component sending one is at fault.
    if (report.empty())
        __builtin_trap();
    return outcome();
}

HidIoStatus FuzzConnection::readInputReport(std::uint8_t reportId, std::vector<std::uint8_t> &report,
                                            int timeoutMs)
{
    (void)timeoutMs;
    return read(reportId, report);
}

HidIoStatus FuzzConnection::getFeatureReport(std::uint8_t reportId, std::vector<std::uint8_t> &report)
{
    return read(reportId, report);
}

HidIoStatus FuzzConnection::writeOutputReport(const std::vector<std::uint8_t> &report)
{
    return write(report);
}

HidIoStatus FuzzConnection::setFeatureReport(const std::vector<std::uint8_t> &report)
{
    return write(report);
}
