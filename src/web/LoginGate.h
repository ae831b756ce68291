#pragma once

#include "LoginLimiter.h"

#include <QByteArray>
#include <QSet>
#include <QString>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

// Who may in: the users of the web configuration, checked by their bcrypt
// hash, and the failed logins limited per address. Called from the HTTP
// server's thread; the users are replaced from the main thread when the
// configuration is read again.
//
// A browser sends its password with every request, and bcrypt is slow on
// purpose: a check that passed is remembered (a SHA-256 of user, password
// and hash, never the password) so that only the first costs its 50 ms.
class LoginGate
{
public:
    enum class Verdict {
        Open,         // no user configured: nothing needs a login
        Allowed,      // a configured user with the right password
        Unauthorized, // no credentials, or wrong ones: 401
        TooMany,      // this address failed too often: 429
    };
    struct Decision
    {
        Verdict verdict = Verdict::Unauthorized;
        QString user;                // when allowed
        std::int64_t retryAfter = 0; // seconds, with TooMany
    };

    using Clock = std::function<std::int64_t()>; // steady milliseconds
    explicit LoginGate(Clock clock = {});

    void setUsers(const std::map<QString, QByteArray> &users);
    bool loginRequired() const;

    // `given`: whether the request carried basic-auth credentials at all. A
    // request without them is not a failed login: a browser first asks
    // without, and learns from the 401 that it must ask its user.
    Decision check(const QByteArray &address, bool given, const QString &user, const QByteArray &password);

    static constexpr int kRemembered = 256;

private:
    Clock m_clock;
    mutable std::mutex m_mutex;
    std::shared_ptr<const std::map<QString, QByteArray>> m_users;
    LoginLimiter m_limiter;
    QSet<QByteArray> m_passed;
};
