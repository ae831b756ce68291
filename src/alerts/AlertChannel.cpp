#include "AlertChannel.h"

#include <QElapsedTimer>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstring>
#include <curl/curl.h>
#include <fcntl.h>
#include <memory>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace {

size_t discard(char *, size_t size, size_t count, void *)
{
    return size * count;
}

int progress(void *stop, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return static_cast<const std::atomic<bool> *>(stop)->load() ? 1 : 0;
}

} // namespace

QString AlertChannel::deliver(const AlertMessage &message, const std::atomic<bool> &stop, int timeoutMs) const
{
    switch (type) {
    case Type::Ntfy: {
        QList<QByteArray> headers{"Title: " + AlertMessage::headerValue(message.title),
                                  "Priority: " + QByteArray::number(message.priority),
                                  "Content-Type: text/plain; charset=utf-8"};
        if (!message.tags.isEmpty())
            headers.append("Tags: " + AlertMessage::headerValue(message.tags.join(QLatin1Char(','))));
        return post(message.text.toUtf8(), headers, stop, timeoutMs);
    }
    case Type::Webhook:
        return post(message.webhookJson(), {"Content-Type: application/json"}, stop, timeoutMs);
    case Type::Mail:
        return mail(message, stop, timeoutMs);
    }
    return QStringLiteral("unknown channel");
}

QString AlertChannel::post(const QByteArray &body, const QList<QByteArray> &headers,
                           const std::atomic<bool> &stop, int timeoutMs) const
{
    const std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), curl_easy_cleanup);
    if (!curl)
        return QStringLiteral("libcurl could not start a transfer");
    curl_slist *list = nullptr;
    for (const QByteArray &header : headers)
        list = curl_slist_append(list, header.constData());
    if (!token.isEmpty())
        list = curl_slist_append(list, ("Authorization: Bearer " + token).constData());
    const std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> owned(list, curl_slist_free_all);
    const QByteArray url = this->url.toUtf8();
    CURL *h = curl.get();
    curl_easy_setopt(h, CURLOPT_URL, url.constData());
    // Only the web: no file://, no redirect to somewhere else with the token.
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L); // a thread must not take signals for DNS timeouts
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(timeoutMs));
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(std::min(timeoutMs, 10000)));
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, list);
    curl_easy_setopt(h, CURLOPT_POSTFIELDS, body.constData());
    curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, discard);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, progress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, const_cast<std::atomic<bool> *>(&stop));
    curl_easy_setopt(h, CURLOPT_USERAGENT, "calidor-alerts");
    const CURLcode code = curl_easy_perform(h);
    if (code != CURLE_OK)
        return QString::fromUtf8(curl_easy_strerror(code));
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    if (status < 200 || status > 299)
        return QStringLiteral("the server answered HTTP %1").arg(status);
    return {};
}

QString AlertChannel::mail(const AlertMessage &message, const std::atomic<bool> &stop, int timeoutMs) const
{
    // A socket rather than a pipe: a sendmail that exits without reading
    // gives an error, not a SIGPIPE.
    int sockets[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0)
        return QStringLiteral("cannot make a socket for sendmail");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, sockets[1], 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const QByteArray program = sendmail.toLocal8Bit();
    // -t: the recipients are the To: header's; -oi: a lone dot is text.
    char *argv[] = {const_cast<char *>(program.constData()), const_cast<char *>("-t"),
                    const_cast<char *>("-oi"), nullptr};
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, program.constData(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(sockets[1]);
    if (spawned != 0) {
        ::close(sockets[0]);
        return QStringLiteral("cannot run %1: %2").arg(sendmail, QString::fromLocal8Bit(strerror(spawned)));
    }
    const QByteArray text = message.mail(to, from);
    qsizetype sent = 0;
    while (sent < text.size()) {
        const ssize_t n = ::send(sockets[0], text.constData() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            break;
        sent += n;
    }
    ::close(sockets[0]);
    QElapsedTimer clock;
    clock.start();
    int status = 0;
    for (;;) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid)
            break;
        if (done < 0)
            return QStringLiteral("lost %1").arg(sendmail);
        if (stop || clock.elapsed() > timeoutMs) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return QStringLiteral("%1 took too long").arg(sendmail);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (sent < text.size())
        return QStringLiteral("%1 did not read the message").arg(sendmail);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return QStringLiteral("%1 failed (status %2)")
            .arg(sendmail)
            .arg(WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    return {};
}
