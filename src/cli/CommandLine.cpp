#include "CommandLine.h"

#include "HistoryInput.h"
#include "ValueParser.h"

#include <array>
#include <optional>
#include <vector>

namespace {

enum Allowed : unsigned {
    InList = 1u << 0,
    InRead = 1u << 1,
    InWatch = 1u << 2,
    InSet = 1u << 3,
    InServe = 1u << 4,
    InHistory = 1u << 5,
    InHashPassword = 1u << 6,
    InAlertTest = 1u << 7,
    InSchedule = 1u << 8,
    Anywhere =
        InList | InRead | InWatch | InSet | InServe | InHistory | InHashPassword | InAlertTest | InSchedule,
};

enum class Key {
    Help,
    Version,
    Simulate,
    Device,
    Format,
    Interval,
    Count,
    Output,
    Tl,
    Th,
    Mode,
    DryRun,
    Listen,
    Mqtt,
    MqttCa,
    MqttPasswordFile,
    MqttClientId,
    TopicPrefix,
    DiscoveryPrefix,
    NoDiscovery,
    History,
    NoHistory,
    HistoryDays,
    HistoryFlush,
    From,
    To,
    Points,
    WebConfig,
    AlertsConfig,
    RampMinutes,
    TrustClock,
};

struct OptionDef
{
    const char *name;
    Key key;
    bool takesValue;
    unsigned allowed;
};

const std::array<OptionDef, 31> kOptions{{
    {"help", Key::Help, false, Anywhere},
    {"version", Key::Version, false, Anywhere},
    {"simulate", Key::Simulate, false, Anywhere},
    {"device", Key::Device, true, InRead | InWatch | InSet | InHistory | InSchedule},
    {"format", Key::Format, true, InRead | InWatch | InHistory},
    {"interval", Key::Interval, true, InWatch | InServe},
    {"count", Key::Count, true, InWatch},
    {"output", Key::Output, true, InWatch},
    {"tl", Key::Tl, true, InSet},
    {"th", Key::Th, true, InSet},
    {"mode", Key::Mode, true, InSet},
    {"dry-run", Key::DryRun, false, InSet},
    {"listen", Key::Listen, true, InServe},
    {"mqtt", Key::Mqtt, true, InServe},
    {"mqtt-ca", Key::MqttCa, true, InServe},
    {"mqtt-password-file", Key::MqttPasswordFile, true, InServe},
    {"mqtt-client-id", Key::MqttClientId, true, InServe},
    {"topic-prefix", Key::TopicPrefix, true, InServe},
    {"discovery-prefix", Key::DiscoveryPrefix, true, InServe},
    {"no-discovery", Key::NoDiscovery, false, InServe},
    {"history", Key::History, true, InServe | InHistory | InSchedule},
    {"no-history", Key::NoHistory, false, InServe},
    {"history-days", Key::HistoryDays, true, InServe},
    {"history-flush", Key::HistoryFlush, true, InServe},
    {"from", Key::From, true, InHistory},
    {"to", Key::To, true, InHistory},
    {"points", Key::Points, true, InHistory},
    {"web-config", Key::WebConfig, true, InServe},
    {"alerts-config", Key::AlertsConfig, true, InServe | InAlertTest},
    {"ramp-minutes", Key::RampMinutes, true, InServe},
    {"trust-clock", Key::TrustClock, false, InServe},
}};

const OptionDef *findOption(const QString &name)
{
    for (const OptionDef &def : kOptions)
        if (name == QLatin1String(def.name))
            return &def;
    return nullptr;
}

unsigned bitOf(Command command)
{
    switch (command) {
    case Command::List:
        return InList;
    case Command::Read:
        return InRead;
    case Command::Watch:
        return InWatch;
    case Command::Set:
        return InSet;
    case Command::Serve:
        return InServe;
    case Command::History:
        return InHistory;
    case Command::HashPassword:
        return InHashPassword;
    case Command::AlertTest:
        return InAlertTest;
    case Command::Schedule:
        return InSchedule;
    case Command::None:
        break;
    }
    return 0;
}

std::optional<Command> commandNamed(const QString &word)
{
    for (Command c : {Command::List, Command::Read, Command::Watch, Command::Set, Command::Serve,
                      Command::History, Command::HashPassword, Command::Schedule})
        if (word == CommandLine::commandName(c))
            return c;
    return std::nullopt;
}

std::optional<OutputFormat> formatNamed(const QString &word)
{
    if (word == QLatin1String("text"))
        return OutputFormat::Text;
    if (word == QLatin1String("json"))
        return OutputFormat::Json;
    if (word == QLatin1String("csv"))
        return OutputFormat::Csv;
    if (word == QLatin1String("prometheus"))
        return OutputFormat::Prometheus;
    return std::nullopt;
}

// Applies one option with its value; answers an error or nothing.
QString apply(CliOptions &o, Key key, const QString &name, const QString &value)
{
    const auto failed = [&name](const QString &why) { return QStringLiteral("--%1: %2").arg(name, why); };
    switch (key) {
    case Key::Help:
        o.help = true;
        break;
    case Key::Version:
        o.version = true;
        break;
    case Key::Simulate:
        o.simulate = true;
        break;
    case Key::Device:
        if (value.isEmpty())
            return failed(QStringLiteral("a position in the list, an id or a hidraw node is needed"));
        o.device = value;
        break;
    case Key::Format:
        if (const auto format = formatNamed(value))
            o.format = *format;
        else
            return failed(QStringLiteral("\"%1\" is not one of text, json, csv, prometheus").arg(value));
        break;
    case Key::Interval: {
        const auto parsed = ValueParser::durationMs(value);
        if (!parsed.value)
            return failed(parsed.error);
        o.intervalMs = *parsed.value;
        break;
    }
    case Key::Count: {
        const auto parsed = ValueParser::count(value);
        if (!parsed.value)
            return failed(parsed.error);
        o.count = *parsed.value;
        break;
    }
    case Key::Output:
        if (value.isEmpty())
            return failed(QStringLiteral("a file name is needed"));
        o.output = value;
        break;
    case Key::Tl:
        o.tl = value;
        break;
    case Key::Th:
        o.th = value;
        break;
    case Key::Mode:
        o.mode = value;
        break;
    case Key::DryRun:
        o.dryRun = true;
        break;
    case Key::Listen: {
        const auto parsed = ValueParser::listenAddress(value);
        if (!parsed.value)
            return failed(parsed.error);
        o.service.listen = *parsed.value;
        break;
    }
    case Key::Mqtt:
        if (value.isEmpty())
            return failed(QStringLiteral("a broker address such as mqtt://HOST is needed"));
        o.service.mqtt = value;
        break;
    case Key::MqttCa:
    case Key::MqttPasswordFile:
        if (value.isEmpty())
            return failed(QStringLiteral("a file name is needed"));
        (key == Key::MqttCa ? o.service.mqttCa : o.service.mqttPasswordFile) = value;
        break;
    case Key::MqttClientId:
        if (value.isEmpty())
            return failed(QStringLiteral("a client id is needed"));
        o.service.mqttClientId = value;
        break;
    case Key::TopicPrefix:
        o.service.topicPrefix = value;
        break;
    case Key::DiscoveryPrefix:
        o.service.discoveryPrefix = value;
        break;
    case Key::NoDiscovery:
        o.service.noDiscovery = true;
        break;
    case Key::History:
        if (value.isEmpty())
            return failed(QStringLiteral("a file name is needed"));
        o.service.historyPath = value;
        break;
    case Key::NoHistory:
        o.service.historyPath.clear();
        break;
    case Key::HistoryDays: {
        bool ok = false;
        const int days = value.toInt(&ok);
        if (!ok || days < 1 || days > 36500)
            return failed(QStringLiteral("\"%1\" is not a number of days from 1 to 36500").arg(value));
        o.service.historyDays = days;
        break;
    }
    case Key::HistoryFlush: {
        const auto parsed = ValueParser::durationMs(value);
        if (!parsed.value)
            return failed(parsed.error);
        o.service.historyFlushMs = *parsed.value;
        break;
    }
    case Key::From:
        o.from = value;
        break;
    case Key::To:
        o.to = value;
        break;
    case Key::Points:
        o.points = value;
        break;
    case Key::WebConfig:
        if (value.isEmpty())
            return failed(QStringLiteral("a file name is needed"));
        o.service.webConfig = value;
        break;
    case Key::AlertsConfig:
        if (value.isEmpty())
            return failed(QStringLiteral("a file name is needed"));
        o.service.alertsConfig = value;
        break;
    case Key::RampMinutes: {
        bool ok = false;
        const int minutes = value.toInt(&ok);
        if (!ok || minutes < 1 || minutes > 1440)
            return failed(QStringLiteral("\"%1\" is not a number of minutes from 1 to 1440").arg(value));
        o.service.rampMinutes = minutes;
        break;
    }
    case Key::TrustClock:
        o.service.clockTrusted = true;
        break;
    }
    return {};
}

} // namespace

