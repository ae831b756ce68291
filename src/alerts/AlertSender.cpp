#include "AlertSender.h"

#include <algorithm>
#include <chrono>
#include <curl/curl.h>

AlertSender::AlertSender(std::vector<AlertChannel> channels, Report report, Retry retry)
    : m_report(std::move(report)), m_retry(retry)
{
    // Not thread-safe itself: once, before any channel's thread.
    static const CURLcode global = curl_global_init(CURL_GLOBAL_DEFAULT);
    (void)global;
    for (AlertChannel &channel : channels) {
        auto lane = std::make_unique<Lane>();
        lane->channel = std::move(channel);
        lane->status.name = lane->channel.name;
        m_lanes.push_back(std::move(lane));
    }
    for (auto &lane : m_lanes)
        lane->thread = std::thread([this, raw = lane.get()] { run(*raw); });
}

QStringList AlertSender::tryEach(const std::vector<AlertChannel> &channels, const AlertMessage &message,
                                 int timeoutMs)
{
    static const CURLcode global = curl_global_init(CURL_GLOBAL_DEFAULT);
    (void)global;
    const std::atomic<bool> never{false};
    QStringList errors;
    for (const AlertChannel &channel : channels)
        errors.append(channel.deliver(message, never, timeoutMs));
    return errors;
}

AlertSender::~AlertSender()
{
    m_stop = true;
    for (auto &lane : m_lanes) {
        {
            const std::lock_guard lock(lane->mutex);
        }
        lane->wake.notify_all();
    }
    for (auto &lane : m_lanes)
        lane->thread.join();
}

void AlertSender::send(const AlertMessage &message)
{
    for (auto &lane : m_lanes) {
        bool dropped = false;
        {
            const std::lock_guard lock(lane->mutex);
            lane->queue.emplace_back(lane->next++, message);
            if (lane->queue.size() > kQueueLimit) {
                lane->queue.pop_front();
                dropped = !lane->dropTold;
                lane->dropTold = true;
            }
            lane->status.waiting = lane->queue.size();
        }
        if (dropped && m_report)
            m_report(QStringLiteral("alerts: %1 is far behind, its oldest alerts are dropped")
                         .arg(lane->channel.name));
        lane->wake.notify_all();
    }
}

std::vector<AlertSender::Status> AlertSender::status() const
{
    std::vector<Status> out;
    for (const auto &lane : m_lanes) {
        const std::lock_guard lock(lane->mutex);
        out.push_back(lane->status);
    }
    return out;
}

void AlertSender::run(Lane &lane)
{
    int pauseMs = m_retry.firstMs;
    std::unique_lock lock(lane.mutex);
    for (;;) {
        lane.wake.wait(lock, [&] { return m_stop || !lane.queue.empty(); });
        if (m_stop)
            return;
        const auto [number, message] = lane.queue.front(); // stays queued until taken
        lock.unlock();
        const QString error = lane.channel.deliver(message, m_stop, m_retry.timeoutMs);
        lock.lock();
        if (m_stop)
            return;
        if (error.isEmpty()) {
            // Unless the queue overflowed meanwhile and dropped it already.
            if (!lane.queue.empty() && lane.queue.front().first == number)
                lane.queue.pop_front();
            ++lane.status.delivered;
            lane.status.waiting = lane.queue.size();
            pauseMs = m_retry.firstMs;
            if (lane.status.down) {
                lane.status.down = false;
                lane.dropTold = false;
                lock.unlock();
                if (m_report)
                    m_report(QStringLiteral("alerts: %1 takes alerts again").arg(lane.channel.name));
                lock.lock();
            }
            continue;
        }
        lane.status.lastError = error;
        if (!lane.status.down) {
            lane.status.down = true;
            lock.unlock();
            if (m_report)
                m_report(QStringLiteral("alerts: %1 is down (%2); retrying").arg(lane.channel.name, error));
            lock.lock();
        }
        lane.wake.wait_for(lock, std::chrono::milliseconds(pauseMs), [&] { return m_stop.load(); });
        if (m_stop)
            return;
        pauseMs = std::min(pauseMs * 2, m_retry.longestMs);
    }
}
