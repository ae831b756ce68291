#include "EmulatedThermostat.h"

#include <QJsonArray>

namespace {

int field16(const std::vector<std::uint8_t> &r, std::size_t at)
{
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(r[at] | (r[at + 1] << 8)));
}

QJsonArray bytes(const std::vector<std::uint8_t> &r)
{
    QJsonArray a;
    for (const std::uint8_t b : r)
        a.append(b);
    return a;
}

} // namespace

EmulatedThermostat::EmulatedThermostat(Bus bus, const QString &serial) : m_bus(bus)
{
    m_model.setSerialNumber(serial);
}

EmulatedThermostat::Answer EmulatedThermostat::getInputReport(std::uint8_t reportId)
{
    ++m_getReports;
    if (silent || ignoreGetReport)
        return {Answer::Ignored, {}};
    if (refuseGetReport || reportId != VirtualThermostat::InputReportId)
        return {Answer::Refused, {}};
    ++m_getReportsAnswered;
    m_lastReport = m_model.inputReport();
    return {Answer::Report, m_lastReport};
}

bool EmulatedThermostat::takeOutputReport(const std::vector<std::uint8_t> &report)
{
    if (silent)
        return false;
    ++m_outputReports;
    m_lastOutput = report;
    if (!m_model.acceptOutputReport(report)) {
        ++m_outputReportsRejected;
        return false;
    }
    return true;
}

QJsonObject EmulatedThermostat::decodeReport(const std::vector<std::uint8_t> &r)
{
    if (r.size() != 1 + VirtualThermostat::InputPayloadBytes)
        return {};
    return QJsonObject{{QStringLiteral("temperature"), field16(r, 1)},
                       {QStringLiteral("tl"), field16(r, 3)},
                       {QStringLiteral("th"), field16(r, 5)},
                       {QStringLiteral("relay"), r[7]},
                       {QStringLiteral("mode"), r[8]},
                       {QStringLiteral("boot_status"), r[9]},
                       {QStringLiteral("probe_status"), r[10]}};
}

QJsonObject EmulatedThermostat::record() const
{
    const VirtualThermostat &m = m_model;
    return QJsonObject{
        {QStringLiteral("bus"), m_bus == Bus::Usb ? QStringLiteral("usb") : QStringLiteral("uhid")},
        {QStringLiteral("serial"), m.serialNumber()},
        {QStringLiteral("product"), m.productName()},
        {QStringLiteral("plugged"), plugged},
        {QStringLiteral("where"), where},
        {QStringLiteral("refuse_get_report"), refuseGetReport},
        {QStringLiteral("ignore_get_report"), ignoreGetReport},
        {QStringLiteral("silent"), silent},
        {QStringLiteral("get_reports"), static_cast<qint64>(m_getReports)},
        {QStringLiteral("get_reports_answered"), static_cast<qint64>(m_getReportsAnswered)},
        {QStringLiteral("output_reports"), static_cast<qint64>(m_outputReports)},
        {QStringLiteral("output_reports_rejected"), static_cast<qint64>(m_outputReportsRejected)},
        {QStringLiteral("last_report"), decodeReport(m_lastReport)},
        {QStringLiteral("last_output"), bytes(m_lastOutput)},
        {QStringLiteral("held"), QJsonObject{{QStringLiteral("tl"), m.lowThreshold()},
                                             {QStringLiteral("th"), m.highThreshold()},
                                             {QStringLiteral("mode"), m.mode()},
                                             {QStringLiteral("boot_status"), m.bootStatus()},
                                             {QStringLiteral("probe_status"), m.probeStatus()}}}};
}
