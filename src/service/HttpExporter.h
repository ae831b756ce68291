#pragma once

#include "ValueParser.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

struct MHD_Daemon;

// The HTTP side of the service, over GNU libmicrohttpd on its own thread:
// a scrape is answered from the pages last published and never waits for a
// device, and no client, however slow or hostile, holds up the readings.
// The library bounds what a client may do: connections, time, and the
// memory a request's head may take.
class HttpExporter
{
public:
    struct Limits
    {
        unsigned connections = 64;        // past that, a new connection is closed at once
        unsigned idleSeconds = 10;        // a connection quiet that long is closed
        std::size_t requestBytes = 16384; // request line and headers
    };

    // What is served, whole; published after each round of reads.
    struct Pages
    {
        QByteArray metrics;
        QByteArray landing;
    };

    struct Answer
    {
        unsigned status = 200;
        QByteArray contentType;
        QByteArray body;
        QByteArray allow; // the Allow header of a 405
    };

    HttpExporter();
    ~HttpExporter();
    HttpExporter(const HttpExporter &) = delete;
    HttpExporter &operator=(const HttpExporter &) = delete;

    // Binds to exactly that address. False with a reason when it cannot.
    bool start(const ValueParser::ListenAddress &address, const Limits &limits, QString *error);
    void stop();
    int port() const { return m_port; }

    void publish(Pages pages);

    // Asked first on the library's thread, with the decoded query arguments
    // (the history's API); nullopt leaves the request to route(). Set before start().
    using Query = QList<QPair<QString, QString>>;
    using Api = std::function<std::optional<Answer>(const QByteArray &method, const QByteArray &path,
                                                    const Query &query)>;
    void setApi(Api api) { m_api = std::move(api); }
    const Api &api() const { return m_api; }

    // Which answer a request gets: GET and HEAD of "/metrics" and "/", 404
    // for any other path, 405 for any other method.
    static Answer route(const QByteArray &method, const QByteArray &path, const Pages &pages);

    // http://127.0.0.1:9830/, with brackets around an IPv6 address.
    static QString url(const ValueParser::ListenAddress &address, int port);

    // The pages last published; read from the library's thread.
    std::shared_ptr<const Pages> pages() const;

private:
    MHD_Daemon *m_daemon = nullptr;
    int m_port = 0;
    mutable std::mutex m_mutex;
    std::shared_ptr<const Pages> m_pages;
    Api m_api;
};
