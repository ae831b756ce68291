#include "ServeCommand.h"

#include "AlertWatch.h"
#include "ChangeNoticeListener.h"
#include "ClockSync.h"
#include "HistoryRecorder.h"
#include "LandingPage.h"
#include "MetricsExposition.h"
#include "MqttBridge.h"
#include "ServiceClock.h"
#include "SignalWatcher.h"
#include "WebConfig.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QEventLoop>
#include <QTimer>
#include <csignal>

namespace {

// Whether schedule steps may be applied now: a synchronised clock, or one
// the administrator vouches for (--trust-clock).
ClockSync::Verdict judgeClock(bool trusted)
{
    if (!trusted)
        return ClockSync::judge(ClockSync::read());
    ClockSync::Facts told;
    told.trusted = true;
    return ClockSync::judge(told);
}

const QString kVersion = QStringLiteral(CALIDOR_VERSION);
constexpr int kFirstReadingsWaitMs = 1000;

} // namespace

ServeCommand::ServeCommand(const ServiceSettings &options, std::shared_ptr<HidTransport> transport,
                           Notice notice, QObject *parent)
    : QObject(parent), m_options(options), m_notice(notice),
      m_fleet(std::move(transport), options.intervalMs, std::move(notice)), m_historyApi(options.historyPath),
      m_alertApi(m_notice), m_schedules(
                                m_fleet, options.historyPath, options.rampMinutes * 60,
                                [trusted = options.clockTrusted] { return judgeClock(trusted); }, m_notice),
      m_scheduleApi(m_schedules, [this](const QString &id) { return m_fleet.state(id).has_value(); })
{
    m_exporter.setApi([this](const QByteArray &method, const QByteArray &path,
                             const HttpExporter::Query &query) -> std::optional<HttpExporter::Answer> {
        if (auto alerts = m_alertApi.answer(method, path, query))
            return alerts;
        return m_historyApi.answer(method, path, query, m_fleet.snapshot(), ServiceClock::nowMs() / 1000);
    });
    m_exporter.addAction(AlertApi::kTest, [this](const QByteArray &body) { return m_alertApi.test(body); });
    m_exporter.setMainApi({&ScheduleApi::claims,
                           [this](const QByteArray &method, const QByteArray &path, const QByteArray &body) {
                               return m_scheduleApi.answer(method, path, body);
                           },
                           65536});
    connect(&m_fleet, &Fleet::intervalDone, this, &ServeCommand::publish);
    m_exporter.setChangeHandler([this](const QString &id, const SetCommand::Values &values,
                                       HttpExporter::Reply reply) { change(id, values, std::move(reply)); });
}

ServeCommand::~ServeCommand()
{
    // The HTTP thread goes before the states it serves.
    m_exporter.stop();
}

void ServeCommand::publish()
{
    const std::vector<ThermostatState> states = m_fleet.states();
    QStringList ids;
    for (const ThermostatState &s : states)
        ids << s.id;
    m_exporter.publish(
        {MetricsExposition::render(states, kVersion), LandingPage::table(states, kVersion), ids});
}

void ServeCommand::change(const QString &id, const SetCommand::Values &values, HttpExporter::Reply reply)
{
    if (!m_fleet.state(id)) {
        reply(HttpExporter::changeAnswer(false, false, QStringLiteral("no thermostat %1").arg(id), {}));
        return;
    }
    m_fleet.configure(id, values, QStringLiteral("web"), [this, reply](const Fleet::Outcome &o) {
        reply(HttpExporter::changeAnswer(o.ok, o.written, o.reason, o.plan));
        // The pages follow at once rather than at the next round.
        if (o.written)
            publish();
    });
}

bool ServeCommand::loadWebConfig(WebConfig *web)
{
    if (m_options.webConfig.isEmpty())
        return true;
    const WebConfig::Parsed parsed = WebConfig::load(m_options.webConfig);
    if (!parsed.config) {
        m_notice(QStringLiteral("--web-config: ") + parsed.error);
        return false;
    }
    *web = *parsed.config;
    return true;
}

void ServeCommand::reloadWebConfig()
{
    WebConfig web;
    QString error;
    if (!loadWebConfig(&web)) {
        m_notice(QStringLiteral("the web configuration in use stays as it was"));
        return;
    }
    if (!m_exporter.reconfigure(web, &error)) {
        m_notice(QStringLiteral("--web-config: %1; the web configuration in use stays as it was").arg(error));
        return;
    }
    m_notice(QStringLiteral("web configuration read again: %1").arg(webSummary(web)));
}

QString ServeCommand::webSummary(const WebConfig &web)
{
    const QString users = web.loginRequired()
                              ? QStringLiteral("%1 user(s), every page behind a login").arg(web.users.size())
                              : QStringLiteral("no user: pages open, changes refused");
    return (web.tls() ? QStringLiteral("TLS, ") : QStringLiteral("no TLS, ")) + users;
}

void ServeCommand::startSchedules()
{
    // After the first readings, so that a change by hand is told from what
    // the thermostat held; a change made in the file by `calidorctl
    // schedule` is read within seconds.
    m_schedules.start();
}

