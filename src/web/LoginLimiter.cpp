#include "LoginLimiter.h"

#include <algorithm>
#include <cmath>

void LoginLimiter::refill(Bucket &b, std::int64_t nowMs)
{
    if (nowMs > b.atMs) {
        b.tokens = std::min<double>(kBurst, b.tokens + double(nowMs - b.atMs) / double(kRefillMs));
        b.atMs = nowMs;
    }
}

bool LoginLimiter::allowed(const QByteArray &address, std::int64_t nowMs)
{
    const auto it = m_buckets.find(address);
    if (it == m_buckets.end())
        return true;
    refill(*it, nowMs);
    return it->tokens >= 1.0;
}

void LoginLimiter::failed(const QByteArray &address, std::int64_t nowMs)
{
    auto it = m_buckets.find(address);
    if (it == m_buckets.end()) {
        if (m_buckets.size() >= kMostAddresses)
            makeRoom(nowMs);
        it = m_buckets.insert(address, Bucket{double(kBurst), nowMs, nowMs});
    }
    refill(*it, nowMs);
    it->tokens = std::max(0.0, it->tokens - 1.0);
    it->lastFailMs = nowMs;
}

std::int64_t LoginLimiter::retryAfterSeconds(const QByteArray &address, std::int64_t nowMs)
{
    const auto it = m_buckets.find(address);
    if (it == m_buckets.end())
        return 0;
    refill(*it, nowMs);
    const double missing = std::max(0.0, 1.0 - it->tokens);
    return static_cast<std::int64_t>(std::ceil(missing * double(kRefillMs) / 1000.0));
}

void LoginLimiter::makeRoom(std::int64_t nowMs)
{
    auto oldest = m_buckets.end();
    for (auto it = m_buckets.begin(); it != m_buckets.end();) {
        refill(*it, nowMs);
        if (it->tokens >= kBurst) {
            it = m_buckets.erase(it);
            continue;
        }
        if (oldest == m_buckets.end() || it->lastFailMs < oldest->lastFailMs)
            oldest = it;
        ++it;
    }
    if (m_buckets.size() >= kMostAddresses && oldest != m_buckets.end())
        m_buckets.erase(oldest);
}
