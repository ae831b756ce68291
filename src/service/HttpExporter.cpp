#include "HttpExporter.h"

#include "ChangeRequest.h"
#include "Language.h"
#include "LoginGate.h"
#include "MetricsExposition.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>
#include <arpa/inet.h>
#include <cstring>
#include <microhttpd.h>
#include <netinet/in.h>
#include <optional>

namespace {

constexpr const char *kHtml = "text/html; charset=utf-8";
constexpr const char *kText = "text/plain; charset=utf-8";
constexpr const char *kJson = "application/json";

// The one segment of a path between a prefix and a suffix ("/thermostat/",
// ""; "/api/v1/thermostats/", "/settings"), or nothing when the path has
// another shape.
std::optional<QByteArray> segment(const QByteArray &path, const char *prefix, const char *suffix)
{
    if (!path.startsWith(prefix) || !path.endsWith(suffix))
        return std::nullopt;
    const qsizetype start = qsizetype(qstrlen(prefix));
    const qsizetype length = path.size() - start - qsizetype(qstrlen(suffix));
    if (length <= 0)
        return std::nullopt;
    QByteArray middle = path.mid(start, length);
    if (middle.contains('/'))
        return std::nullopt;
    return middle;
}

HttpExporter::Answer text(unsigned status, const QByteArray &body)
{
    HttpExporter::Answer a;
    a.status = status;
    a.contentType = kText;
    a.body = body;
    return a;
}

HttpExporter::Answer json(unsigned status, const QJsonObject &o)
{
    HttpExporter::Answer a;
    a.status = status;
    a.contentType = kJson;
    a.body = QJsonDocument(o).toJson(QJsonDocument::Compact);
    return a;
}

HttpExporter::Answer refusal(unsigned status, const QString &reason)
{
    return json(status, {{QStringLiteral("ok"), false}, {QStringLiteral("reason"), reason}});
}

QByteArray header(MHD_Connection *c, const char *name)
{
    const char *v = MHD_lookup_connection_value(c, MHD_HEADER_KIND, name);
    return v ? QByteArray(v) : QByteArray();
}

bool acceptsGzip(const QByteArray &acceptEncoding)
{
    for (const QByteArray &item : acceptEncoding.split(',')) {
        const QList<QByteArray> parts = item.split(';');
        if (parts.first().trimmed().toLower() != "gzip")
            continue;
        return !(parts.size() > 1 && parts.at(1).trimmed().replace(' ', "") == "q=0");
    }
    return false;
}

// The client's address as the login limiter counts it: an IPv6 client
// usually holds a whole /64, so that is what is counted.
QByteArray clientAddress(MHD_Connection *c)
{
    const MHD_ConnectionInfo *info = MHD_get_connection_info(c, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    if (!info || !info->client_addr)
        return QByteArrayLiteral("?");
    if (info->client_addr->sa_family == AF_INET6) {
        const auto *v6 = reinterpret_cast<const sockaddr_in6 *>(info->client_addr);
        if (IN6_IS_ADDR_V4MAPPED(&v6->sin6_addr))
            return QByteArray(reinterpret_cast<const char *>(v6->sin6_addr.s6_addr) + 12, 4).toHex();
        return QByteArray(reinterpret_cast<const char *>(v6->sin6_addr.s6_addr), 8).toHex() + "::/64";
    }
    const auto *v4 = reinterpret_cast<const sockaddr_in *>(info->client_addr);
    return QByteArray(reinterpret_cast<const char *>(&v4->sin_addr), 4).toHex();
}

MHD_Result queue(MHD_Connection *connection, const HttpExporter::Answer &answer, bool gzip)
{
    const bool compressed = gzip && !answer.gzip.isEmpty();
    const QByteArray &body = compressed ? answer.gzip : answer.body;
    MHD_Response *response = MHD_create_response_from_buffer(
        static_cast<size_t>(body.size()), const_cast<char *>(body.constData()), MHD_RESPMEM_MUST_COPY);
    if (!response)
        return MHD_NO;
    if (!answer.contentType.isEmpty())
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, answer.contentType.constData());
    if (!answer.allow.isEmpty())
        MHD_add_response_header(response, MHD_HTTP_HEADER_ALLOW, answer.allow.constData());
    if (compressed)
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_ENCODING, "gzip");
    if (!answer.gzip.isEmpty())
        MHD_add_response_header(response, MHD_HTTP_HEADER_VARY, "Accept-Encoding");
    if (!answer.etag.isEmpty()) {
        MHD_add_response_header(response, MHD_HTTP_HEADER_ETAG, answer.etag.constData());
        // Our own files change only with the program: asked again, answered 304.
        MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-cache");
    } else {
        // What was read a second ago is not worth keeping.
        MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-store");
    }
    for (const auto &[name, value] : HttpExporter::securityHeaders())
        MHD_add_response_header(response, name.constData(), value.constData());
    for (const auto &[name, value] : answer.headers)
        MHD_add_response_header(response, name.constData(), value.constData());
    const MHD_Result queued = MHD_queue_response(connection, answer.status, response);
    MHD_destroy_response(response);
    return queued;
}

