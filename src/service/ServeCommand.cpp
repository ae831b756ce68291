#include "ServeCommand.h"

#include "AlertWatch.h"
#include "LandingPage.h"
#include "MetricsExposition.h"
#include "MqttBridge.h"
#include "SignalWatcher.h"

#include <QCoreApplication>
#include <csignal>
#include <QEventLoop>
#include <QTimer>

namespace {

const QString kVersion = QStringLiteral(CALIDOR_VERSION);
constexpr int kFirstReadingsWaitMs = 1000;

} // namespace

ServeCommand::ServeCommand(const ServiceSettings &options, std::shared_ptr<HidTransport> transport,
                           Notice notice, QObject *parent)
    : QObject(parent), m_options(options), m_notice(notice),
      m_fleet(std::move(transport), options.intervalMs, std::move(notice))
{
    connect(&m_fleet, &Fleet::intervalDone, this, &ServeCommand::publish);
}

ServeCommand::~ServeCommand()
{
    // The HTTP thread goes before the states it serves.
    m_exporter.stop();
}

void ServeCommand::publish()
{
    const std::vector<ThermostatState> states = m_fleet.states();
    m_exporter.publish({MetricsExposition::render(states, kVersion), LandingPage::render(states, kVersion)});
}

ExitCode ServeCommand::run()
{
    // A service does not end because whoever read its messages went away:
    // a write to a closed pipe just fails.
    std::signal(SIGPIPE, SIG_IGN);
    QString error;
    if (!m_exporter.start(m_options.listen, HttpExporter::Limits{}, &error)) {
        m_notice(QStringLiteral("cannot listen on %1: %2")
                     .arg(HttpExporter::url(m_options.listen, m_options.listen.port), error));
        return ExitCode::Device;
    }
    // The MQTT bridge (off without --mqtt); it leaves the broker before the fleet stops.
    std::unique_ptr<MqttBridge> mqtt;
    if (!m_options.mqtt.isEmpty() && !(mqtt = MqttBridge::create(m_fleet, m_options, m_notice, &error))) {
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
    auto alerts = std::make_unique<AlertWatch>(m_fleet, alertsConfig, m_notice);
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
    m_fleet.start();
    first.exec();
    publish();
    m_notice(QStringLiteral("listening on %1").arg(HttpExporter::url(m_options.listen, m_exporter.port())));
    if (!stopping)
        QCoreApplication::exec();
    mqtt.reset();
    alerts.reset();
    m_fleet.stop();
    m_exporter.stop();
    // A read the kernel is still waiting on cannot be cut short: the process
    // ends when the kernel gives up on it (5 s at most on USB).
    for (const QString &id : m_fleet.abandonedIds())
        m_notice(QStringLiteral("%1 is still in a transfer; the system ends it by itself").arg(id));
    return ExitCode::Ok;
}
