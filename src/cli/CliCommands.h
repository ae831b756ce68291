#pragma once

#include "CommandLine.h"
#include "ExitCode.h"
#include "HidTransport.h"

#include <QString>
#include <memory>

// The commands over a transport, and the alert test. Output goes to standard output, one
// line per error to standard error, prefixed with the program's name.
class CliCommands
{
public:
    CliCommands(const CliOptions &options, std::shared_ptr<HidTransport> transport);

    ExitCode run();

    static void printOut(const QString &text);
    static void printError(const QString &line);

private:
    ExitCode list();
    ExitCode read();
    ExitCode set();
    ExitCode watch();
    ExitCode alertTest();

    const CliOptions &m_options;
    std::shared_ptr<HidTransport> m_transport;
};
