#pragma once

#include <QByteArray>
#include <QHash>
#include <cstdint>

// Failed logins per client address, as a token bucket: each address may
// fail kBurst times in a row, then earns one more try every kRefillMs. An
// address whose bucket is empty is answered 429 before its password is
// even checked, so a guesser costs neither bcrypt time nor a chance. Memory
// is bounded: at most kMostAddresses are followed; when that many are, the
// ones whose bucket has refilled are forgotten first (they are exactly as
// if never seen), then the one that failed longest ago.
class LoginLimiter
{
public:
    static constexpr int kBurst = 10;
    static constexpr std::int64_t kRefillMs = 6000;
    static constexpr int kMostAddresses = 4096;

    // Whether `address` may try a password now (milliseconds on a steady clock).
    bool allowed(const QByteArray &address, std::int64_t nowMs);

    // `address` gave a wrong user or password.
    void failed(const QByteArray &address, std::int64_t nowMs);

    // Seconds until the next try for an address that is not allowed.
    std::int64_t retryAfterSeconds(const QByteArray &address, std::int64_t nowMs);

    int followed() const { return static_cast<int>(m_buckets.size()); }

private:
    struct Bucket
    {
        double tokens = kBurst;
        std::int64_t atMs = 0; // when `tokens` was last brought up to date
        std::int64_t lastFailMs = 0;
    };
    static void refill(Bucket &b, std::int64_t nowMs);
    void makeRoom(std::int64_t nowMs);

    QHash<QByteArray, Bucket> m_buckets;
};