QString CommandLine::commandName(Command command)
{
    switch (command) {
    case Command::List:
        return QStringLiteral("list");
    case Command::Read:
        return QStringLiteral("read");
    case Command::Watch:
        return QStringLiteral("watch");
    case Command::Set:
        return QStringLiteral("set");
    case Command::Serve:
        return QStringLiteral("serve");
    case Command::History:
        return QStringLiteral("history");
    case Command::HashPassword:
        return QStringLiteral("hash-password");
    case Command::AlertTest:
        return QStringLiteral("alert test");
    case Command::Schedule:
        return QStringLiteral("schedule");
    case Command::None:
        break;
    }
    return {};
}

CommandLine::Result CommandLine::parse(const QStringList &arguments, const QProcessEnvironment &environment)
{
    Result result;
    CliOptions &o = result.options;
    o.service.historyPath = HistoryInput::defaultPath(environment);
    QStringList words;
    std::vector<std::pair<const OptionDef *, QString>> given; // checked against the command at the end

    bool optionsEnded = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &arg = arguments.at(i);
        if (optionsEnded || !arg.startsWith(QLatin1Char('-')) || arg == QLatin1String("-")) {
            words << arg;
            continue;
        }
        if (arg == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        if (arg == QLatin1String("-h")) {
            o.help = true;
            continue;
        }
        if (!arg.startsWith(QLatin1String("--"))) {
            result.error = QStringLiteral("unknown option %1").arg(arg);
            return result;
        }
        const qsizetype eq = arg.indexOf(QLatin1Char('='));
        const QString name = arg.mid(2, eq < 0 ? -1 : eq - 2);
        const OptionDef *def = findOption(name);
        if (!def) {
            result.error = QStringLiteral("unknown option --%1").arg(name);
            return result;
        }
        QString value;
        if (def->takesValue) {
            if (eq >= 0) {
                value = arg.mid(eq + 1);
            } else if (i + 1 < arguments.size()) {
                // Taken whatever it looks like, so "--tl -12.5" works.
                value = arguments.at(++i);
            } else {
                result.error = QStringLiteral("--%1 needs a value").arg(name);
                return result;
            }
        } else if (eq >= 0) {
            result.error = QStringLiteral("--%1 takes no value").arg(name);
            return result;
        }
        given.emplace_back(def, value);
    }

    // Help and version answer whatever else is on the line.
    for (const auto &[def, value] : given)
        if (def->key == Key::Help || def->key == Key::Version)
            apply(o, def->key, QLatin1String(def->name), value);
    if (o.help || o.version)
        return result;

    if (words.isEmpty()) {
        result.error = QStringLiteral(
            "no command given (list, read, watch, set, serve, history, schedule or hash-password)");
        return result;
    }
    auto command = commandNamed(words.first());
    // The one command of two words.
    if (words.first() == QLatin1String("alert")) {
        if (words.size() < 2 || words.at(1) != QLatin1String("test")) {
            result.error = QStringLiteral("alert needs what to do: alert test");
            return result;
        }
        command = Command::AlertTest;
        words.removeFirst();
    }
    if (!command) {
        result.error =
            QStringLiteral(
                "unknown command \"%1\" (list, read, watch, set, serve, history, schedule or hash-password)")
                .arg(words.first());
        return result;
    }
    o.command = *command;
    if (o.command == Command::History && words.size() > 1 && words.at(1) == QLatin1String("import")) {
        if (words.size() != 3) {
            result.error = QStringLiteral("history import needs one file: a log of watch --format csv");
            return result;
        }
        o.importFile = words.at(2);
        words = words.mid(0, 1);
    }
    if (o.command == Command::Schedule) {
        const QString action = words.value(1);
        const bool withFile = action == QLatin1String("set");
        if (!QStringList{QStringLiteral("show"), QStringLiteral("set"), QStringLiteral("clear"),
                         QStringLiteral("pause"), QStringLiteral("resume")}
                 .contains(action) ||
            words.size() != (withFile ? 3 : 2)) {
            result.error =
                QStringLiteral("schedule needs what to do: show, set FILE, clear, pause or resume");
            return result;
        }
        o.scheduleAction = action;
        o.scheduleFile = withFile ? words.at(2) : QString();
        words = words.mid(0, 1);
    }
    if (words.size() > 1) {
        result.error = QStringLiteral("unexpected argument \"%1\"").arg(words.at(1));
        return result;
    }

    for (const auto &[def, value] : given) {
        const QString name = QLatin1String(def->name);
        if (!(def->allowed & bitOf(o.command))) {
            result.error = QStringLiteral("--%1 does not go with %2").arg(name, commandName(o.command));
            return result;
        }
        const QString error = apply(o, def->key, name, value);
        if (!error.isEmpty()) {
            result.error = error;
            return result;
        }
    }
    // The bridge's other options mean nothing without a broker.
    if (o.service.mqtt.isEmpty())
        for (const auto &[def, value] : given)
            if (QByteArray(def->name).startsWith("mqtt-") || def->key == Key::TopicPrefix ||
                def->key == Key::DiscoveryPrefix || def->key == Key::NoDiscovery) {
                result.error = QStringLiteral("--%1 needs --mqtt").arg(QLatin1String(def->name));
                return result;
            }
    bool noHistory = false;
    for (const auto &[def, value] : given)
        noHistory = noHistory || def->key == Key::NoHistory;
    // --no-history wins, so that it turns off the history a unit's --history keeps.
    if (noHistory)
        o.service.historyPath.clear();
    if (o.command == Command::History) {
        if (o.format != OutputFormat::Json && o.format != OutputFormat::Csv) {
            bool formatGiven = false;
            for (const auto &[def, value] : given)
                formatGiven = formatGiven || def->key == Key::Format;
            if (formatGiven) {
                result.error = QStringLiteral("--format: history gives csv or json");
                return result;
            }
            o.format = OutputFormat::Csv;
        }
        if (!o.importFile.isEmpty() &&
            (!o.device.isEmpty() || !o.from.isEmpty() || !o.to.isEmpty() || !o.points.isEmpty())) {
            result.error = QStringLiteral("history import takes only --history");
            return result;
        }
    }
    o.service.intervalMs = o.intervalMs;
    o.service.clockTrusted = o.service.clockTrusted || o.simulate;
    if (o.command == Command::Schedule && o.device.isEmpty()) {
        result.error = QStringLiteral("schedule needs --device ID, the stable id `list` shows");
        return result;
    }
    if (o.command == Command::AlertTest && o.service.alertsConfig.isEmpty()) {
        result.error = QStringLiteral("alert test needs --alerts-config FILE");
        return result;
    }
    if (o.command == Command::Set && !o.tl && !o.th && !o.mode) {
        result.error = QStringLiteral("set needs at least one of --tl, --th, --mode");
        return result;
    }
    return result;
}