MHD_Result addArgument(void *cls, MHD_ValueKind, const char *key, const char *value)
{
    static_cast<HttpExporter::Query *>(cls)->append(
        {QString::fromUtf8(key), value ? QString::fromUtf8(value) : QString()});
    return MHD_YES;
}

// What one request carries between the library's calls.
struct PerRequest
{
    std::optional<HttpExporter::Answer> early; // decided from the head alone
    bool change = false;                       // a POST of settings
    bool mainApi = false;                      // a request of the main thread's API
    QByteArray method, path;
    qsizetype mostBytes = ChangeRequest::kMostBytes;
    const HttpExporter::Action *action = nullptr; // a POST of another API
    QString id;
    QByteArray body;
    bool tooLarge = false;
    std::shared_ptr<HttpExporter::Suspended> suspended;
};

} // namespace

struct HttpExporter::Suspended
{
    MHD_Connection *connection = nullptr;
    bool done = false; // `answer` holds the reply
    Answer answer;
};

namespace {

// The head of a request: who asks (a login, when users are configured),
// and for a change whether it may come at all.
std::optional<HttpExporter::Answer> checkHead(HttpExporter &exporter, MHD_Connection *c,
                                              const QByteArray &method, const QByteArray &path,
                                              PerRequest *pr)
{
    char *password = nullptr;
    char *user = MHD_basic_auth_get_username_password(c, &password);
    const QByteArray given = password ? QByteArray(password) : QByteArray();
    const QString name = user ? QString::fromUtf8(user) : QString();
    if (password) {
        std::memset(password, 0, std::strlen(password));
        MHD_free(password);
    }
    if (user)
        MHD_free(user);
    const LoginGate::Decision d = exporter.gate().check(clientAddress(c), user != nullptr, name, given);
    switch (d.verdict) {
    case LoginGate::Verdict::Open:
    case LoginGate::Verdict::Allowed:
        break;
    case LoginGate::Verdict::Unauthorized: {
        HttpExporter::Answer a = text(MHD_HTTP_UNAUTHORIZED, "a login is needed\n");
        a.headers.emplace_back(MHD_HTTP_HEADER_WWW_AUTHENTICATE,
                               "Basic realm=\"Calidor thermostats\", charset=\"UTF-8\"");
        return a;
    }
    case LoginGate::Verdict::TooMany: {
        HttpExporter::Answer a =
            text(MHD_HTTP_TOO_MANY_REQUESTS, "too many failed logins; try again later\n");
        a.headers.emplace_back(MHD_HTTP_HEADER_RETRY_AFTER, QByteArray::number(qint64(d.retryAfter)));
        return a;
    }
    }
    const HttpExporter::Action *action = exporter.action(path);
    const bool mainApi = !action && exporter.mainApi().claims && exporter.mainApi().claims(path);
    const std::optional<QByteArray> settingsOf =
        action || mainApi ? std::nullopt : segment(path, "/api/v1/thermostats/", "/settings");
    if (!settingsOf && !mainApi && !action)
        return std::nullopt;
    pr->mostBytes = mainApi ? exporter.mainApi().mostBytes : ChangeRequest::kMostBytes;
    if (mainApi && (method == "GET" || method == "HEAD")) {
        pr->mainApi = true; // reading: as open as every other page
        pr->method = method;
        pr->path = path;
        return std::nullopt;
    }
    if (!mainApi && method != "POST") {
        HttpExporter::Answer a = refusal(MHD_HTTP_METHOD_NOT_ALLOWED, QStringLiteral("a change is a POST"));
        a.allow = "POST";
        return a;
    }
    if (d.verdict == LoginGate::Verdict::Open)
        return refusal(MHD_HTTP_FORBIDDEN, QStringLiteral("changes need a login: add a user to the file of "
                                                          "--web-config"));
    const ChangeRequest::Verdict v =
        ChangeRequest::checkHeaders(header(c, MHD_HTTP_HEADER_CONTENT_TYPE), header(c, "Origin"),
                                    header(c, MHD_HTTP_HEADER_HOST), exporter.tls());
    if (v.status != 200)
        return refusal(v.status, v.reason);
    bool lengthOk = true;
    const QByteArray length = header(c, MHD_HTTP_HEADER_CONTENT_LENGTH);
    if (!length.isEmpty() && length.toLongLong(&lengthOk) > pr->mostBytes)
        return refusal(MHD_HTTP_CONTENT_TOO_LARGE,
                       QStringLiteral("a change takes at most %1 bytes").arg(pr->mostBytes));
    if (action) {
        pr->action = action;
        return std::nullopt;
    }
    if (mainApi) {
        pr->mainApi = true;
        pr->method = method;
        pr->path = path;
        return std::nullopt;
    }
    if (!exporter.pages()->ids.contains(QString::fromUtf8(*settingsOf)))
        return refusal(MHD_HTTP_NOT_FOUND,
                       QStringLiteral("no thermostat %1").arg(QString::fromUtf8(*settingsOf).left(64)));
    pr->change = true;
    pr->id = QString::fromUtf8(*settingsOf);
    return std::nullopt;
}

MHD_Result handle(void *cls, MHD_Connection *connection, const char *url, const char *method, const char *,
                  const char *uploadData, size_t *uploadSize, void **perRequest)
{
    auto *exporter = static_cast<HttpExporter *>(cls);
    const QByteArray verb(method), path(url);
    auto *pr = static_cast<PerRequest *>(*perRequest);
    if (!pr) {
        pr = new PerRequest; // freed in `completed`
        *perRequest = pr;
        pr->early = checkHead(*exporter, connection, verb, path, pr);
        // Refused from its head: answered before its body is read (the
        // library then closes the connection rather than read the rest).
        if (pr->early)
            return queue(connection, *pr->early, false);
        return MHD_YES;
    }
    if (*uploadSize != 0) {
        // A body is kept only where one is expected, and only up to the limit.
        if ((pr->change || pr->mainApi || pr->action) && !pr->tooLarge) {
            if (pr->body.size() + qsizetype(*uploadSize) > pr->mostBytes)
                pr->tooLarge = true;
            else
                pr->body.append(uploadData, qsizetype(*uploadSize));
        }
        *uploadSize = 0;
        return MHD_YES;
    }
    if (pr->suspended)
        return queue(connection, pr->suspended->answer, false);
    if (pr->mainApi) {
        if (pr->tooLarge)
            return queue(connection,
                         refusal(MHD_HTTP_CONTENT_TOO_LARGE,
                                 QStringLiteral("a change takes at most %1 bytes").arg(pr->mostBytes)),
                         false);
        pr->suspended = std::make_shared<HttpExporter::Suspended>();
        pr->suspended->connection = connection;
        MHD_suspend_connection(connection);
        exporter->startMainApi(pr->method, pr->path, pr->body, pr->suspended);
        return MHD_YES;
    }
    if (pr->action) {
        if (pr->tooLarge)
            return queue(connection,
                         refusal(MHD_HTTP_CONTENT_TOO_LARGE,
                                 QStringLiteral("at most %1 bytes").arg(ChangeRequest::kMostBytes)),
                         false);
        return queue(connection, (*pr->action)(pr->body), false);
    }
    if (pr->change) {
        const ChangeRequest::Verdict v =
            pr->tooLarge ? ChangeRequest::Verdict{MHD_HTTP_CONTENT_TOO_LARGE,
                                                  QStringLiteral("a change takes at most %1 bytes")
                                                      .arg(ChangeRequest::kMostBytes),
                                                  {}}
                         : ChangeRequest::parseBody(pr->body);
        if (v.status != 200)
            return queue(connection, refusal(v.status, v.reason), false);
        pr->suspended = std::make_shared<HttpExporter::Suspended>();
        pr->suspended->connection = connection;
        MHD_suspend_connection(connection);
        exporter->startChange(pr->id, v.values, pr->suspended);
        return MHD_YES;
    }
    HttpExporter::Request request;
    request.method = verb;
    request.path = path;
    request.acceptLanguage = header(connection, MHD_HTTP_HEADER_ACCEPT_LANGUAGE);
    request.ifNoneMatch = header(connection, MHD_HTTP_HEADER_IF_NONE_MATCH);
    request.loginRequired = exporter->gate().loginRequired();
    std::optional<HttpExporter::Answer> fromApi;
    if (exporter->api()) {
        HttpExporter::Query query;
        MHD_get_connection_values(connection, MHD_GET_ARGUMENT_KIND, &addArgument, &query);
        fromApi = exporter->api()(verb, path, query);
    }
    HttpExporter::Answer answer =
        fromApi ? *fromApi : HttpExporter::route(request, *exporter->pages(), exporter->files());
    const bool gzip = acceptsGzip(header(connection, MHD_HTTP_HEADER_ACCEPT_ENCODING));
    // A year of history or the metrics of many thermostats shrink to a
    // fifth; a small answer is not worth the header.
    if (gzip && answer.gzip.isEmpty() && answer.body.size() > 1024)
        answer.gzip = StaticFiles::gzip(answer.body, false);
    return queue(connection, answer, gzip);
}

void completed(void *cls, MHD_Connection *, void **perRequest, MHD_RequestTerminationCode)
{
    auto *pr = static_cast<PerRequest *>(*perRequest);
    if (!pr)
        return;
    if (pr->suspended)
        static_cast<HttpExporter *>(cls)->forget(pr->suspended);
    delete pr;
    *perRequest = nullptr;
}

} // namespace

