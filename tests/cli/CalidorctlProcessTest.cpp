// calidorctl run as a process against its virtual thermostat, the way a
// script or a service runs it. Each test has its own runtime folder, so the
// simulated thermostat's kept settings never leak between tests.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <cctype>
#include <csignal>
#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace {

const QRegularExpression
    kIsoTime(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}[+-]\\d\\d:\\d\\d$"));

struct Outcome
{
    int exitCode = -1;
    QString out;
    QString err;
};

class Calidorctl : public ::testing::Test
{
protected:
    QProcessEnvironment environment(const QStringList &extra) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const QString &key : env.keys())
            if (key.startsWith(QLatin1String("CALIDORCTL_")))
                env.remove(key);
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        env.insert(QStringLiteral("XDG_STATE_HOME"), runtime.path());
        for (const QString &pair : extra)
            env.insert(pair.section(QLatin1Char('='), 0, 0), pair.section(QLatin1Char('='), 1));
        return env;
    }

    std::unique_ptr<QProcess> start(const QStringList &arguments, const QStringList &extra = {}) const
    {
        auto p = std::make_unique<QProcess>();
        p->setProcessEnvironment(environment(extra));
        p->start(QStringLiteral(CALIDORCTL_PATH), arguments);
        EXPECT_TRUE(p->waitForStarted(10000));
        return p;
    }

    Outcome run(const QStringList &arguments, const QStringList &extra = {}) const
    {
        auto p = start(arguments, extra);
        EXPECT_TRUE(p->waitForFinished(30000)) << arguments.join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(p->exitStatus(), QProcess::NormalExit);
        return {p->exitCode(), QString::fromUtf8(p->readAllStandardOutput()),
                QString::fromUtf8(p->readAllStandardError())};
    }

    QJsonObject readJson() const
    {
        const Outcome r =
            run({QStringLiteral("--simulate"), QStringLiteral("read"), QStringLiteral("--format=json")});
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        return QJsonDocument::fromJson(r.out.toUtf8()).object();
    }

    QString path(const char *name) const { return runtime.filePath(QString::fromUtf8(name)); }

    QTemporaryDir runtime;
};

// Every error is one line starting with the program's name.
void expectOneErrorLine(const Outcome &r, const char *piece)
{
    EXPECT_TRUE(r.err.startsWith(QLatin1String("calidorctl: "))) << r.err.toStdString();
    EXPECT_EQ(r.err.count(QLatin1Char('\n')), 1) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QString::fromUtf8(piece))) << r.err.toStdString();
}

