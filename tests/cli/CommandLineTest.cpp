// The command line of calidorctl: options anywhere, both value forms, `--`,
// and the usage errors.
#include "CommandLine.h"

#include <gtest/gtest.h>

namespace {

QStringList split(const char *line)
{
    return QString::fromUtf8(line).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

struct Understood
{
    const char *line;
    Command command;
    const char *device;
    OutputFormat format;
    std::int64_t intervalMs;
    std::int64_t count;
    const char *output;
    const char *tl; // null: not given
    bool simulate;
};

class UnderstoodLine : public ::testing::TestWithParam<Understood>
{
};

TEST_P(UnderstoodLine, FillsTheOptions)
{
    const Understood &u = GetParam();
    const auto result = CommandLine::parse(split(u.line));
    ASSERT_TRUE(result.error.isEmpty()) << result.error.toStdString();
    const CliOptions &o = result.options;
    EXPECT_EQ(o.command, u.command);
    EXPECT_EQ(o.device, QString::fromUtf8(u.device));
    EXPECT_EQ(o.format, u.format);
    EXPECT_EQ(o.intervalMs, u.intervalMs);
    EXPECT_EQ(o.count, u.count);
    EXPECT_EQ(o.output, QString::fromUtf8(u.output));
    EXPECT_EQ(o.tl.has_value(), u.tl != nullptr);
    if (u.tl && o.tl) {
        EXPECT_EQ(*o.tl, QString::fromUtf8(u.tl));
    }
    EXPECT_EQ(o.simulate, u.simulate);
}

constexpr auto T = OutputFormat::Text;

INSTANTIATE_TEST_SUITE_P(
    Lines, UnderstoodLine,
    ::testing::Values(
        Understood{"list", Command::List, "", T, 1000, 0, "", nullptr, false},
        Understood{"read --simulate", Command::Read, "", T, 1000, 0, "", nullptr, true},
        Understood{"--simulate --device 2 read --format=json", Command::Read, "2", OutputFormat::Json, 1000,
                   0, "", nullptr, true},
        Understood{"read --device=/dev/hidraw3 --format csv", Command::Read, "/dev/hidraw3",
                   OutputFormat::Csv, 1000, 0, "", nullptr, false},
        Understood{"watch --interval 500ms --count=5 --format prometheus --output t.prom", Command::Watch, "",
                   OutputFormat::Prometheus, 500, 5, "t.prom", nullptr, false},
        Understood{"watch --interval=2s --interval 1m", Command::Watch, "", T, 60000, 0, "", nullptr, false},
        Understood{"set --tl -12.5 --th=20", Command::Set, "", T, 1000, 0, "", "-12.5", false},
        Understood{"set --tl=-3 -- ", Command::Set, "", T, 1000, 0, "", "-3", false}));

struct Refused
{
    const char *line;
    const char *error; // a piece of the message
};

class RefusedLine : public ::testing::TestWithParam<Refused>
{
};

TEST_P(RefusedLine, SaysWhatIsWrong)
{
    const auto result = CommandLine::parse(split(GetParam().line));
    EXPECT_TRUE(result.error.contains(QLatin1String(GetParam().error))) << result.error.toStdString();
    EXPECT_FALSE(result.error.contains(QLatin1Char('\n')));
}

INSTANTIATE_TEST_SUITE_P(
    Lines, RefusedLine,
    ::testing::Values(
        Refused{"", "no command"}, Refused{"--simulate", "no command"},
        Refused{"fetch", "unknown command \"fetch\""}, Refused{"read extra", "unexpected argument"},
        Refused{"read --colour", "unknown option --colour"}, Refused{"read -x", "unknown option -x"},
        Refused{"read --format", "needs a value"}, Refused{"read --format xml", "xml"},
        Refused{"read --simulate=yes", "takes no value"},
        Refused{"read --interval 1s", "--interval does not go with read"},
        Refused{"list --device 1", "--device does not go with list"},
        Refused{"set --format json --tl 1", "--format does not go with set"},
        Refused{"read --tl 5", "--tl does not go with read"}, Refused{"watch --interval 50ms", "shortest"},
        Refused{"watch --count 0", "number of readings"}, Refused{"watch --output=", "file name"},
        Refused{"set", "at least one of"}, Refused{"set --dry-run", "at least one of"},
        Refused{"-- --simulate", "unknown command"}, Refused{"serve --history=", "file name"},
        Refused{"serve --history-days 0", "number of days"},
        Refused{"serve --history-flush 10ms", "shortest"},
        Refused{"serve --from 1", "does not go with serve"},
        Refused{"read --history h.sqlite", "does not go with read"},
        Refused{"history --format text", "csv or json"}, Refused{"history import", "one file"},
        Refused{"history import a b", "one file"}, Refused{"history import a --device x", "only --history"},
        Refused{"history extra", "unexpected argument"},
        Refused{"alert", "alert needs what to do"},
        Refused{"alert send", "alert needs what to do"}, Refused{"alert test", "needs --alerts-config"},
        Refused{"alert test extra --alerts-config a", "unexpected argument \"extra\""},
        Refused{"read --alerts-config a", "--alerts-config does not go with read"},
        Refused{"serve --alerts-config=", "file name"}, Refused{"serve --ramp-minutes 0", "minutes from 1"},
        Refused{"serve --ramp-minutes 1441", "minutes from 1"}, Refused{"read --ramp-minutes 5", "does not go"},
        Refused{"set --tl 1 --trust-clock", "does not go with set"},
        Refused{"schedule --device A", "schedule needs what to do"},
        Refused{"schedule stop --device A", "schedule needs what to do"},
        Refused{"schedule set --device A", "schedule needs what to do"},
        Refused{"schedule show x --device A", "schedule needs what to do"},
        Refused{"schedule show", "needs --device"},
        Refused{"schedule pause --device A --format json", "does not go with schedule"}));

struct HistoryLine
{
    const char *line;
    const char *path;
    int days;
    std::int64_t flushMs;
    const char *from, *points, *importFile;
    OutputFormat format;
};

class HistoryOptions : public ::testing::TestWithParam<HistoryLine>
{
};

TEST_P(HistoryOptions, FillTheServiceAndTheCommand)
{
    const HistoryLine &h = GetParam();
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("HOME"), QStringLiteral("/home/u"));
    const auto result = CommandLine::parse(split(h.line), environment);
    ASSERT_TRUE(result.error.isEmpty()) << result.error.toStdString();
    const CliOptions &o = result.options;
    EXPECT_EQ(o.service.historyPath, QString::fromUtf8(h.path));
    EXPECT_EQ(o.service.historyDays, h.days);
    EXPECT_EQ(o.service.historyFlushMs, h.flushMs);
    EXPECT_EQ(o.from, QString::fromUtf8(h.from));
    EXPECT_EQ(o.points, QString::fromUtf8(h.points));
    EXPECT_EQ(o.importFile, QString::fromUtf8(h.importFile));
    EXPECT_EQ(o.format, h.format);
}

constexpr const char *kDefault = "/home/u/.local/state/calidor/history.sqlite";

INSTANTIATE_TEST_SUITE_P(
    Lines, HistoryOptions,
    ::testing::Values(
        HistoryLine{"serve", kDefault, 400, 60000, "", "", "", T},
        HistoryLine{"serve --no-history", "", 400, 60000, "", "", "", T},
        HistoryLine{"serve --no-history --history h.sqlite", "", 400, 60000, "", "", "", T},
        HistoryLine{"serve --history /var/lib/calidor/h.sqlite --history-days 30 --history-flush 5s",
                    "/var/lib/calidor/h.sqlite", 30, 5000, "", "", "", T},
        HistoryLine{"history --device SN1 --from 2024-05-01 --points 50", kDefault, 400, 60000, "2024-05-01",
                    "50", "", OutputFormat::Csv},
        HistoryLine{"history --format json --history h", "h", 400, 60000, "", "", "", OutputFormat::Json},
        HistoryLine{"history import old.csv", kDefault, 400, 60000, "", "", "old.csv", OutputFormat::Csv}));

TEST(CommandLine, TheHistoryLivesUnderXdgStateHomeWhenItIsAbsolute)
{
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("HOME"), QStringLiteral("/home/u"));
    environment.insert(QStringLiteral("XDG_STATE_HOME"), QStringLiteral("/srv/state"));
    EXPECT_EQ(CommandLine::parse({QStringLiteral("serve")}, environment).options.service.historyPath,
              QStringLiteral("/srv/state/calidor/history.sqlite"));
    environment.insert(QStringLiteral("XDG_STATE_HOME"), QStringLiteral("relative"));
    EXPECT_EQ(CommandLine::parse({QStringLiteral("serve")}, environment).options.service.historyPath,
              QString::fromUtf8(kDefault));
}

