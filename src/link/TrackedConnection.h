#pragma once

#include "HidTransport.h"

#include <cstdint>
#include <memory>
#include <vector>

// An open interface seen through calidorctl: it remembers how the last
// transfer ended, so an error can say whether the thermostat timed out or
// vanished, and it can hold output reports back (a dry run) instead of
// sending them.
class TrackedConnection : public HidConnection
{
public:
    struct Shared
    {
        HidIoStatus lastStatus = HidIoStatus::Ok;
        bool holdWrites = false;
        std::vector<std::vector<std::uint8_t>> heldWrites;
    };

    TrackedConnection(std::unique_ptr<HidConnection> inner, std::shared_ptr<Shared> shared)
        : m_inner(std::move(inner)), m_shared(std::move(shared))
    {
    }

    std::int32_t handle() const override { return m_inner->handle(); }
    HidIoStatus readInputReport(std::uint8_t reportId, std::vector<std::uint8_t> &report,
                                int timeoutMs) override;
    HidIoStatus writeOutputReport(const std::vector<std::uint8_t> &report) override;
    HidIoStatus getFeatureReport(std::uint8_t reportId, std::vector<std::uint8_t> &report) override;
    HidIoStatus setFeatureReport(const std::vector<std::uint8_t> &report) override;

private:
    HidIoStatus noted(HidIoStatus status) { return m_shared->lastStatus = status; }

    std::unique_ptr<HidConnection> m_inner;
    std::shared_ptr<Shared> m_shared;
};
