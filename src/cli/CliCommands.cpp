#include "CliCommands.h"

#include "AlertSender.h"
#include "AlertsConfig.h"
#include "ChangeNotice.h"
#include "HistoryCommand.h"
#include "ReadingFormat.h"
#include "ScheduleCommand.h"
#include "SetCommand.h"
#include "SignalWatcher.h"
#include "ThermostatId.h"
#include "ThermostatLink.h"
#include "WatchLoop.h"
#include "WatchOutput.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QSysInfo>
#include <csignal>
#include <cstdio>

CliCommands::CliCommands(const CliOptions &options, std::shared_ptr<HidTransport> transport)
    : m_options(options), m_transport(std::move(transport))
{
}

void CliCommands::printOut(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stdout);
    std::fflush(stdout);
}

void CliCommands::printError(const QString &line)
{
    const QByteArray bytes = (QStringLiteral("calidorctl: ") + line + QLatin1Char('\n')).toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stderr);
    std::fflush(stderr);
}

ExitCode CliCommands::run()
{
    switch (m_options.command) {
    case Command::List:
        return list();
    case Command::Read:
        return read();
    case Command::Set:
        return set();
    case Command::Watch:
        return watch();
    case Command::History:
        return HistoryCommand(m_options, &printOut, &printError).run();
    case Command::AlertTest:
        return alertTest();
    case Command::Schedule:
        return ScheduleCommand(m_options, &printOut, &printError).run();
    case Command::Serve:        // the service's own library runs it
    case Command::HashPassword: // and the web's this one
    case Command::None:
        break;
    }
    return ExitCode::Usage;
}

ExitCode CliCommands::list()
{
    const ThermostatLink link(m_transport);
    const std::vector<HidDeviceInfo> found = link.thermostats();
    if (found.empty()) {
        printError(QStringLiteral("no thermostat found"));
        return ExitCode::Device;
    }
    const std::vector<QString> ids = ThermostatId::assign(found);
    QString out;
    for (std::size_t i = 0; i < found.size(); ++i) {
        const HidDeviceInfo &info = found[i];
        out += QStringLiteral("%1\t%2\t%3\t%4").arg(i + 1).arg(ids[i], info.path, info.product.trimmed());
        if (!info.serial.trimmed().isEmpty())
            out += QLatin1Char('\t') + info.serial.trimmed();
        out += QLatin1Char('\n');
    }
    printOut(out);
    return ExitCode::Ok;
}

ExitCode CliCommands::read()
{
    ThermostatLink link(m_transport);
    ThermostatLink::Failure failure = link.open(m_options.device);
    if (!failure) {
        if (const std::optional<Reading> reading = link.read(&failure)) {
            printOut(ReadingFormat::single(m_options.format, *reading));
            return ExitCode::Ok;
        }
    }
    printError(failure.message);
    return failure.code;
}

ExitCode CliCommands::set()
{
    ThermostatLink link(m_transport);
    SetCommand command(link,
                       {m_options.device, m_options.tl, m_options.th, m_options.mode, m_options.dryRun});
    // A service that reads this thermostat names the change after us.
    command.beforeWriting([scope = m_options.service.noticeScope](const QString &id) {
        ChangeNotice::announce({id, scope});
    });
    QString out;
    const ThermostatLink::Failure failure = command.run(&out);
    printOut(out);
    if (failure)
        printError(failure.message);
    return failure.code;
}

ExitCode CliCommands::watch()
{
    QString error;
    const std::unique_ptr<WatchOutput> output = WatchOutput::open(m_options.output, m_options.format, &error);
    if (!output) {
        printError(error);
        return ExitCode::Device;
    }
    ThermostatLink link(m_transport);
    if (const ThermostatLink::Failure failure = link.open(m_options.device)) {
        printError(failure.message);
        return failure.code;
    }

    SignalWatcher stopSignals;
    WatchLoop loop(link, *output, m_options, &CliCommands::printError);
    QObject::connect(&stopSignals, &SignalWatcher::stopRequested, &loop, &WatchLoop::stop);
    QObject::connect(&loop, &WatchLoop::finished, QCoreApplication::instance(), &QCoreApplication::quit,
                     Qt::QueuedConnection);
    loop.start(); // may already have finished: the queued quit then ends exec() at once
    QCoreApplication::exec();
    return loop.exitCode();
}

ExitCode CliCommands::alertTest()
{
    const auto loaded = AlertsConfig::load(m_options.service.alertsConfig);
    if (!loaded.config) {
        printError(QStringLiteral("%1: %2").arg(m_options.service.alertsConfig, loaded.error));
        return ExitCode::Usage;
    }
    if (loaded.config->channels.empty()) {
        printError(QStringLiteral("%1 names no channel").arg(m_options.service.alertsConfig));
        return ExitCode::Usage;
    }
    const QStringList errors =
        AlertSender::tryEach(loaded.config->channels, AlertMessage::test(QDateTime::currentDateTimeUtc(),
                                                                         QSysInfo::machineHostName()));
    ExitCode code = ExitCode::Ok;
    for (std::size_t i = 0; i < loaded.config->channels.size(); ++i) {
        const QString &error = errors.at(static_cast<qsizetype>(i));
        printOut(QStringLiteral("%1: %2\n")
                     .arg(loaded.config->channels[i].name, error.isEmpty() ? QStringLiteral("sent") : error));
        if (!error.isEmpty())
            code = ExitCode::Device;
    }
    return code;
}
