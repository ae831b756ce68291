// The executable: reads the command line, picks the transport, and hands
// over to the splash window, which brings up the main window.
#include "AppInfo.h"
#include "Form_main.h"
#include "Form_splash.h"
#include "HidAgent.h"
#include "HidrawTransport.h"
#include "Platform.h"
#include "ProcessMemory.h"
#include "Simulation.h"

#include <QApplication>
#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QProcessEnvironment>
#include <QStringList>
#include <cstdio>
#include <memory>

namespace {

QStringList argumentsOf(int argc, char **argv)
{
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    return args;
}

} // namespace

int main(int argc, char **argv)
{
    // The command line is read before any window system is touched, so
    // --help and --version work without a display.
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Calidor Configurator: reads and configures the Calidor QN52-W "
                       "USB thermostat."));
    const QCommandLineOption simulate(
        QStringLiteral("simulate"),
        QStringLiteral("Run against a virtual thermostat instead of a USB device."));
    const QCommandLineOption help(QStringLiteral("help"), QStringLiteral("Show this help and quit."));
    const QCommandLineOption version(QStringLiteral("version"), QStringLiteral("Show the version and quit."));
    parser.addOption(simulate);
    parser.addOption(help);
    parser.addOption(version);

    const QStringList args = argumentsOf(argc, argv);
    if (!parser.parse(args)) {
        std::fprintf(stderr, "calidor: %s\nTry 'calidor --help'.\n", qPrintable(parser.errorText()));
        return 2;
    }
    if (!parser.positionalArguments().isEmpty()) {
        std::fprintf(stderr, "calidor: unexpected argument '%s'\nTry 'calidor --help'.\n",
                     qPrintable(parser.positionalArguments().first()));
        return 2;
    }
    if (parser.isSet(help)) {
        std::fputs(qPrintable(QStringLiteral("Usage: calidor [--simulate] [--help] [--version]\n\n") +
                              parser.applicationDescription() + QStringLiteral("\n\n") +
                              parser.helpText().mid(parser.helpText().indexOf(QStringLiteral("Options:")))),
                   stdout);
        return 0;
    }
    if (parser.isSet(version)) {
        std::printf("%s %s\n", qPrintable(AppInfo::title()), qPrintable(AppInfo::versionText()));
        return 0;
    }

    ProcessMemory::returnLargeBlocksOnFree();
    QApplication app(argc, argv);
    QApplication::setApplicationName(AppInfo::title());
    QApplication::setApplicationVersion(AppInfo::versionText());

    // The virtual thermostat is the one calidorctl --simulate reads and sets.
    std::unique_ptr<Simulation> simulation;
    std::shared_ptr<HidTransport> transport;
    if (parser.isSet(simulate)) {
        simulation = std::make_unique<Simulation>(QProcessEnvironment::systemEnvironment());
        transport = simulation->transport();
    } else {
        transport = std::make_shared<HidrawTransport>();
    }
    const auto agent = std::make_shared<HidAgent>(transport);
    const Platform platform = Platform::qt();

    Form_splash::showSplash([&platform, &agent] {
        // The window deletes itself once closed; the program ends with its
        // last window.
        auto *window = new Form_main(platform, agent);
        window->setAttribute(Qt::WA_DeleteOnClose);
        if (!window->load()) {
            delete window;
            QCoreApplication::exit(0);
            return;
        }
        window->show();
    });
    return app.exec();
}