HttpExporter::HttpExporter() : m_pages(std::make_shared<const Pages>()), m_gate(std::make_unique<LoginGate>())
{
}

HttpExporter::~HttpExporter()
{
    stop();
}

bool HttpExporter::start(const ValueParser::ListenAddress &address, const Limits &limits,
                         const WebConfig &web, QString *error)
{
    m_address = address;
    m_limits = limits;
    m_gate->setUsers(web.users);
    return startDaemon(web, error);
}

bool HttpExporter::startDaemon(const WebConfig &web, QString *error)
{
    sockaddr_in v4{};
    sockaddr_in6 v6{};
    const sockaddr *bind = nullptr;
    const QByteArray host = m_address.host.toLatin1();
    if (m_address.ipv6) {
        v6.sin6_family = AF_INET6;
        v6.sin6_port = htons(static_cast<std::uint16_t>(m_address.port));
        if (inet_pton(AF_INET6, host.constData(), &v6.sin6_addr) != 1) {
            *error = QStringLiteral("%1 is not an IPv6 address").arg(m_address.host);
            return false;
        }
        bind = reinterpret_cast<const sockaddr *>(&v6);
    } else {
        v4.sin_family = AF_INET;
        v4.sin_port = htons(static_cast<std::uint16_t>(m_address.port));
        if (inet_pton(AF_INET, host.constData(), &v4.sin_addr) != 1) {
            *error = QStringLiteral("%1 is not an IPv4 address").arg(m_address.host);
            return false;
        }
        bind = reinterpret_cast<const sockaddr *>(&v4);
    }
    if (web.tls() && MHD_is_feature_supported(MHD_FEATURE_TLS) != MHD_YES) {
        *error = QStringLiteral("this libmicrohttpd has no TLS");
        return false;
    }

    unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL | MHD_ALLOW_SUSPEND_RESUME;
    if (m_address.ipv6)
        flags |= MHD_USE_IPv6;
    const QByteArray cert = web.certPem, key = web.keyPem;
    if (web.tls())
        flags |= MHD_USE_TLS;
    // The TLS options come last and only with TLS: the library refuses them without.
    m_daemon =
        MHD_start_daemon(flags, 0, nullptr, nullptr, &handle, this, MHD_OPTION_SOCK_ADDR, bind,
                         MHD_OPTION_CONNECTION_LIMIT, m_limits.connections, MHD_OPTION_CONNECTION_TIMEOUT,
                         m_limits.idleSeconds, MHD_OPTION_CONNECTION_MEMORY_LIMIT, m_limits.requestBytes,
                         MHD_OPTION_THREAD_POOL_SIZE, m_limits.threads, MHD_OPTION_NOTIFY_COMPLETED,
                         &completed, this, web.tls() ? MHD_OPTION_HTTPS_MEM_CERT : MHD_OPTION_END,
                         cert.constData(), MHD_OPTION_HTTPS_MEM_KEY, key.constData(), MHD_OPTION_END);
    if (!m_daemon) {
        const int err = errno;
        *error = web.tls() ? QStringLiteral("the HTTPS server did not start: is %1 the key of %2?")
                                 .arg(web.keyFile, web.certFile)
                 : err ? QString::fromLocal8Bit(std::strerror(err))
                       : QStringLiteral("the HTTP server did not start");
        return false;
    }
    m_certPem = cert;
    m_keyPem = key;
    m_tls = web.tls();
    const MHD_DaemonInfo *info = MHD_get_daemon_info(m_daemon, MHD_DAEMON_INFO_BIND_PORT);
    m_port = info ? info->port : m_address.port;
    // A restart keeps the port the first start was given.
    m_address.port = m_port;
    return true;
}

