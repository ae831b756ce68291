#include "LoginGate.h"

#include "PasswordCheck.h"

#include <QCryptographicHash>
#include <chrono>

namespace {

std::int64_t steadyMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// What an unknown user's password is checked against, so that a wrong user
// takes as long to refuse as a wrong password.
const QByteArray &decoyHash()
{
    static const QByteArray decoy = PasswordCheck::hash(QByteArrayLiteral("no such user"));
    return decoy;
}

} // namespace

LoginGate::LoginGate(Clock clock)
    : m_clock(clock ? std::move(clock) : Clock(steadyMs)),
      m_users(std::make_shared<const std::map<QString, QByteArray>>())
{
}

void LoginGate::setUsers(const std::map<QString, QByteArray> &users)
{
    auto fresh = std::make_shared<const std::map<QString, QByteArray>>(users);
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_users = std::move(fresh);
    m_passed.clear();
}

bool LoginGate::loginRequired() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return !m_users->empty();
}

LoginGate::Decision LoginGate::check(const QByteArray &address, bool given, const QString &user,
                                     const QByteArray &password)
{
    std::shared_ptr<const std::map<QString, QByteArray>> users;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        users = m_users;
        if (users->empty())
            return {Verdict::Open, {}, 0};
        if (!given)
            return {Verdict::Unauthorized, {}, 0};
        const std::int64_t now = m_clock();
        if (!m_limiter.allowed(address, now))
            return {Verdict::TooMany, {}, m_limiter.retryAfterSeconds(address, now)};
    }
    const auto found = users->find(user);
    const QByteArray &hash = found != users->end() ? found->second : decoyHash();
    QCryptographicHash key(QCryptographicHash::Sha256);
    key.addData(user.toUtf8());
    key.addData(QByteArrayView("\0", 1));
    key.addData(password);
    key.addData(QByteArrayView("\0", 1));
    key.addData(hash);
    const QByteArray digest = key.result();
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (found != users->end() && m_users == users && m_passed.contains(digest))
            return {Verdict::Allowed, user, 0};
    }
    // The slow part, outside the lock: other logins and reads go on.
    const bool ok = PasswordCheck::matches(password, hash) && found != users->end();
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (!ok) {
        m_limiter.failed(address, m_clock());
        return {Verdict::Unauthorized, {}, 0};
    }
    if (m_users == users) {
        if (m_passed.size() >= kRemembered)
            m_passed.clear();
        m_passed.insert(digest);
    }
    return {Verdict::Allowed, user, 0};
}