QStringList lines(const QString &text)
{
    return text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

struct Failing
{
    const char *line;
    const char *environment; // one VAR=value, or empty
    int exitCode;
    const char *said;
};

class CalidorctlFails : public Calidorctl, public ::testing::WithParamInterface<Failing>
{
};

// The command line and its environment in letters, digits and underscores:
// the same name on every run, unlike the bytes of the case's pointers.
std::string failingName(const ::testing::TestParamInfo<Failing> &info)
{
    std::string name;
    for (const char *part : {info.param.line, info.param.environment}) {
        for (const char *c = part; *c; ++c) {
            if (std::isalnum(static_cast<unsigned char>(*c)))
                name += *c;
            else if (!name.empty() && name.back() != '_')
                name += '_';
        }
        if (!name.empty() && name.back() != '_')
            name += '_';
    }
    while (!name.empty() && name.back() == '_')
        name.pop_back();
    return name.empty() ? "no_arguments" : name;
}

TEST_P(CalidorctlFails, WithItsExitCodeAndOneLine)
{
    const Failing &f = GetParam();
    const QStringList extra = *f.environment ? QStringList{QString::fromUtf8(f.environment)} : QStringList{};
    const Outcome r = run(QString::fromUtf8(f.line).split(QLatin1Char(' '), Qt::SkipEmptyParts), extra);
    EXPECT_EQ(r.exitCode, f.exitCode) << f.line << " said " << r.err.toStdString();
    expectOneErrorLine(r, f.said);
    // Nothing was written: the thermostat still holds its factory settings.
    const QJsonObject o = readJson();
    EXPECT_DOUBLE_EQ(o.value(QStringLiteral("tl_celsius")).toDouble(), 18.0) << f.line;
    EXPECT_DOUBLE_EQ(o.value(QStringLiteral("th_celsius")).toDouble(), 22.0) << f.line;
    EXPECT_EQ(o.value(QStringLiteral("relay_mode")).toString(), QStringLiteral("A")) << f.line;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, CalidorctlFails,
    ::testing::Values(
        Failing{"", "", 2, "no command"}, Failing{"--simulate frobnicate", "", 2, "unknown command"},
        Failing{"--simulate read --colour", "", 2, "unknown option --colour"},
        Failing{"--simulate watch --interval 50ms", "", 2, "shortest"},
        Failing{"--simulate read --format xml", "", 2, "xml"},
        Failing{"--simulate set --tl 5 --format json", "", 2, "does not go with set"},
        Failing{"--simulate set --tl 1.25", "", 3, "more than one decimal"},
        Failing{"--simulate set --th 125.1", "", 3, "range"},
        Failing{"--simulate set --tl=-55.5 --th 0", "", 3, "range"},
        Failing{"--simulate set --tl abc", "", 3, "not a temperature"},
        Failing{"--simulate set --tl 20 --th 10", "", 3, "strictly below TH"},
        Failing{"--simulate set --tl 22", "", 3, "strictly below TH"},
        Failing{"--simulate set --mode C --tl 1", "", 3, "relay mode"},
        Failing{"--simulate read", "CALIDORCTL_SIMULATE_THERMOSTATS=2", 2,
                "1 SIM0001 (virtual:1), 2 SIM0002 (virtual:2)"},
        Failing{"--simulate read --device 3", "CALIDORCTL_SIMULATE_THERMOSTATS=2", 1,
                "no thermostat at position 3"},
        Failing{"--simulate read --device /dev/hidraw99", "", 1, "/dev/hidraw99 is not a thermostat"},
        Failing{"--simulate read", "CALIDORCTL_SIMULATE_OPEN_FAILS=1", 1, "cannot open virtual:1"},
        Failing{"--simulate read", "CALIDORCTL_SIMULATE_STALL=1", 1, "did not answer within 2000 ms"},
        Failing{"--simulate set --tl 10", "CALIDORCTL_SIMULATE_FAIL_WRITES=1", 1, "failed while writing"}),
    failingName);

TEST_F(Calidorctl, ListsThermostatsWithPositionIdNodeProductAndSerial)
{
    const Outcome r = run({QStringLiteral("list"), QStringLiteral("--simulate")},
                          {QStringLiteral("CALIDORCTL_SIMULATE_THERMOSTATS=2")});
    EXPECT_EQ(r.exitCode, 0);
    const QStringList rows = lines(r.out);
    ASSERT_EQ(rows.size(), 2);
    for (int i = 0; i < 2; ++i) {
        const QStringList f = rows[i].split(QLatin1Char('\t'));
        ASSERT_EQ(f.size(), 5) << rows[i].toStdString();
        EXPECT_EQ(f[0], QString::number(i + 1));
        EXPECT_EQ(f[1], QStringLiteral("SIM000%1").arg(i + 1));
        EXPECT_EQ(f[2], QStringLiteral("virtual:%1").arg(i + 1));
        EXPECT_TRUE(f[3].startsWith(QLatin1String("Calidor QN52-W")));
        EXPECT_EQ(f[4], f[1]);
    }
    const Outcome second = run({QStringLiteral("--simulate"), QStringLiteral("--device=SIM0002"),
                                QStringLiteral("read"), QStringLiteral("--format"), QStringLiteral("csv")},
                               {QStringLiteral("CALIDORCTL_SIMULATE_THERMOSTATS=2")});
    EXPECT_EQ(second.exitCode, 0) << second.err.toStdString();
    EXPECT_TRUE(lines(second.out).value(1).startsWith(QLatin1String("SIM0002,virtual:2,")));
}

TEST_F(Calidorctl, ReadsInEveryFormat)
{
    const struct
    {
        const char *format;
        int lineCount;
        const char *start; // how the output begins
        const char *piece; // and something it holds
    } rows[] = {{"text", 9, "id:           SIM0001\ndevice:       virtual:1\n", "temperature:  20"},
                {"json", 1, "{\"id\":\"SIM0001\",\"device\":\"virtual:1\",", "\"relay_mode\":\"A\""},
                // one reading has no time stamp, so no such column
                {"csv", 2,
                 "id,device,temperature_celsius,tl_celsius,th_celsius,relay_contact,relay_mode,"
                 "probe_status,probe_status_text,boot_status\nSIM0001,virtual:1,",
                 ",C-NC,A,0,probe working,0\n"},
                // eight metrics, each with HELP, TYPE and one sample
                {"prometheus", 24, "# HELP calidor_up ", "calidor_up{id=\"SIM0001\"} 1"}};
    for (const auto &row : rows) {
        const Outcome r = run({QStringLiteral("--simulate"), QStringLiteral("read"),
                               QStringLiteral("--format"), QString::fromUtf8(row.format)});
        EXPECT_EQ(r.exitCode, 0) << row.format;
        EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
        EXPECT_EQ(lines(r.out).size(), row.lineCount) << r.out.toStdString();
        EXPECT_TRUE(r.out.startsWith(QString::fromUtf8(row.start))) << r.out.toStdString();
        EXPECT_TRUE(r.out.contains(QString::fromUtf8(row.piece))) << r.out.toStdString();
    }
    EXPECT_EQ(readJson().value(QStringLiteral("probe_status")).toInt(-1), 0);
}

TEST_F(Calidorctl, SetWritesReadsBackAndKeepsTheSettingsForTheNextRun)
{
    Outcome r = run({QStringLiteral("--simulate"), QStringLiteral("set"), QStringLiteral("--tl"),
                     QStringLiteral("-12.5"), QStringLiteral("--th=20,5"), QStringLiteral("--mode"),
                     QStringLiteral("B")});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QLatin1String("read back")));
    QJsonObject o = readJson();
    EXPECT_DOUBLE_EQ(o.value(QStringLiteral("tl_celsius")).toDouble(), -12.5);
    EXPECT_DOUBLE_EQ(o.value(QStringLiteral("th_celsius")).toDouble(), 20.5);
    EXPECT_EQ(o.value(QStringLiteral("relay_mode")).toString(), QStringLiteral("B"));

    // Options not given keep what the thermostat holds.
    r = run(
        {QStringLiteral("--simulate"), QStringLiteral("set"), QStringLiteral("--th"), QStringLiteral("+30")});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    o = readJson();
    EXPECT_DOUBLE_EQ(o.value(QStringLiteral("tl_celsius")).toDouble(), -12.5);
    EXPECT_DOUBLE_EQ(o.value(QStringLiteral("th_celsius")).toDouble(), 30.0);
    EXPECT_EQ(o.value(QStringLiteral("relay_mode")).toString(), QStringLiteral("B"));
}