bool HttpExporter::reconfigure(const WebConfig &web, QString *error)
{
    if (m_daemon && (web.tls() != m_tls || web.certPem != m_certPem || web.keyPem != m_keyPem)) {
        const WebConfig old = [&] {
            WebConfig o;
            o.certPem = m_certPem;
            o.keyPem = m_keyPem;
            o.certFile = m_tls ? QStringLiteral("the certificate") : QString();
            o.keyFile = o.certFile;
            return o;
        }();
        stopDaemon();
        if (!startDaemon(web, error)) {
            QString ignored;
            startDaemon(old, &ignored);
            return false;
        }
    }
    m_gate->setUsers(web.users);
    return true;
}

void HttpExporter::stopDaemon()
{
    // A change waiting for its read-back is told the server is going; the
    // library wants every suspended connection back before it stops.
    std::set<std::shared_ptr<Suspended>> waiting;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        waiting.swap(m_suspended);
    }
    for (const std::shared_ptr<Suspended> &s : waiting) {
        if (s->done || !s->connection)
            continue;
        s->answer =
            refusal(MHD_HTTP_SERVICE_UNAVAILABLE, QStringLiteral("the service is restarting its server"));
        s->done = true;
        MHD_resume_connection(s->connection);
        s->connection = nullptr;
    }
    if (m_daemon)
        MHD_stop_daemon(m_daemon);
    m_daemon = nullptr;
}

