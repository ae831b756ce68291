#include "ServeCommand.h"

#include "LandingPage.h"
#include "MetricsExposition.h"
#include "SignalWatcher.h"

#include <QCoreApplication>

namespace {

const QString kVersion = QStringLiteral(CALIDOR_VERSION);

} // namespace

ServeCommand::ServeCommand(const CliOptions &options, std::shared_ptr<HidTransport> transport, Notice notice,
                           QObject *parent)
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
    QString error;
    if (!m_exporter.start(m_options.listen, HttpExporter::Limits{}, &error)) {
        m_notice(QStringLiteral("cannot listen on %1: %2")
                     .arg(HttpExporter::url(m_options.listen, m_options.listen.port), error));
        return ExitCode::Device;
    }
    SignalWatcher stopSignals;
    connect(&stopSignals, &SignalWatcher::stopRequested, QCoreApplication::instance(),
            &QCoreApplication::quit);
    m_fleet.start();
    m_notice(QStringLiteral("listening on %1").arg(HttpExporter::url(m_options.listen, m_exporter.port())));
    QCoreApplication::exec();
    m_fleet.stop();
    m_exporter.stop();
    return ExitCode::Ok;
}
