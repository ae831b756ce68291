#include "VirtualThermostat.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace {

constexpr int ProbeLowest = -550;  // -55.0 °C
constexpr int ProbeHighest = 1250; // +125.0 °C
constexpr std::int64_t MaxCatchUpSteps = 100000;

void put16(std::vector<std::uint8_t> &buf, std::size_t at, int value)
{
    const auto raw = static_cast<std::uint16_t>(static_cast<std::int16_t>(value));
    buf[at] = static_cast<std::uint8_t>(raw & 0xFF);
    buf[at + 1] = static_cast<std::uint8_t>(raw >> 8);
}

int get16(const std::vector<std::uint8_t> &buf, std::size_t at)
{
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(buf[at] | (buf[at + 1] << 8)));
}

std::int64_t steadyMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

VirtualThermostat::VirtualThermostat(Clock clock, std::uint32_t seed)
    : m_clock(clock ? std::move(clock) : Clock(steadyMs)), m_random(seed),
      m_descriptor(standardReportDescriptor())
{
    m_lastTime = m_clock();
    updateRelay(m_lastGoodReading);
}

std::vector<std::uint8_t> VirtualThermostat::standardReportDescriptor()
{
    // clang-format off
    return {
        0x06, 0x00, 0xFF,        // Usage Page (vendor 0xFF00)
        0x09, 0x80,              // Usage (0x80): the thermostat
        0xA1, 0x01,              // Collection (Application)
        0x85, InputReportId,     //   Report ID (1): report A
        0x15, 0x00,              //   Logical Minimum (0)
        0x26, 0xFF, 0xFF,        //   Logical Maximum (65535)
        0x75, 0x10,              //   Report Size (16)
        0x95, 0x03,              //   Report Count (3)
        0x19, 0x01, 0x29, 0x03,  //   Usage Minimum (1), Usage Maximum (3): temperature, TL, TH
        0x81, 0x02,              //   Input (Data, Variable, Absolute)
        0x26, 0xFF, 0x00,        //   Logical Maximum (255)
        0x75, 0x08,              //   Report Size (8)
        0x95, 0x04,              //   Report Count (4)
        0x19, 0x04, 0x29, 0x07,  //   Usage Minimum (4), Usage Maximum (7): relay, mode, boot, probe
        0x81, 0x02,              //   Input (Data, Variable, Absolute)
        0x85, OutputReportId,    //   Report ID (2): report B
        0x26, 0xFF, 0xFF,        //   Logical Maximum (65535)
        0x75, 0x10,              //   Report Size (16)
        0x95, 0x02,              //   Report Count (2)
        0x19, 0x08, 0x29, 0x09,  //   Usage Minimum (8), Usage Maximum (9): new TL, new TH
        0x91, 0x02,              //   Output (Data, Variable, Absolute)
        0x26, 0xFF, 0x00,        //   Logical Maximum (255)
        0x75, 0x08,              //   Report Size (8)
        0x95, 0x03,              //   Report Count (3)
        0x19, 0x0A, 0x29, 0x0C,  //   Usage Minimum (10), Usage Maximum (12): mode, boot status, boot value
        0x91, 0x02,              //   Output (Data, Variable, Absolute)
        0xC0,                    // End Collection
    };
    // clang-format on
}

void VirtualThermostat::setIdentity(std::uint16_t vendorId, std::uint16_t productId,
                                    const QString &productName)
{
    m_vendorId = vendorId;
    m_productId = productId;
    m_productName = productName;
}

void VirtualThermostat::setTemperature(int tenths)
{
    m_temperature = tenths;
    if (m_probe == ProbeOk) {
        m_lastGoodReading = measure();
        updateRelay(m_lastGoodReading);
    }
}

void VirtualThermostat::advance()
{
    const std::int64_t now = m_clock();
    if (now <= m_lastTime)
        return;
    std::int64_t steps = (now - m_lastTime) / StepMs;
    // After a very long pause the model has long settled: skip the excess.
    if (steps > MaxCatchUpSteps) {
        m_lastTime += (steps - MaxCatchUpSteps) * StepMs;
        steps = MaxCatchUpSteps;
    }
    for (std::int64_t i = 0; i < steps; ++i) {
        step(StepMs);
        m_lastTime += StepMs;
    }
}

void VirtualThermostat::step(std::int64_t dtMs)
{
    int target = m_ambient;
    if (m_relay == 1)
        target = m_mode == ModeB ? m_coolerTarget : m_heaterTarget;
    const double k = 1.0 - std::exp(-double(dtMs) / double(m_timeConstantMs));
    m_temperature += (target - m_temperature) * k;

    if (m_probe == ProbeOk) {
        m_lastGoodReading = measure();
        updateRelay(m_lastGoodReading);
    } else {
        m_relay = 0;
    }
}

int VirtualThermostat::measure()
{
    int reading = static_cast<int>(std::lround(m_temperature));
    if (m_noise > 0) {
        // Drawn from the raw generator so the sequence is the same with every library.
        const auto span = static_cast<std::uint32_t>(2 * m_noise + 1);
        reading += static_cast<int>(m_random() % span) - m_noise;
    }
    return std::clamp(reading, ProbeLowest, ProbeHighest);
}

void VirtualThermostat::updateRelay(int reading)
{
    if (m_mode == ModeB) {
        if (m_relay == 0 && reading > m_th)
            m_relay = 1;
        else if (m_relay == 1 && reading < m_tl)
            m_relay = 0;
    } else {
        if (m_relay == 0 && reading < m_tl)
            m_relay = 1;
        else if (m_relay == 1 && reading > m_th)
            m_relay = 0;
    }
}

std::vector<std::uint8_t> VirtualThermostat::inputReport()
{
    if (m_beforeReport)
        m_beforeReport(*this);
    advance();
    if (m_probe != ProbeOk)
        m_relay = 0;
    std::vector<std::uint8_t> buf(1 + InputPayloadBytes, 0);
    buf[0] = InputReportId;
    put16(buf, 1, m_lastGoodReading);
    put16(buf, 3, m_tl);
    put16(buf, 5, m_th);
    buf[7] = static_cast<std::uint8_t>(m_relay);
    buf[8] = static_cast<std::uint8_t>(m_mode);
    buf[9] = static_cast<std::uint8_t>(m_bootStatus);
    buf[10] = static_cast<std::uint8_t>(m_probe);
    ++m_inputReports;
    return buf;
}

bool VirtualThermostat::acceptOutputReport(const std::vector<std::uint8_t> &report)
{
    if (report.size() != 1 + OutputPayloadBytes || report[0] != OutputReportId)
        return false;
    advance();
    m_tl = get16(report, 1);
    m_th = get16(report, 3);
    if (report[5] == ModeA || report[5] == ModeB)
        m_mode = report[5];
    m_lastBootStatus = report[6];
    m_lastBootValue = report[7];
    ++m_outputReports;
    if (m_probe == ProbeOk)
        updateRelay(m_lastGoodReading);
    if (m_afterWrite)
        m_afterWrite(*this);
    return true;
}