void HttpExporter::stop()
{
    stopDaemon();
}

void HttpExporter::startChange(const QString &id, const SetCommand::Values &values,
                               std::shared_ptr<Suspended> s)
{
    onMain(std::move(s), [this, id, values](const Reply &reply) {
        if (!m_changeHandler)
            reply(refusal(MHD_HTTP_SERVICE_UNAVAILABLE, QStringLiteral("changes are not taken yet")));
        else
            m_changeHandler(id, values, reply);
    });
}

void HttpExporter::startMainApi(const QByteArray &method, const QByteArray &path, const QByteArray &body,
                                std::shared_ptr<Suspended> s)
{
    onMain(std::move(s),
           [this, method, path, body](const Reply &reply) { reply(m_mainApi.answer(method, path, body)); });
}

void HttpExporter::onMain(std::shared_ptr<Suspended> s, std::function<void(const Reply &reply)> work)
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_suspended.insert(s);
    }
    // To the main thread, where the fleet lives; the reply comes back there too.
    QMetaObject::invokeMethod(
        &m_main,
        [s, work = std::move(work)] {
            // On the main thread, as stopDaemon(), which is all that
            // touches `done` and `connection` once the change has begun.
            const Reply reply = [s](const Answer &answer) {
                if (s->done || !s->connection)
                    return; // answered already: the server restarted meanwhile
                s->answer = answer;
                s->done = true;
                MHD_Connection *connection = std::exchange(s->connection, nullptr);
                MHD_resume_connection(connection);
            };
            work(reply);
        },
        Qt::QueuedConnection);
}