TEST_F(Calidorctl, DryRunShowsReportBAndWritesNothing)
{
    const Outcome r = run({QStringLiteral("--simulate"), QStringLiteral("set"), QStringLiteral("--tl"),
                           QStringLiteral("-12.5"), QStringLiteral("--dry-run")});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    // Report 2, TL -125 and TH 220 as 16-bit little-endian, mode A, 200, 201.
    EXPECT_TRUE(r.out.contains(QLatin1String("report B bytes: 02 83 FF DC 00 41 C8 C9")))
        << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(QLatin1String("OutTempLowVar   = 0xFF83"))) << r.out.toStdString();
    EXPECT_DOUBLE_EQ(readJson().value(QStringLiteral("tl_celsius")).toDouble(), 18.0);
    EXPECT_FALSE(QFile::exists(path("calidorctl-simulate.state")));
}

TEST_F(Calidorctl, WatchWritesTimestampedRowsAndTheCsvHeaderOnce)
{
    const QString log = path("temps.csv");
    for (int round = 0; round < 2; ++round) {
        const Outcome r =
            run({QStringLiteral("--simulate"), QStringLiteral("watch"), QStringLiteral("--count"),
                 QStringLiteral("5"), QStringLiteral("--interval"), QStringLiteral("100ms"),
                 QStringLiteral("--format"), QStringLiteral("csv"), QStringLiteral("--output"), log});
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty());
    }
    QFile file(log);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QStringList rows = lines(QString::fromUtf8(file.readAll()));
    ASSERT_EQ(rows.size(), 11); // one header, then both runs appended
    EXPECT_TRUE(rows[0].startsWith(QLatin1String("timestamp,")));
    QString previous;
    for (int i = 1; i < rows.size(); ++i) {
        const QString stamp = rows[i].section(QLatin1Char(','), 0, 0);
        EXPECT_TRUE(kIsoTime.match(stamp).hasMatch()) << stamp.toStdString();
        EXPECT_GT(stamp, previous);
        EXPECT_EQ(rows[i].count(QLatin1Char(',')), rows[0].count(QLatin1Char(',')));
        previous = stamp;
    }

    const Outcome json =
        run({QStringLiteral("--simulate"), QStringLiteral("watch"), QStringLiteral("--count=5"),
             QStringLiteral("--interval=100ms"), QStringLiteral("--format=json")});
    EXPECT_EQ(json.exitCode, 0);
    ASSERT_EQ(lines(json.out).size(), 5);
    for (const QString &row : lines(json.out))
        EXPECT_TRUE(kIsoTime
                        .match(QJsonDocument::fromJson(row.toUtf8())
                                   .object()
                                   .value(QStringLiteral("timestamp"))
                                   .toString())
                        .hasMatch())
            << row.toStdString();
}

