#include "TrackedConnection.h"

HidIoStatus TrackedConnection::readInputReport(std::uint8_t reportId, std::vector<std::uint8_t> &report,
                                               int timeoutMs)
{
    return noted(m_inner->readInputReport(reportId, report, timeoutMs));
}

HidIoStatus TrackedConnection::writeOutputReport(const std::vector<std::uint8_t> &report)
{
    if (m_shared->holdWrites) {
        m_shared->heldWrites.push_back(report);
        return noted(HidIoStatus::Ok);
    }
    return noted(m_inner->writeOutputReport(report));
}

HidIoStatus TrackedConnection::getFeatureReport(std::uint8_t reportId, std::vector<std::uint8_t> &report)
{
    return noted(m_inner->getFeatureReport(reportId, report));
}

HidIoStatus TrackedConnection::setFeatureReport(const std::vector<std::uint8_t> &report)
{
    if (m_shared->holdWrites) {
        m_shared->heldWrites.push_back(report);
        return noted(HidIoStatus::Ok);
    }
    return noted(m_inner->setFeatureReport(report));
}