TEST(CommandLine, TakesTheAlertsFileForServeAndAlertTest)
{
    for (const auto &[line, command] :
         {std::pair{"serve --alerts-config /etc/calidor/alerts.json", Command::Serve},
          std::pair{"alert test --alerts-config=/etc/calidor/alerts.json", Command::AlertTest}}) {
        const auto result = CommandLine::parse(split(line));
        ASSERT_TRUE(result.error.isEmpty()) << result.error.toStdString();
        EXPECT_EQ(result.options.command, command);
        EXPECT_EQ(result.options.service.alertsConfig, QStringLiteral("/etc/calidor/alerts.json"));
    }
}

TEST(CommandLine, TakesTheSchedulesOptionsAndCommand)
{
    const auto serve = CommandLine::parse(split("serve --ramp-minutes 30")).options.service;
    EXPECT_EQ(serve.rampMinutes, 30);
    EXPECT_FALSE(serve.clockTrusted);
    EXPECT_TRUE(CommandLine::parse(split("serve --trust-clock")).options.service.clockTrusted);
    EXPECT_TRUE(CommandLine::parse(split("--simulate serve")).options.service.clockTrusted);
    const auto set = CommandLine::parse(split("schedule set plan.json --device SIM0001 --history h.sqlite"));
    ASSERT_TRUE(set.error.isEmpty()) << set.error.toStdString();
    EXPECT_EQ(set.options.command, Command::Schedule);
    EXPECT_EQ(set.options.scheduleAction, QStringLiteral("set"));
    EXPECT_EQ(set.options.scheduleFile, QStringLiteral("plan.json"));
    EXPECT_EQ(set.options.service.historyPath, QStringLiteral("h.sqlite"));
    EXPECT_EQ(CommandLine::parse(split("schedule resume --device=A")).options.scheduleAction,
              QStringLiteral("resume"));
}

TEST(CommandLine, HelpAndVersionAnswerWhateverElseIsThere)
{
    for (const char *line : {"--help", "-h", "read --help", "--version", "fetch --version"}) {
        const auto result = CommandLine::parse(split(line));
        EXPECT_TRUE(result.error.isEmpty()) << line;
        EXPECT_TRUE(result.options.help || result.options.version) << line;
    }
}

} // namespace
