#include "HidrawConnection.h"

#include "HidrawIoctl.h"

#include <QCoreApplication>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <poll.h>
#include <unistd.h>

namespace {

// Used only when the caller does not say how long its report is: the
// largest length a hidraw report ioctl can carry (14 bits), which also covers
// any report read() hands out in practice.
constexpr std::size_t kMaxReportSize = (1u << 14) - 1;

// A device sending without pause could keep a drain going for ever.
constexpr int kMaxReportsPerDrain = 256;

// hidraw writes are synchronous; this only bounds a node that is not ready.
constexpr int kWriteTimeoutMs = 3000;

// Errors by which a node says it cannot do GET_REPORT at all (not a hidraw
// node, a device that stalls the request, one that never answers it):
// asking again on every poll would only cost time.
bool meansUnsupported(int err)
{
    return err == ENOTTY || err == EINVAL || err == ENOSYS || err == EOPNOTSUPP || err == EPIPE ||
           err == ETIMEDOUT;
}

// Of those, the ones a device that has answered before may give once and
// then answer again: a stall or a late answer is no proof it cannot.
bool mayPass(int err)
{
    return err == EPIPE || err == ETIMEDOUT;
}

} // namespace

HidrawConnection::HidrawConnection(int fd) : m_fd(fd) {}

HidrawConnection::~HidrawConnection()
{
    m_queueWatch.reset(); // before the descriptor it watches goes
    ::close(m_fd);
}

HidIoStatus HidrawConnection::readInputReport(std::uint8_t reportId, std::vector<std::uint8_t> &report,
                                              int timeoutMs)
{
    if (m_gone)
        return HidIoStatus::Gone;

    // Report ID 0 is reserved: it means the device does not number its reports.
    m_numbered = reportId != 0;
    m_reportSize = report.empty() ? kMaxReportSize : report.size();
    watchQueue();

    if (const HidIoStatus st = drainQueue(); st != HidIoStatus::Ok)
        return st;

    if (m_getInput != Support::No) {
        std::vector<std::uint8_t> answer(m_reportSize, 0);
        answer[0] = reportId;
        const int n = HidrawIoctl::getInputReport(m_fd, answer.data(), answer.size());
        if (n >= 0) {
            m_getInput = Support::Yes;
            answer.resize(std::max<std::size_t>(static_cast<std::size_t>(n), 1));
            answer[0] = reportId;
            m_latest[reportId] = answer;
            copyOut(answer, report);
            return HidIoStatus::Ok;
        }
        if (meansUnsupported(-n) && !(m_getInput == Support::Yes && mayPass(-n)))
            m_getInput = Support::No;
        else if (failure(-n) == HidIoStatus::Gone)
            return HidIoStatus::Gone;
        // Otherwise fall back to the queue for this read and ask again next time.
    }

    if (const HidIoStatus st = waitForReport(reportId, timeoutMs); st != HidIoStatus::Ok)
        return st;
    copyOut(m_latest[reportId], report);
    return HidIoStatus::Ok;
}

HidIoStatus HidrawConnection::drainQueue()
{
    if (m_gone)
        return HidIoStatus::Gone;

    // Without report IDs, read() gives the report without its ID byte.
    // Reading exactly one report's length keeps the reports apart even on a
    // node that is a byte stream; hidraw drops what does not fit.
    const std::size_t readSize = std::max<std::size_t>(m_numbered ? m_reportSize : m_reportSize - 1, 1);
    std::vector<std::uint8_t> buf(readSize);

    for (int i = 0; i < kMaxReportsPerDrain; ++i) {
        const ssize_t n = ::read(m_fd, buf.data(), buf.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                return HidIoStatus::Ok;
            return failure(errno);
        }
        if (n == 0) // end of file: nobody at the other end any more
            return failure(ENODEV);

        std::vector<std::uint8_t> received;
        received.reserve(static_cast<std::size_t>(n) + 1);
        if (!m_numbered)
            received.push_back(0);
        received.insert(received.end(), buf.begin(), buf.begin() + n);
        m_latest[received[0]] = std::move(received);
    }
    return HidIoStatus::Ok;
}