TEST_F(Calidorctl, WatchGoesOnAcrossAnUnplugAndSaysSoOnce)
{
    const Outcome r = run({QStringLiteral("--simulate"), QStringLiteral("watch"), QStringLiteral("--count"),
                           QStringLiteral("5"), QStringLiteral("--interval"), QStringLiteral("100ms"),
                           QStringLiteral("--format"), QStringLiteral("json")},
                          {QStringLiteral("CALIDORCTL_SIMULATE_UNPLUG_AFTER=2"),
                           QStringLiteral("CALIDORCTL_SIMULATE_REPLUG_AFTER=400")});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QStringList rows = lines(r.out);
    ASSERT_EQ(rows.size(), 5);
    QStringList devices;
    QStringList ids;
    for (const QString &row : rows) {
        const QJsonObject o = QJsonDocument::fromJson(row.toUtf8()).object();
        devices << o.value(QStringLiteral("device")).toString();
        ids << o.value(QStringLiteral("id")).toString();
    }
    EXPECT_EQ(devices, (QStringList{QStringLiteral("virtual:1"), QStringLiteral("virtual:1"),
                                    QStringLiteral("virtual:2"), QStringLiteral("virtual:2"),
                                    QStringLiteral("virtual:2")}));
    // The node changes with the replug, the id does not.
    EXPECT_EQ(ids, QStringList(5, QStringLiteral("SIM0001")));
    const QStringList said = lines(r.err);
    ASSERT_EQ(said.size(), 2) << r.err.toStdString();
    EXPECT_TRUE(said[0].startsWith(QLatin1String("calidorctl: virtual:1 vanished")));
    EXPECT_EQ(said[1], QStringLiteral("calidorctl: thermostat back on virtual:2"));
}

QByteArray waitForContent(const QString &file, const QByteArray &piece)
{
    QElapsedTimer waited;
    waited.start();
    while (!waited.hasExpired(10000)) {
        QFile f(file);
        if (f.open(QIODevice::ReadOnly)) {
            const QByteArray content = f.readAll();
            if (content.contains(piece))
                return content;
        }
        QThread::msleep(20);
    }
    return {};
}

TEST_F(Calidorctl, PrometheusFileShowsTheThermostatDownWhileUnplugged)
{
    const QString prom = path("calidor.prom");
    auto p = start({QStringLiteral("--simulate"), QStringLiteral("watch"), QStringLiteral("--interval=100ms"),
                    QStringLiteral("--format=prometheus"), QStringLiteral("--output"), prom},
                   {QStringLiteral("CALIDORCTL_SIMULATE_UNPLUG_AFTER=1")});
    EXPECT_FALSE(waitForContent(prom, "calidor_up{id=\"SIM0001\"} 1").isEmpty());
    const QByteArray down = waitForContent(prom, "calidor_up{id=\"SIM0001\"} 0");
    EXPECT_FALSE(down.isEmpty());
    EXPECT_FALSE(down.contains("calidor_temperature_celsius"));
    p->terminate();
    ASSERT_TRUE(p->waitForFinished(10000));
    EXPECT_EQ(p->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p->exitCode(), 0);
    EXPECT_EQ(lines(QString::fromUtf8(p->readAllStandardError())).size(), 1);
}

