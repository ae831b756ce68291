// calidorctl: the thermostat from the command line. Only wiring here.
#include "CliCommands.h"
#include "CommandLine.h"
#include "HashPasswordCommand.h"
#include "HidrawTransport.h"
#include "ServeCommand.h"
#include "ServiceClock.h"
#include "Simulation.h"

#include <QCoreApplication>
#include <QProcessEnvironment>
#include <cstdio>
#include <memory>
#include <unistd.h>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("calidorctl"));
    QCoreApplication::setApplicationVersion(QStringLiteral(CALIDOR_VERSION));

    const CommandLine::Result parsed = CommandLine::parse(QCoreApplication::arguments().mid(1));
    if (!parsed.error.isEmpty()) {
        CliCommands::printError(parsed.error + QStringLiteral(" (see calidorctl --help)"));
        return toInt(ExitCode::Usage);
    }
    CliOptions options = parsed.options;
    if (options.help) {
        CliCommands::printOut(CommandLine::usage());
        return toInt(ExitCode::Ok);
    }
    if (options.version) {
        CliCommands::printOut(QStringLiteral("calidorctl %1\n").arg(QCoreApplication::applicationVersion()));
        return toInt(ExitCode::Ok);
    }

    if (options.command == Command::HashPassword)
        return toInt(HashPasswordCommand::run(stdin, stdout, stderr));

    std::unique_ptr<Simulation> simulation;
    std::shared_ptr<HidTransport> transport;
    if (options.simulate) {
        simulation = std::make_unique<Simulation>(QProcessEnvironment::systemEnvironment());
        transport = simulation->transport();
        // The virtual thermostats are those of this state file: notices of
        // `set` concern only the services that share it.
        options.service.noticeScope = Simulation::stateFile(QProcessEnvironment::systemEnvironment());
        QString error;
        if (!ServiceClock::simulateFrom(QProcessEnvironment::systemEnvironment(), &error)) {
            CliCommands::printError(error);
            return toInt(ExitCode::Usage);
        }
    } else {
        transport = std::make_shared<HidrawTransport>();
    }

    ExitCode code = ExitCode::Ok;
    if (options.command == Command::Serve) {
        ServeCommand serve(options.service, transport, &CliCommands::printError);
        // What the service writes to a virtual thermostat is there for the
        // next command, as after `set`.
        if (simulation)
            QObject::connect(&serve.fleet(), &Fleet::configured, simulation.get(), [&simulation] {
                QString ignored;
                simulation->save(&ignored);
            });
        code = serve.run();
        if (serve.fleet().abandoned()) {
            // A worker is still inside a transfer nothing can cut short: end
            // now, without the destructors it may be using.
            QString error;
            if (simulation)
                simulation->save(&error);
            std::fflush(stdout);
            std::fflush(stderr);
            ::_exit(toInt(code));
        }
    } else {
        code = CliCommands(options, transport).run();
    }
    QString error;
    if (simulation && !simulation->save(&error)) {
        CliCommands::printError(
            QStringLiteral("cannot keep the simulated thermostat's settings in %1: %2")
                .arg(Simulation::stateFile(QProcessEnvironment::systemEnvironment()), error));
        if (code == ExitCode::Ok)
            code = ExitCode::Device;
    }
    return toInt(code);
}
