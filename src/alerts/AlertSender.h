#pragma once

#include "AlertChannel.h"
#include "AlertMessage.h"

#include <QString>
#include <QStringList>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// Sends every alert to every channel, each channel on a thread of its own
// (a blocking libcurl transfer or sendmail run there, never on the Qt loop),
// in order, retried with a doubling pause until it is taken. A channel that
// fails is said once ("down"), and once more when it takes messages again;
// the messages wait meanwhile, the oldest dropped past kQueueLimit.
class AlertSender
{
public:
    struct Retry
    {
        int firstMs = 5000;     // pause after the first failure
        int longestMs = 300000; // the pause doubles up to this
        int timeoutMs = 20000;  // one attempt at most
    };
    // One line for the log. Called on a channel's thread: it must be safe there.
    using Report = std::function<void(const QString &line)>;

    AlertSender(std::vector<AlertChannel> channels, Report report, Retry retry);
    AlertSender(std::vector<AlertChannel> channels, Report report)
        : AlertSender(std::move(channels), std::move(report), Retry())
    {
    }
    // Stops every channel; a transfer under way is cut short.
    ~AlertSender();
    AlertSender(const AlertSender &) = delete;
    AlertSender &operator=(const AlertSender &) = delete;

    // Never waits.
    void send(const AlertMessage &message);

    struct Status
    {
        QString name;
        bool down = false;
        std::uint64_t delivered = 0;
        std::size_t waiting = 0;
        QString lastError;
    };
    std::vector<Status> status() const;

    static constexpr std::size_t kQueueLimit = 200;

    // One attempt at each channel, waited for: `calidorctl alert test` and
    // the page's test button. One error per channel, empty when delivered.
    static QStringList tryEach(const std::vector<AlertChannel> &channels, const AlertMessage &message,
                               int timeoutMs = 20000);

private:
    struct Lane
    {
        AlertChannel channel;
        mutable std::mutex mutex;
        std::condition_variable wake;
        std::deque<std::pair<std::uint64_t, AlertMessage>> queue; // numbered, to know the one taken
        std::uint64_t next = 0;
        Status status;
        bool dropTold = false;
        std::thread thread;
    };

    void run(Lane &lane);

    std::vector<std::unique_ptr<Lane>> m_lanes;
    Report m_report;
    Retry m_retry;
    std::atomic<bool> m_stop{false};
};