HidIoStatus HidrawConnection::waitForReport(std::uint8_t reportId, int timeoutMs)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));

    while (m_latest.find(reportId) == m_latest.end()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd pfd{m_fd, POLLIN, 0};
        const int r = ::poll(&pfd, 1, static_cast<int>(std::max<std::int64_t>(left.count(), 0)));
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return failure(errno);
        }
        if (r == 0)
            return HidIoStatus::Timeout;

        if (pfd.revents & POLLIN) {
            if (const HidIoStatus st = drainQueue(); st != HidIoStatus::Ok)
                return st;
        } else if (pfd.revents & (POLLHUP | POLLERR)) {
            return failure(ENODEV);
        }
    }
    return HidIoStatus::Ok;
}

HidIoStatus HidrawConnection::writeOutputReport(const std::vector<std::uint8_t> &report)
{
    if (m_gone)
        return HidIoStatus::Gone;
    if (report.empty())
        return HidIoStatus::Error; // not even the report-ID byte

    for (;;) {
        const ssize_t n = ::write(m_fd, report.data(), report.size());
        if (n >= 0)
            return static_cast<std::size_t>(n) == report.size() ? HidIoStatus::Ok : HidIoStatus::Error;
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            return failure(errno);

        pollfd pfd{m_fd, POLLOUT, 0};
        int r;
        do {
            r = ::poll(&pfd, 1, kWriteTimeoutMs);
        } while (r < 0 && errno == EINTR);
        if (r < 0)
            return failure(errno);
        if (r == 0)
            return HidIoStatus::Timeout;
        if (pfd.revents & (POLLHUP | POLLERR))
            return failure(ENODEV);
    }
}

HidIoStatus HidrawConnection::getFeatureReport(std::uint8_t reportId, std::vector<std::uint8_t> &report)
{
    if (m_gone)
        return HidIoStatus::Gone;
    std::vector<std::uint8_t> answer(report.empty() ? kMaxReportSize : report.size(), 0);
    answer[0] = reportId;
    const int n = HidrawIoctl::getFeatureReport(m_fd, answer.data(), answer.size());
    if (n < 0)
        return failure(-n);
    answer.resize(std::max<std::size_t>(static_cast<std::size_t>(n), 1));
    answer[0] = reportId;
    copyOut(answer, report);
    return HidIoStatus::Ok;
}

HidIoStatus HidrawConnection::setFeatureReport(const std::vector<std::uint8_t> &report)
{
    if (m_gone)
        return HidIoStatus::Gone;
    if (report.empty())
        return HidIoStatus::Error;
    const int n = HidrawIoctl::setFeatureReport(m_fd, report.data(), report.size());
    if (n < 0)
        return failure(-n);
    return static_cast<std::size_t>(n) == report.size() ? HidIoStatus::Ok : HidIoStatus::Error;
}

HidIoStatus HidrawConnection::failure(int err)
{
    // A removed hidraw device answers reads with EIO and writes and ioctls
    // with ENODEV, and polls with POLLHUP | POLLERR from then on.
    if (err == ENODEV || err == ENXIO || hungUp()) {
        m_gone = true;
        if (m_queueWatch)
            m_queueWatch->setEnabled(false);
        return HidIoStatus::Gone;
    }
    return HidIoStatus::Error;
}

bool HidrawConnection::hungUp() const
{
    pollfd pfd{m_fd, 0, 0};
    int r;
    do {
        r = ::poll(&pfd, 1, 0);
    } while (r < 0 && errno == EINTR);
    return r > 0 && (pfd.revents & (POLLHUP | POLLERR | POLLNVAL));
}

void HidrawConnection::copyOut(const std::vector<std::uint8_t> &from, std::vector<std::uint8_t> &to) const
{
    if (to.empty()) {
        to = from;
        return;
    }
    // Keep the length the caller expects; a shorter report reads as zeros.
    std::fill(to.begin(), to.end(), 0);
    std::copy_n(from.begin(), std::min(from.size(), to.size()), to.begin());
}

void HidrawConnection::watchQueue()
{
    if (m_queueWatch) {
        m_queueWatch->setEnabled(!m_gone);
        return;
    }
    if (!QCoreApplication::instance())
        return; // no event loop to deliver the notifications
    m_queueWatch = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
    QObject::connect(m_queueWatch.get(), &QSocketNotifier::activated, m_queueWatch.get(), [this] {
        // Stop on any trouble rather than spin on a node that stays readable;
        // the next read reports it and switches the watch back on.
        if (drainQueue() != HidIoStatus::Ok)
            m_queueWatch->setEnabled(false);
    });
}