TEST_F(Calidorctl, AReaderNeverSeesAPartialPrometheusFile)
{
    const QString prom = path("calidor.prom");
    auto p = start({QStringLiteral("--simulate"), QStringLiteral("watch"), QStringLiteral("--interval=100ms"),
                    QStringLiteral("--format=prometheus"), QStringLiteral("--output=") + prom});
    ASSERT_FALSE(waitForContent(prom, "calidor_up").isEmpty());
    int complete = 0;
    QElapsedTimer reading;
    reading.start();
    while (!reading.hasExpired(1500)) {
        QFile f(prom);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)); // replaced, never missing
        const QByteArray content = f.readAll();
        EXPECT_TRUE(content.startsWith("# reading at ")) << content.constData();
        EXPECT_TRUE(content.endsWith("\n"));
        EXPECT_TRUE(content.contains("calidor_up{id=\"SIM0001\"} 1\n"));
        EXPECT_TRUE(content.contains("\ncalidor_boot_status{id=\"SIM0001\"} ")) << content.constData();
        ++complete;
    }
    p->terminate();
    ASSERT_TRUE(p->waitForFinished(10000));
    EXPECT_EQ(p->exitCode(), 0);
    EXPECT_GT(complete, 10);
}

class CalidorctlStopped : public Calidorctl, public ::testing::WithParamInterface<int>
{
};

TEST_P(CalidorctlStopped, EndsCleanlyWithACompleteLastRow)
{
    auto p = start({QStringLiteral("--simulate"), QStringLiteral("watch"), QStringLiteral("--interval"),
                    QStringLiteral("100ms"), QStringLiteral("--format"), QStringLiteral("csv")});
    QByteArray out;
    QElapsedTimer waited;
    waited.start();
    while (out.count('\n') < 4 && !waited.hasExpired(10000)) {
        p->waitForReadyRead(200);
        out += p->readAllStandardOutput();
    }
    ASSERT_GE(out.count('\n'), 4);
    ::kill(static_cast<pid_t>(p->processId()), GetParam());
    ASSERT_TRUE(p->waitForFinished(10000));
    out += p->readAllStandardOutput();
    EXPECT_EQ(p->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p->exitCode(), 0);
    EXPECT_TRUE(p->readAllStandardError().isEmpty());
    EXPECT_TRUE(out.endsWith('\n'));
    const QStringList rows = lines(QString::fromUtf8(out));
    for (const QString &row : rows)
        EXPECT_EQ(row.count(QLatin1Char(',')), rows.first().count(QLatin1Char(','))) << row.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Signals, CalidorctlStopped, ::testing::Values(SIGTERM, SIGINT),
                         [](const ::testing::TestParamInfo<int> &info) {
                             return std::string(info.param == SIGTERM ? "SIGTERM" : "SIGINT");
                         });

TEST_F(Calidorctl, HelpAndVersionAnswerWithoutADevice)
{
    const Outcome help = run({QStringLiteral("--help")});
    EXPECT_EQ(help.exitCode, 0);
    for (const char *word : {"list", "read", "watch", "set", "--simulate", "--device", "--format",
                             "--interval", "--count", "--output", "--tl", "--th", "--mode", "--dry-run"})
        EXPECT_TRUE(help.out.contains(QLatin1String(word))) << word;
    const Outcome version = run({QStringLiteral("--version")});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, QStringLiteral("calidorctl %1\n").arg(QStringLiteral(CALIDOR_VERSION)));
}

TEST_F(Calidorctl, NeedsNoDisplayLibraries)
{
    QProcess readelf;
    readelf.start(QStringLiteral("readelf"), {QStringLiteral("-d"), QStringLiteral(CALIDORCTL_PATH)});
    ASSERT_TRUE(readelf.waitForFinished(30000));
    const QString needed = QString::fromUtf8(readelf.readAllStandardOutput());
    ASSERT_TRUE(needed.contains(QLatin1String("libQt6Core"))) << needed.toStdString();
    EXPECT_FALSE(needed.contains(QLatin1String("libQt6Gui")));
    EXPECT_FALSE(needed.contains(QLatin1String("libQt6Widgets")));
}

} // namespace
