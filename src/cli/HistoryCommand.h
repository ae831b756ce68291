#pragma once

#include "CommandLine.h"
#include "ExitCode.h"

#include <QString>
#include <functional>

// `calidorctl history`: the history serve keeps, read straight from its
// file (read-only, while serve writes), and `history import FILE`, which
// adds an old watch log to it.
class HistoryCommand
{
public:
    using Print = std::function<void(const QString &text)>;

    HistoryCommand(const CliOptions &options, Print out, Print error);
    ExitCode run();

private:
    ExitCode show();
    ExitCode import();

    const CliOptions &m_options;
    Print m_out, m_error;
};
