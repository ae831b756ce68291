#include "VirtualConnection.h"

#include <QThread>

HidIoStatus VirtualConnection::readInputReport(std::uint8_t reportId, std::vector<std::uint8_t> &report,
                                               int timeoutMs)
{
    if (!m_socket->plugged)
        return HidIoStatus::Gone;
    if (m_socket->readsBeforeUnplug == 0) {
        m_socket->plugged = false;
        if (m_socket->pulled)
            m_socket->pulled();
        return HidIoStatus::Gone;
    }
    if (m_socket->readsBeforeUnplug > 0)
        --m_socket->readsBeforeUnplug;
    if (m_socket->device->stallReads()) {
        if (m_socket->realStall && timeoutMs > 0)
            QThread::msleep(static_cast<unsigned long>(timeoutMs));
        return HidIoStatus::Timeout;
    }
    if (reportId != VirtualThermostat::InputReportId)
        return HidIoStatus::Error;
    report = m_socket->device->inputReport();
    return HidIoStatus::Ok;
}

HidIoStatus VirtualConnection::writeOutputReport(const std::vector<std::uint8_t> &report)
{
    if (!m_socket->plugged)
        return HidIoStatus::Gone;
    if (m_socket->device->failWrites())
        return HidIoStatus::Error;
    return m_socket->device->acceptOutputReport(report) ? HidIoStatus::Ok : HidIoStatus::Error;
}

// The thermostat has no feature reports: the device would stall the request.
HidIoStatus VirtualConnection::getFeatureReport(std::uint8_t, std::vector<std::uint8_t> &)
{
    return m_socket->plugged ? HidIoStatus::Error : HidIoStatus::Gone;
}

HidIoStatus VirtualConnection::setFeatureReport(const std::vector<std::uint8_t> &)
{
    return m_socket->plugged ? HidIoStatus::Error : HidIoStatus::Gone;
}