// The page's list and test button, and the incidents kept in the history
// (read before its writer starts, then written by it at each change).
// Without a history they live in memory only: a restart forgets them.
void ServeCommand::hookAlerts(AlertWatch &alerts, HistoryRecorder *history)
{
    alerts.setBoard([this](std::vector<Incidents::Open> open) { m_alertApi.setOpen(std::move(open)); });
    m_alertApi.attach(alerts.sender(), alerts.channels());
    if (!history)
        return;
    QString error;
    const std::optional<QByteArray> saved = HistoryRecorder::alertState(m_options.historyPath, &error);
    if (!error.isEmpty())
        m_notice(QStringLiteral("alerts: the incidents kept in %1 cannot be read (%2); starting afresh")
                     .arg(m_options.historyPath, error));
    alerts.restore(saved.value_or(QByteArray()),
                   [history](QByteArray state) { history->saveAlertState(std::move(state)); });
    if (const std::size_t open = alerts.open().size())
        m_notice(QStringLiteral("alerts: %1 incident(s) still open from the last run").arg(open));
}

ExitCode ServeCommand::run()
{
    // A service does not end because whoever read its messages went away:
    // a write to a closed pipe just fails.
    std::signal(SIGPIPE, SIG_IGN);
    QString error;
    WebConfig web;
    if (!loadWebConfig(&web))
        return ExitCode::Usage;
    if (!m_exporter.chartProblem().isEmpty())
        m_notice(m_exporter.chartProblem());
    if (!m_exporter.start(m_options.listen, HttpExporter::Limits{}, web, &error)) {
        m_notice(QStringLiteral("cannot listen on %1: %2")
                     .arg(HttpExporter::url(m_options.listen, m_options.listen.port), error));
        return ExitCode::Device;
    }
    // The MQTT bridge (off without --mqtt); it leaves the broker before the fleet stops.
    std::unique_ptr<MqttBridge> mqtt;
    if (!m_options.mqtt.isEmpty() &&
        !(mqtt = MqttBridge::create(m_fleet, m_options, m_notice, &error, &m_schedules))) {
        m_notice(error);
        return ExitCode::Usage;
    }
    // The alert rules are always on; without --alerts-config their defaults
    // apply and incidents go to the log only. A file that does not read
    // whole stops the service, rather than leaving it silently unwatched.
    AlertsConfig alertsConfig;
    if (!m_options.alertsConfig.isEmpty()) {
        const auto loaded = AlertsConfig::load(m_options.alertsConfig);
        if (!loaded.config) {
            m_notice(QStringLiteral("%1: %2").arg(m_options.alertsConfig, loaded.error));
            return ExitCode::Usage;
        }
        alertsConfig = *loaded.config;
    }
    auto alerts = std::make_unique<AlertWatch>(m_fleet, alertsConfig, m_options.intervalMs, m_notice);
    // `calidorctl set` says which thermostat it writes, so that the change
    // is not taken for another program's.
    ChangeNoticeListener notices(m_fleet, m_options.noticeScope, m_notice);

    // The history (off with --no-history) sees the first reads, and writes its
    // last minutes once the fleet has stopped.
    std::unique_ptr<HistoryRecorder> history;
    if (!m_options.historyPath.isEmpty()) {
        history = std::make_unique<HistoryRecorder>(m_fleet, m_options, m_notice);
    }
    hookAlerts(*alerts, history.get());
    if (history)
        history->start();
    // The first readings are in before anyone is told where to ask for them;
    // a thermostat that does not answer holds this up for a second at most.
    // A stop asked meanwhile ends both loops.
    SignalWatcher stopSignals;
    bool stopping = false;
    QEventLoop first;
    connect(&stopSignals, &SignalWatcher::stopRequested, this, [&stopping, &first] {
        stopping = true;
        first.quit();
        QCoreApplication::quit();
    });
    connect(&m_fleet, &Fleet::firstRoundDone, &first, &QEventLoop::quit);
    QTimer::singleShot(kFirstReadingsWaitMs, &first, &QEventLoop::quit);
    // SIGHUP reads the web configuration again (a renewed certificate, a new user).
    if (!m_options.webConfig.isEmpty()) {
        stopSignals.watchHangup();
        connect(&stopSignals, &SignalWatcher::reloadRequested, this, &ServeCommand::reloadWebConfig);
    }
    m_fleet.start();
    first.exec();
    publish();
    startSchedules();
    m_notice(QStringLiteral("listening on %1")
                 .arg(HttpExporter::url(m_options.listen, m_exporter.port(), m_exporter.tls())));
    if (!m_options.webConfig.isEmpty())
        m_notice(QStringLiteral("web configuration: %1").arg(webSummary(web)));
    if (!stopping)
        QCoreApplication::exec();
    mqtt.reset();
    m_alertApi.attach(nullptr, 0);
    alerts.reset();
    m_fleet.stop();
    m_exporter.stop();
    history.reset();
    // A read the kernel is still waiting on cannot be cut short: the process
    // ends when the kernel gives up on it (5 s at most on USB).
    for (const QString &id : m_fleet.abandonedIds())
        m_notice(QStringLiteral("%1 is still in a transfer; the system ends it by itself").arg(id));
    return ExitCode::Ok;
}
