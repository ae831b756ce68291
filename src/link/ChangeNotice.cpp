#include "ChangeNotice.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace ChangeNotice {

QByteArray encode(const Notice &notice)
{
    QJsonObject object{{QStringLiteral("id"), notice.id}};
    if (!notice.scope.isEmpty())
        object.insert(QStringLiteral("scope"), notice.scope);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<Notice> decode(const QByteArray &datagram)
{
    if (datagram.isEmpty() || datagram.size() > kMostBytes)
        return std::nullopt;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(datagram, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    const QJsonValue id = object.value(QStringLiteral("id"));
    const QJsonValue scope = object.value(QStringLiteral("scope"));
    if (object.size() != (scope.isUndefined() ? 1 : 2) || !id.isString() ||
        !(scope.isUndefined() || scope.isString()))
        return std::nullopt;
    Notice notice{id.toString(), scope.toString()};
    if (notice.id.isEmpty() || notice.id.size() > 128)
        return std::nullopt;
    return notice;
}

QStringList listeners(const QByteArray &procNetUnix)
{
    // "Num RefCount Protocol Flags Type St Inode Path": the path is the
    // eighth field, abstract names start with "@".
    QStringList names;
    const QByteArray wanted = QByteArray("@") + kPrefix;
    for (const QByteArray &line : procNetUnix.split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 8 || !fields[7].startsWith(wanted))
            continue;
        const QString name = QString::fromLatin1(fields[7].mid(1));
        if (!names.contains(name))
            names.append(name);
    }
    return names;
}

int announce(const Notice &notice)
{
    QFile table(QStringLiteral("/proc/net/unix"));
    if (!table.open(QIODevice::ReadOnly))
        return 0;
    const QStringList names = listeners(table.readAll());
    if (names.isEmpty())
        return 0;
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return 0;
    const QByteArray datagram = encode(notice);
    int told = 0;
    for (const QString &name : names) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray bytes = name.toLatin1();
        if (bytes.size() + 1 > qsizetype(sizeof address.sun_path))
            continue;
        std::memcpy(address.sun_path + 1, bytes.constData(),
                    size_t(bytes.size())); // sun_path[0] = 0: abstract
        const auto length = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + size_t(bytes.size()));
        if (::sendto(fd, datagram.constData(), size_t(datagram.size()), MSG_NOSIGNAL,
                     reinterpret_cast<const sockaddr *>(&address), length) == datagram.size())
            ++told;
    }
    ::close(fd);
    return told;
}

} // namespace ChangeNotice
