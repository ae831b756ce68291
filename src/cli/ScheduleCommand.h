#pragma once

#include "CommandLine.h"
#include "ExitCode.h"

#include <QString>
#include <functional>

// `calidorctl schedule show|set FILE|clear|pause|resume --device ID`: a
// thermostat's schedule, straight in the history's file, whether serve runs
// or not; a running serve reads the change within seconds. `set` checks the
// file as the service does and refuses it whole.
class ScheduleCommand
{
public:
    using Print = std::function<void(const QString &text)>;

    ScheduleCommand(const CliOptions &options, Print out, Print error);
    ExitCode run();

private:
    const CliOptions &m_options;
    Print m_out, m_error;
};
