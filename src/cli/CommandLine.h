#pragma once

#include "ReadingFormat.h"
#include "ServiceSettings.h"
#include "ValueParser.h"

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

enum class Command { None, List, Read, Watch, Set, Serve, History, HashPassword, AlertTest, Schedule };

// Everything the command line asked for. The thermostat values of `set` are
// kept as typed: they are checked by the command, which refuses them with
// its own exit code.
struct CliOptions
{
    Command command = Command::None;
    bool help = false;
    bool version = false;
    bool simulate = false;
    QString device; // a position in `list` ("2") or a hidraw node; empty: the only one
    OutputFormat format = OutputFormat::Text;
    std::int64_t intervalMs = 1000;
    std::int64_t count = 0; // 0: until stopped
    QString output;         // empty: standard output
    std::optional<QString> tl;
    std::optional<QString> th;
    std::optional<QString> mode;
    bool dryRun = false;
    ServiceSettings service; // serve's own options; its interval is `intervalMs`
    // `history`: reads service.historyPath; `history import FILE` fills importFile.
    QString from, to, points;
    QString importFile;
    // `schedule show|set FILE|clear|pause|resume`: on the history's file.
    QString scheduleAction;
    QString scheduleFile;
};

// Long options as `--name value` or `--name=value`, anywhere around the
// command; `--` ends the options. An error is one line without the program
// name.
class CommandLine
{
public:
    struct Result
    {
        CliOptions options;
        QString error; // empty when the line was understood
    };

    // `arguments` without the program name; `environment` gives the
    // history's default place.
    static Result parse(const QStringList &arguments,
                        const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment());

    static QString usage();
    static QString commandName(Command command);
};