QString CommandLine::usage()
{
    return QStringLiteral("Usage: calidorctl [--simulate] [--device N|ID|PATH] COMMAND [OPTIONS]\n"
                          "\n"
                          "Reads, logs and configures Calidor QN52-W USB thermostats.\n"
                          "\n"
                          "Commands:\n"
                          "  list                       one line per thermostat: position, stable id,\n"
                          "                             hidraw node, product, serial number\n"
                          "  read [--format F]          one reading of the thermostat\n"
                          "  watch [--interval D] [--count N] [--format F] [--output FILE]\n"
                          "                             a timestamped reading every interval\n"
                          "  set [--tl VALUE] [--th VALUE] [--mode A|B] [--dry-run]\n"
                          "                             writes the thresholds and the relay mode, then\n"
                          "                             checks them by reading them back\n"
                          "  serve [--listen ADDR:PORT] [--interval D] [--web-config FILE]\n"
                          "                             reads every thermostat, now and later plugged in,\n"
                          "                             and serves them over HTTP: a web dashboard at /,\n"
                          "                             the metrics for Prometheus at /metrics; keeps\n"
                          "                             their history\n"
                          "  hash-password              reads a password (without echo) and prints its\n"
                          "                             bcrypt hash, for the users of --web-config\n"
                          "  history [--device ID] [--from T] [--to T] [--points N] [--format csv|json]\n"
                          "                             the history serve keeps, read from its file\n"
                          "  history import FILE        adds a log of watch --format csv to the history\n"
                          "  schedule show|set FILE|clear|pause|resume --device ID\n"
                          "                             a thermostat's schedule, in the history's file;\n"
                          "                             a running serve takes a change within seconds\n"
                          "  alert test --alerts-config FILE\n"
                          "                             sends a test alert to every channel of FILE\n"
                          "\n"
                          "Options:\n"
                          "  --simulate         use the virtual thermostat; it keeps what it was set to\n"
                          "                     between runs\n"
                          "  --device N|ID|PATH the thermostat at position N of `list`, its stable id\n"
                          "                     (serial number, or usb-PORT) or its hidraw node\n"
                          "  --format F         text, json, csv or prometheus (default: text)\n"
                          "  --interval D       time between readings: 500ms, 2s, 1m (default 1s, at least\n"
                          "                     100ms)\n"
                          "  --count N          stop after N readings (default: until interrupted)\n"
                          "  --output FILE      append the rows to FILE; with --format prometheus, replace\n"
                          "                     FILE atomically at every interval\n"
                          "  --tl VALUE         low threshold in °C, -55.0 to +125.0, one decimal at most\n"
                          "  --th VALUE         high threshold in °C, above TL\n"
                          "  --mode A|B         relay mode\n"
                          "  --dry-run          show what would be written, write nothing\n"
                          "  --listen ADDR:PORT where serve answers HTTP (default 127.0.0.1:9830; port 0:\n"
                          "                     a free one)\n"
                          "  --web-config FILE  serve's TLS certificate and users, in the YAML of the\n"
                          "                     Prometheus exporters (tls_server_config, basic_auth_users);\n"
                          "                     read again on SIGHUP. Without users nothing can be changed\n"
                          "                     from the web\n"
                          "  -h, --help         show this help\n"
                          "  --version          show the version\n"
                          "\n"
                          "MQTT bridge of serve (off without --mqtt):\n"
                          "  --mqtt URL         publish to and take commands from the broker at\n"
                          "                     mqtt://[USER@]HOST[:PORT] (1883) or mqtts://... (8883, TLS)\n"
                          "  --mqtt-ca FILE     the certificate authority of an mqtts:// broker\n"
                          "                     (default: the system's)\n"
                          "  --mqtt-password-file FILE\n"
                          "                     the broker password, first line of FILE (or the\n"
                          "                     environment variable CALIDOR_MQTT_PASSWORD)\n"
                          "  --mqtt-client-id ID  the MQTT client id (default: calidor-HOSTNAME)\n"
                          "  --topic-prefix P   the bridge's topics start with P/ (default: calidor)\n"
                          "  --discovery-prefix P  Home Assistant's discovery prefix (default:\n"
                          "                     homeassistant)\n"
                          "  --no-discovery     publish no Home Assistant discovery\n"
                          "\n"
                          "History of serve, and the history command:\n"
                          "  --history FILE     the history's SQLite file (default:\n"
                          "                     $XDG_STATE_HOME/calidor/history.sqlite)\n"
                          "  --no-history       keep no history, whatever --history says\n"
                          "  --history-days N   keep minute rows and events N days (default 400)\n"
                          "  --history-flush D  write to disk every D (default 1m); a power cut loses\n"
                          "                     at most that\n"
                          "  --from T, --to T   ISO 8601 or Unix time (default: the last day)\n"
                          "  --points N         at most N points, 1 to 5000 (default 1000)\n"
                          "  --ramp-minutes N   a schedule's ramp moves the thresholds at most every N\n"
                          "                     minutes (default 10)\n"
                          "  --trust-clock      apply schedules without asking whether the system clock\n"
                          "                     is synchronised (a machine whose clock is right from boot)\n"

                          "Alerts of serve (to the log only without --alerts-config):\n"
                          "  --alerts-config FILE  the alert rules and channels, JSON; the channels'\n"
                          "                     tokens are read from the files it names; a relative\n"
                          "                     FILE is a credential of the unit when run by systemd\n"
                          "\n"
                          "Exit status: 0 success, 1 device trouble, 2 usage error, 3 values refused.\n");
}
