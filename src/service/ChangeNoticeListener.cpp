#include "ChangeNoticeListener.h"

#include "ChangeNotice.h"
#include "Fleet.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

ChangeNoticeListener::ChangeNoticeListener(Fleet &fleet, QString scope, Notice notice, QObject *parent)
    : QObject(parent), m_fleet(fleet), m_scope(std::move(scope))
{
    m_fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray name = QByteArray(ChangeNotice::kPrefix) + QByteArray::number(::getpid());
    std::memcpy(address.sun_path + 1, name.constData(), size_t(name.size())); // abstract: sun_path[0] = 0
    const auto length = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + size_t(name.size()));
    if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<const sockaddr *>(&address), length) != 0) {
        if (notice)
            notice(QStringLiteral("cannot take the notices of calidorctl set (%1): the history names their "
                                  "changes \"thermostat\"")
                       .arg(QString::fromLocal8Bit(std::strerror(errno))));
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
        return;
    }
    m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &ChangeNoticeListener::take);
}

ChangeNoticeListener::~ChangeNoticeListener()
{
    m_notifier.reset();
    if (m_fd >= 0)
        ::close(m_fd);
}

// At most a few datagrams a turn: a flood waits in the socket's buffer and
// costs the loop nothing more.
void ChangeNoticeListener::take()
{
    char buffer[ChangeNotice::kMostBytes + 1];
    for (int i = 0; i < 16; ++i) {
        const ssize_t got = ::recv(m_fd, buffer, sizeof buffer, MSG_TRUNC);
        if (got < 0)
            return;
        if (got > ChangeNotice::kMostBytes)
            continue; // cut short: not one of ours
        const std::optional<ChangeNotice::Notice> told = ChangeNotice::decode(QByteArray(buffer, int(got)));
        if (told && told->scope == m_scope)
            m_fleet.writtenBy(told->id, QStringLiteral("cli"));
    }
}