void HttpExporter::forget(const std::shared_ptr<Suspended> &s)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_suspended.erase(s);
}

void HttpExporter::publish(Pages pages)
{
    auto fresh = std::make_shared<const Pages>(std::move(pages));
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_pages = std::move(fresh);
}

std::shared_ptr<const HttpExporter::Pages> HttpExporter::pages() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_pages;
}

const std::vector<std::pair<QByteArray, QByteArray>> &HttpExporter::securityHeaders()
{
    // Styles may be inline: the chart library writes style attributes into
    // the markup of its legend. Scripts never are.
    static const std::vector<std::pair<QByteArray, QByteArray>> headers{
        {"Content-Security-Policy",
         "default-src 'none'; script-src 'self'; style-src 'self' 'unsafe-inline'; img-src 'self'; "
         "connect-src 'self'; "
         "form-action 'self'; base-uri 'none'; frame-ancestors 'none'"},
        {"X-Content-Type-Options", "nosniff"},
        {"X-Frame-Options", "DENY"},
        {"Referrer-Policy", "no-referrer"},
    };
    return headers;
}

HttpExporter::Answer HttpExporter::route(const Request &request, const Pages &pages, const StaticFiles &files)
{
    const QByteArray &path = request.path;
    const bool page = path == "/" || [&] {
        const std::optional<QByteArray> id = segment(path, "/thermostat/", "");
        return id && pages.ids.contains(QString::fromUtf8(*id));
    }();
    const StaticFiles::File *file = page ? nullptr : files.find(path);
    if (path != "/metrics" && !page && !file)
        return text(MHD_HTTP_NOT_FOUND, "not found; the dashboard is at /, the metrics at /metrics\n");
    if (request.method != "GET" && request.method != "HEAD") {
        Answer a = text(MHD_HTTP_METHOD_NOT_ALLOWED, "only GET and HEAD\n");
        a.allow = "GET, HEAD";
        return a;
    }
    if (path == "/metrics")
        return {MHD_HTTP_OK, MetricsExposition::kContentType, pages.metrics, {}, {}, {}, {}};
    if (file) {
        if (request.ifNoneMatch == file->etag)
            return {MHD_HTTP_NOT_MODIFIED, {}, {}, {}, {}, file->etag, {}};
        return {MHD_HTTP_OK, file->contentType, file->body, {}, file->gzip, file->etag, {}};
    }
    const QByteArray html =
        files.page(Language::choose(request.acceptLanguage),
                   request.loginRequired ? QStringLiteral("yes") : QStringLiteral("no-users"), pages.table);
    Answer a{MHD_HTTP_OK, kHtml, html, {}, StaticFiles::gzip(html), {}, {}};
    a.headers.emplace_back("Content-Language", Language::choose(request.acceptLanguage).toLatin1());
    return a;
}

HttpExporter::Answer HttpExporter::changeAnswer(bool ok, bool written, const QString &reason,
                                                const SetCommand::Plan &plan)
{
    if (!ok)
        return refusal(MHD_HTTP_UNPROCESSABLE_CONTENT, reason);
    return json(MHD_HTTP_OK,
                {{QStringLiteral("ok"), true},
                 {QStringLiteral("written"), written},
                 {QStringLiteral("tl"), double(plan.low) / 10.0},
                 {QStringLiteral("th"), double(plan.high) / 10.0},
                 {QStringLiteral("mode"), plan.mode == 66 ? QStringLiteral("B") : QStringLiteral("A")}});
}

QString HttpExporter::url(const ValueParser::ListenAddress &address, int port, bool tls)
{
    const QString host = address.ipv6 ? QStringLiteral("[%1]").arg(address.host) : address.host;
    return QStringLiteral("%1://%2:%3/")
        .arg(tls ? QStringLiteral("https") : QStringLiteral("http"), host)
        .arg(port);
}
