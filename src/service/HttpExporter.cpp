#include "HttpExporter.h"

#include "MetricsExposition.h"

#include <arpa/inet.h>
#include <cstring>
#include <microhttpd.h>
#include <netinet/in.h>

namespace {

constexpr const char *kHtml = "text/html; charset=utf-8";
constexpr const char *kText = "text/plain; charset=utf-8";

MHD_Result addArgument(void *cls, MHD_ValueKind, const char *key, const char *value)
{
    static_cast<HttpExporter::Query *>(cls)->append(
        {QString::fromUtf8(key), value ? QString::fromUtf8(value) : QString()});
    return MHD_YES;
}

// GET and HEAD are answered once the request is complete, so that a
// scraper keeps its connection; a body they carry is dropped as it comes.
// Any other method is answered at once: no path here takes a body, and the
// library closes a connection whose body it did not read.
MHD_Result handle(void *cls, MHD_Connection *connection, const char *url, const char *method, const char *,
                  const char *, size_t *uploadSize, void **perRequest)
{
    static int begun;
    if (std::strcmp(method, "GET") == 0 || std::strcmp(method, "HEAD") == 0) {
        if (*perRequest == nullptr) {
            *perRequest = &begun;
            return MHD_YES;
        }
        if (*uploadSize != 0) {
            *uploadSize = 0;
            return MHD_YES;
        }
    }
    const auto *exporter = static_cast<const HttpExporter *>(cls);
    const std::shared_ptr<const HttpExporter::Pages> pages = exporter->pages();
    std::optional<HttpExporter::Answer> fromApi;
    if (exporter->api()) {
        HttpExporter::Query query;
        MHD_get_connection_values(connection, MHD_GET_ARGUMENT_KIND, &addArgument, &query);
        fromApi = exporter->api()(QByteArray(method), QByteArray(url), query);
    }
    const HttpExporter::Answer answer =
        fromApi ? *fromApi : HttpExporter::route(QByteArray(method), QByteArray(url), *pages);
    MHD_Response *response =
        MHD_create_response_from_buffer(static_cast<size_t>(answer.body.size()),
                                        const_cast<char *>(answer.body.constData()), MHD_RESPMEM_MUST_COPY);
    if (!response)
        return MHD_NO;
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, answer.contentType.constData());
    if (!answer.allow.isEmpty())
        MHD_add_response_header(response, MHD_HTTP_HEADER_ALLOW, answer.allow.constData());
    // What was read a second ago is not worth keeping.
    MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-store");
    const MHD_Result queued = MHD_queue_response(connection, answer.status, response);
    MHD_destroy_response(response);
    return queued;
}

} // namespace

HttpExporter::HttpExporter() : m_pages(std::make_shared<const Pages>()) {}

HttpExporter::~HttpExporter()
{
    stop();
}

bool HttpExporter::start(const ValueParser::ListenAddress &address, const Limits &limits, QString *error)
{
    sockaddr_in v4{};
    sockaddr_in6 v6{};
    const sockaddr *bind = nullptr;
    const QByteArray host = address.host.toLatin1();
    if (address.ipv6) {
        v6.sin6_family = AF_INET6;
        v6.sin6_port = htons(static_cast<std::uint16_t>(address.port));
        if (inet_pton(AF_INET6, host.constData(), &v6.sin6_addr) != 1) {
            *error = QStringLiteral("%1 is not an IPv6 address").arg(address.host);
            return false;
        }
        bind = reinterpret_cast<const sockaddr *>(&v6);
    } else {
        v4.sin_family = AF_INET;
        v4.sin_port = htons(static_cast<std::uint16_t>(address.port));
        if (inet_pton(AF_INET, host.constData(), &v4.sin_addr) != 1) {
            *error = QStringLiteral("%1 is not an IPv4 address").arg(address.host);
            return false;
        }
        bind = reinterpret_cast<const sockaddr *>(&v4);
    }

    unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL;
    if (address.ipv6)
        flags |= MHD_USE_IPv6;
    m_daemon = MHD_start_daemon(flags, 0, nullptr, nullptr, &handle, this, MHD_OPTION_SOCK_ADDR, bind,
                                MHD_OPTION_CONNECTION_LIMIT, limits.connections,
                                MHD_OPTION_CONNECTION_TIMEOUT, limits.idleSeconds,
                                MHD_OPTION_CONNECTION_MEMORY_LIMIT, limits.requestBytes, MHD_OPTION_END);
    if (!m_daemon) {
        const int err = errno;
        *error = err ? QString::fromLocal8Bit(std::strerror(err))
                     : QStringLiteral("the HTTP server did not start");
        return false;
    }
    const MHD_DaemonInfo *info = MHD_get_daemon_info(m_daemon, MHD_DAEMON_INFO_BIND_PORT);
    m_port = info ? info->port : address.port;
    return true;
}

void HttpExporter::stop()
{
    if (m_daemon)
        MHD_stop_daemon(m_daemon);
    m_daemon = nullptr;
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

HttpExporter::Answer HttpExporter::route(const QByteArray &method, const QByteArray &path, const Pages &pages)
{
    const bool metrics = path == "/metrics";
    const bool landing = path == "/";
    if (!metrics && !landing)
        return {MHD_HTTP_NOT_FOUND, kText, "not found; the metrics are at /metrics\n", {}};
    if (method != "GET" && method != "HEAD")
        return {MHD_HTTP_METHOD_NOT_ALLOWED, kText, "only GET and HEAD\n", "GET, HEAD"};
    if (metrics)
        return {MHD_HTTP_OK, MetricsExposition::kContentType, pages.metrics, {}};
    return {MHD_HTTP_OK, kHtml, pages.landing, {}};
}

QString HttpExporter::url(const ValueParser::ListenAddress &address, int port)
{
    const QString host = address.ipv6 ? QStringLiteral("[%1]").arg(address.host) : address.host;
    return QStringLiteral("http://%1:%2/").arg(host).arg(port);
}
