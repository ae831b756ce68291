#pragma once

#include "ValueParser.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

enum class Command { None, List, Read, Watch, Set, Serve, HashPassword };
enum class OutputFormat { Text, Json, Csv, Prometheus };

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
    ValueParser::ListenAddress listen{QLatin1String(ValueParser::kDefaultListenHost),
                                      ValueParser::kDefaultListenPort, false};
    // serve's MQTT bridge; off while `mqtt` is empty. The password never
    // comes from the command line.
    QString mqtt; // mqtt://[USER@]HOST[:PORT] or mqtts://...
    QString mqttCa;
    QString mqttPasswordFile;
    QString mqttClientId; // empty: calidor- and the host name
    QString topicPrefix = QStringLiteral("calidor");
    QString discoveryPrefix = QStringLiteral("homeassistant");
    bool noDiscovery = false;
    // serve's web dashboard: TLS and users, in the exporters' format; empty: open, read-only.
    QString webConfig;
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

    // `arguments` without the program name.
    static Result parse(const QStringList &arguments);

    static QString usage();
    static QString commandName(Command command);
};
