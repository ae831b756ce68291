#pragma once

#include "HidTransport.h"

#include <QSocketNotifier>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

// One open hidraw node. Owns its file descriptor, opened non-blocking.
//
// Reading: a device sends an interrupt report only when a value changes, and
// the kernel keeps up to 64 of them per open file, dropping newer ones once
// that queue is full. A poll every 100 ms must see the latest values, so a
// read asks the device for its current report (GET_REPORT) and, where the
// device or node cannot answer that, drains the queue and keeps the newest
// report of each ID. When the queue is empty the newest report already seen
// on this connection is still the device's state, so it is answered at once;
// only before the first report does a read wait up to the time-out.
// Once a read has told the report layout, a socket notifier keeps draining
// the queue between reads so it never fills up with stale reports.
class HidrawConnection final : public HidConnection
{
public:
    explicit HidrawConnection(int fd);
    ~HidrawConnection() override;
    HidrawConnection(const HidrawConnection &) = delete;
    HidrawConnection &operator=(const HidrawConnection &) = delete;

    std::int32_t handle() const override { return m_fd; }

    HidIoStatus readInputReport(std::uint8_t reportId, std::vector<std::uint8_t> &report,
                                int timeoutMs) override;
    HidIoStatus writeOutputReport(const std::vector<std::uint8_t> &report) override;
    HidIoStatus getFeatureReport(std::uint8_t reportId, std::vector<std::uint8_t> &report) override;
    HidIoStatus setFeatureReport(const std::vector<std::uint8_t> &report) override;

    // True once the device was seen gone; every later call answers Gone.
    bool isGone() const { return m_gone; }

private:
    enum class Support { Unknown, Yes, No };

    HidIoStatus drainQueue();
    HidIoStatus waitForReport(std::uint8_t reportId, int timeoutMs);
    HidIoStatus failure(int err);
    bool hungUp() const;
    void copyOut(const std::vector<std::uint8_t> &from, std::vector<std::uint8_t> &to) const;
    void watchQueue();

    int m_fd;
    bool m_gone = false;
    Support m_getInput = Support::Unknown;

    // Layout learnt from the last read: whether the device numbers its
    // reports (ID byte present in what read() returns) and how many bytes
    // one report has, ID byte included.
    bool m_numbered = false;
    std::size_t m_reportSize = 0;

    std::map<std::uint8_t, std::vector<std::uint8_t>> m_latest; // by report ID, ID byte first
    std::unique_ptr<QSocketNotifier> m_queueWatch;
};
