#pragma once

#include "SetCommand.h"
#include "StaticFiles.h"
#include "ValueParser.h"
#include "WebConfig.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <utility>
#include <vector>

struct MHD_Daemon;
class LoginGate;

// The HTTP side of the service, over GNU libmicrohttpd on its own threads:
// a scrape or a page is answered from what was last published and never
// waits for a device, and no client, however slow or hostile, holds up the
// readings. The library bounds what a client may do: connections, time, the
// memory a request's head may take; a change's body is cut at a few KB.
//
// With users in the web configuration every path needs a login, /metrics
// included; without, reading is open and nothing can be changed. A change
// is suspended in the library while the main thread writes and reads back,
// so no HTTP thread waits on a thermostat.
class HttpExporter
{
public:
    struct Limits
    {
        unsigned connections = 64;        // past that, a new connection is closed at once
        unsigned idleSeconds = 10;        // a connection quiet that long is closed
        std::size_t requestBytes = 16384; // request line and headers
        unsigned threads = 2;             // a bcrypt check of a first login takes one for 50 ms
    };

    // What is served from readings, whole; published after each round of reads.
    struct Pages
    {
        QByteArray metrics;
        QByteArray table; // the no-script table of the dashboard
        QStringList ids;  // the thermostats served, for /thermostat/ID
    };

    struct Answer
    {
        unsigned status = 200;
        QByteArray contentType;
        QByteArray body;
        QByteArray allow; // the Allow header of a 405
        QByteArray gzip;  // the same body compressed, when the client accepts it and one was made
        QByteArray etag;
        std::vector<std::pair<QByteArray, QByteArray>> headers;
    };

    // What of a request decides its answer, beside method and path.
    struct Request
    {
        QByteArray method;
        QByteArray path; // as the library decoded it, without the query
        QByteArray acceptLanguage;
        QByteArray ifNoneMatch;
        bool loginRequired = false; // a user is configured: changes may be made
    };

    // A change for thermostat `id`, run on the main thread; `reply` takes
    // the answer once the read-back is over (from any thread).
    using Reply = std::function<void(const Answer &answer)>;
    using ChangeHandler =
        std::function<void(const QString &id, const SetCommand::Values &values, Reply reply)>;

    HttpExporter();
    ~HttpExporter();
    HttpExporter(const HttpExporter &) = delete;
    HttpExporter &operator=(const HttpExporter &) = delete;

    // Binds to exactly that address, over TLS when `web` has a certificate,
    // asking for a login when it has users. False with a reason when it cannot.
    bool start(const ValueParser::ListenAddress &address, const Limits &limits, const WebConfig &web,
               QString *error);
    void stop();
    int port() const { return m_port; }

    // A web configuration read again (SIGHUP): the users change at once; a
    // new certificate, or TLS turned on or off, restarts the server on the
    // same port. False with a reason, keeping the old settings, when the new
    // ones cannot be served.
    bool reconfigure(const WebConfig &web, QString *error);

    void publish(Pages pages);

    // Asked first on the library's thread, with the decoded query arguments
    // (the history's API), once the login is checked; nullopt leaves the
    // request to route(). Set before start().
    using Query = QList<QPair<QString, QString>>;
    using Api = std::function<std::optional<Answer>(const QByteArray &method, const QByteArray &path,
                                                    const Query &query)>;
    void setApi(Api api) { m_api = std::move(api); }
    const Api &api() const { return m_api; }

    void setChangeHandler(ChangeHandler handler) { m_changeHandler = std::move(handler); }

    // An API answered on the main thread, body and all (the schedules'):
    // `claims` says from the path alone whether a request is its; anything
    // but a GET or HEAD passes the checks of a change first (a login, JSON,
    // the Origin). Set before start().
    struct MainApi
    {
        std::function<bool(const QByteArray &path)> claims;
        std::function<Answer(const QByteArray &method, const QByteArray &path, const QByteArray &body)>
            answer;
        qsizetype mostBytes = 65536;
    };
    void setMainApi(MainApi api) { m_mainApi = std::move(api); }
    const MainApi &mainApi() const { return m_mainApi; }
    // A POST to a fixed path that is not a thermostat's (a test alert),
    // checked as a change is: a login, JSON, the page's own Origin, a body of
    // at most ChangeRequest::kMostBytes. `run` answers on the library's
    // thread and must not wait. Set before start().
    using Action = std::function<Answer(const QByteArray &body)>;
    void addAction(const QByteArray &path, Action run) { m_actions[path] = std::move(run); }
    const Action *action(const QByteArray &path) const
    {
        const auto it = m_actions.find(path);
        return it == m_actions.end() ? nullptr : &it->second;
    }

    // Which answer a GET or HEAD (or another method on a known path) gets.
    static Answer route(const Request &request, const Pages &pages, const StaticFiles &files);

    // The answer to a change once the thermostat was written and read back,
    // or refused with its reason.
    static Answer changeAnswer(bool ok, bool written, const QString &reason, const SetCommand::Plan &plan);

    // The headers of every answer: no script but our own files, no frame, no sniffing.
    static const std::vector<std::pair<QByteArray, QByteArray>> &securityHeaders();

    // http://127.0.0.1:9830/ (https:// with TLS), with brackets around an IPv6 address.
    static QString url(const ValueParser::ListenAddress &address, int port, bool tls = false);

    // Read from the library's threads.
    std::shared_ptr<const Pages> pages() const;
    const StaticFiles &files() const { return m_files; }
    LoginGate &gate() { return *m_gate; }
    bool tls() const { return m_tls; }
    QString chartProblem() const { return m_files.chartProblem(); }

    // Internal, for the library's callbacks.
    struct Suspended;
    void startChange(const QString &id, const SetCommand::Values &values, std::shared_ptr<Suspended> s);
    void forget(const std::shared_ptr<Suspended> &s);
    void startMainApi(const QByteArray &method, const QByteArray &path, const QByteArray &body,
                      std::shared_ptr<Suspended> s);

private:
    bool startDaemon(const WebConfig &web, QString *error);
    void stopDaemon();
    // Runs `work` on the main thread with the reply that resumes `s`.
    void onMain(std::shared_ptr<Suspended> s, std::function<void(const Reply &reply)> work);

    MHD_Daemon *m_daemon = nullptr;
    ValueParser::ListenAddress m_address;
    Limits m_limits;
    int m_port = 0;
    bool m_tls = false;
    QByteArray m_certPem, m_keyPem; // the library keeps pointers to them while it runs
    mutable std::mutex m_mutex;
    std::shared_ptr<const Pages> m_pages;
    StaticFiles m_files;
    std::unique_ptr<LoginGate> m_gate;
    ChangeHandler m_changeHandler;
    Api m_api;
    MainApi m_mainApi;
    std::map<QByteArray, Action> m_actions;
    QObject m_main; // lives on the main thread: changes are queued to it
    std::set<std::shared_ptr<Suspended>> m_suspended;
};
