// A reading decoded as the window decodes it, and written in the four
// formats scripts and monitoring parse.
#include "ReadingFormat.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTimeZone>
#include <gtest/gtest.h>

namespace {

const QStringList kFields{
    QStringLiteral("id"),         QStringLiteral("device"),       QStringLiteral("temperature_celsius"),
    QStringLiteral("tl_celsius"), QStringLiteral("th_celsius"),   QStringLiteral("relay_contact"),
    QStringLiteral("relay_mode"), QStringLiteral("probe_status"), QStringLiteral("probe_status_text"),
    QStringLiteral("boot_status")};

ThermoRaw raw(std::int32_t temp, std::int32_t low, std::int32_t high, std::int32_t relay, std::int32_t mode,
              std::int32_t probe, std::int32_t boot = 7)
{
    return ThermoRaw{temp, low, high, relay, mode, boot, probe};
}

struct Decoded
{
    ThermoRaw raw;
    std::int32_t temperature, low, high;
    const char *contact; // "" unknown
    const char *mode;
    const char *probe;
};

class Decoding : public ::testing::TestWithParam<Decoded>
{
};

TEST_P(Decoding, FollowsTheWindowsRules)
{
    const Decoded &d = GetParam();
    const Reading r = Reading::decode(d.raw, QStringLiteral("virtual:1"));
    EXPECT_EQ(r.temperature, d.temperature);
    EXPECT_EQ(r.low, d.low);
    EXPECT_EQ(r.high, d.high);
    EXPECT_EQ(r.contactText(), QString::fromUtf8(d.contact));
    EXPECT_EQ(r.modeText(), QString::fromUtf8(d.mode));
    EXPECT_EQ(Reading::probeMeaning(r.probeStatus), QString::fromUtf8(d.probe));
    EXPECT_EQ(r.bootStatus, 7);
}

INSTANTIATE_TEST_SUITE_P(
    Raw, Decoding,
    ::testing::Values(
        Decoded{raw(255, 65411, 1250, 1, 65, 0), 255, -125, 1250, "C-NO", "A", "probe working"},
        Decoded{raw(64986, 65535, 0, 0, 66, 1), -550, -1, 0, "C-NC", "B", "probe short-circuited"},
        Decoded{raw(1252, 200, 220, 2, 67, 2), 1252, 200, 220, "", "", "no probe connected"},
        Decoded{raw(-125, 0, 0, 0, 65, 3), -125, 0, 0, "C-NC", "A", "measurement failed its CRC check"},
        Decoded{raw(0, 0, 0, 0, 65, 4), 0, 0, 0, "C-NC", "A", "unrecognised status"}));

Reading sample(const QString &device = QStringLiteral("virtual:1"),
               const QString &id = QStringLiteral("SIM1"))
{
    return Reading::decode(raw(255, 65411, 220, 1, 66, 0, 3), device, id);
}

TEST(ReadingFormat, JsonHasStableKeysAndNumbersAsNumbers)
{
    Reading unknown = sample();
    unknown.contactOnNO.reset();
    unknown.mode.reset();
    for (const Reading &r : {sample(), unknown}) {
        for (const bool watched : {false, true}) {
            const QString text = watched ? ReadingFormat::row(OutputFormat::Json, QStringLiteral("T"), r)
                                         : ReadingFormat::single(OutputFormat::Json, r);
            ASSERT_TRUE(text.endsWith(QLatin1Char('\n')));
            EXPECT_EQ(text.count(QLatin1Char('\n')), 1); // one object a line
            QJsonParseError error;
            const QJsonObject o = QJsonDocument::fromJson(text.toUtf8(), &error).object();
            ASSERT_EQ(error.error, QJsonParseError::NoError) << text.toStdString();
            QStringList expected = kFields;
            if (watched)
                expected << QStringLiteral("timestamp");
            QStringList keys = o.keys();
            keys.sort();
            expected.sort();
            EXPECT_EQ(keys, expected);
            EXPECT_DOUBLE_EQ(o.value(QStringLiteral("temperature_celsius")).toDouble(), 25.5);
            EXPECT_DOUBLE_EQ(o.value(QStringLiteral("tl_celsius")).toDouble(), -12.5);
            EXPECT_DOUBLE_EQ(o.value(QStringLiteral("th_celsius")).toDouble(), 22.0);
            EXPECT_TRUE(o.value(QStringLiteral("probe_status")).isDouble());
            EXPECT_TRUE(o.value(QStringLiteral("boot_status")).isDouble());
            EXPECT_EQ(o.value(QStringLiteral("relay_contact")).isNull(), !r.contactOnNO);
            EXPECT_EQ(o.value(QStringLiteral("relay_mode")).toString(),
                      r.mode ? QStringLiteral("B") : QString());
        }
    }
    // The service's state carries only a measurement: none while the probe
    // reports a fault, the value when it works or its status is not one we know.
    Reading fault = sample(), unrecognised = sample();
    fault.probeStatus = 2;
    unrecognised.probeStatus = 7;
    for (const auto &[r, isNull] :
         {std::pair{fault, true}, std::pair{sample(), false}, std::pair{unrecognised, false}}) {
        const QString text = ReadingFormat::row(OutputFormat::Json, QStringLiteral("T"), r,
                                                ReadingFormat::Temperature::Measured);
        const QJsonObject o = QJsonDocument::fromJson(text.toUtf8()).object();
        EXPECT_EQ(o.value(QStringLiteral("temperature_celsius")).isNull(), isNull) << text.toStdString();
        EXPECT_EQ(o.value(QStringLiteral("probe_status")).toInt(), r.probeStatus);
    }
}

TEST(ReadingFormat, JsonEscapesTheDeviceNameAndGivesTheIdFirst)
{
    const QString device = QStringLiteral("odd \"name\"\\\n");
    const QString text = ReadingFormat::single(OutputFormat::Json, sample(device));
    EXPECT_TRUE(text.startsWith(QStringLiteral("{\"id\":\"SIM1\",\"device\":")));
    const QJsonObject o = QJsonDocument::fromJson(text.toUtf8()).object();
    EXPECT_EQ(o.value(QStringLiteral("device")).toString(), device);
}

// A CSV line split by RFC 4180 rules.
QStringList csvSplit(const QString &line)
{
    QStringList fields{QString()};
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (quoted && c == QLatin1Char('"') && i + 1 < line.size() && line.at(i + 1) == QLatin1Char('"')) {
            fields.last() += c;
            ++i;
        } else if (c == QLatin1Char('"')) {
            quoted = !quoted;
        } else if (c == QLatin1Char(',') && !quoted) {
            fields << QString();
        } else {
            fields.last() += c;
        }
    }
    return fields;
}

TEST(ReadingFormat, CsvHeaderNamesEveryColumnOfTheRow)
{
    const QStringList single = ReadingFormat::single(OutputFormat::Csv, sample(QStringLiteral("a,\"b\"")))
                                   .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(single.size(), 2);
    EXPECT_EQ(csvSplit(single[0]), kFields);
    const QStringList row = csvSplit(single[1]);
    ASSERT_EQ(row.size(), kFields.size());
    EXPECT_EQ(row[0], QStringLiteral("SIM1"));
    EXPECT_EQ(row[1], QStringLiteral("a,\"b\""));
    EXPECT_EQ(row[2], QStringLiteral("25.5"));
    EXPECT_EQ(row[3], QStringLiteral("-12.5"));
    EXPECT_EQ(row[5], QStringLiteral("C-NO"));

    const QString header = ReadingFormat::header(OutputFormat::Csv);
    const QString line = ReadingFormat::row(OutputFormat::Csv, QStringLiteral("T"), sample());
    EXPECT_EQ(csvSplit(header.trimmed()).size(), csvSplit(line.trimmed()).size());
    EXPECT_EQ(csvSplit(line.trimmed()).constFirst(), QStringLiteral("T"));
    for (OutputFormat f : {OutputFormat::Text, OutputFormat::Json, OutputFormat::Prometheus})
        EXPECT_TRUE(ReadingFormat::header(f).isEmpty());
}

// Every line of a text exposition: a HELP or TYPE comment, another comment,
// or a sample with its labels and a number.
void expectExposition(const QString &text)
{
    static const QRegularExpression help(QStringLiteral("^# HELP [a-zA-Z_:][a-zA-Z0-9_:]* \\S.*$"));
    static const QRegularExpression type(QStringLiteral("^# TYPE ([a-zA-Z_:][a-zA-Z0-9_:]*) gauge$"));
    static const QRegularExpression sample(QStringLiteral(
        "^([a-zA-Z_:][a-zA-Z0-9_:]*)\\{([a-zA-Z_][a-zA-Z0-9_]*=\"(?:[^\"\\\\\\n]|\\\\[\"\\\\n])*\",?)+\\} "
        "-?[0-9]+(\\.[0-9]+)?$"));
    ASSERT_TRUE(text.endsWith(QLatin1Char('\n')));
    QString typed;
    for (const QString &line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (line.startsWith(QLatin1String("# HELP"))) {
            EXPECT_TRUE(help.match(line).hasMatch()) << line.toStdString();
        } else if (const auto t = type.match(line); t.hasMatch()) {
            typed = t.captured(1);
        } else if (line.startsWith(QLatin1Char('#'))) {
            EXPECT_FALSE(line.startsWith(QLatin1String("# TYPE"))) << line.toStdString();
        } else {
            const auto s = sample.match(line);
            ASSERT_TRUE(s.hasMatch()) << line.toStdString();
            EXPECT_EQ(s.captured(1), typed) << "sample without its TYPE: " << line.toStdString();
        }
    }
}

TEST(ReadingFormat, PrometheusIsAValidExposition)
{
    // The node is no label: a series must not change when the thermostat moves.
    const QString up = ReadingFormat::single(
        OutputFormat::Prometheus, sample(QStringLiteral("/dev/hidraw3"), QStringLiteral("x\"y\\z")));
    expectExposition(up);
    EXPECT_FALSE(up.contains(QStringLiteral("hidraw3")));
    EXPECT_TRUE(up.contains(QStringLiteral("calidor_up{id=\"x\\\"y\\\\z\"} 1\n")));
    EXPECT_TRUE(up.contains(QStringLiteral("calidor_temperature_celsius{id=\"x\\\"y\\\\z\"} 25.5\n")));
    EXPECT_TRUE(up.contains(QStringLiteral("calidor_low_threshold_celsius{id=\"x\\\"y\\\\z\"} -12.5\n")));
    EXPECT_TRUE(up.contains(QStringLiteral(",mode=\"B\"} 1\n")));

    expectExposition(ReadingFormat::row(OutputFormat::Prometheus,
                                        QStringLiteral("2024-01-01T00:00:00.000+00:00"), sample()));
    const QString down = ReadingFormat::prometheusDown(QStringLiteral("SIM1"), QStringLiteral("T"));
    expectExposition(down);
    EXPECT_TRUE(down.contains(QStringLiteral("calidor_up{id=\"SIM1\"} 0\n")));
    EXPECT_FALSE(down.contains(QStringLiteral("calidor_temperature_celsius")));
}

TEST(ReadingFormat, TextShowsOneFieldALineWithUnits)
{
    const QStringList lines =
        ReadingFormat::single(OutputFormat::Text, sample()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 9);
    EXPECT_EQ(lines[0].simplified(), QStringLiteral("id: SIM1"));
    EXPECT_EQ(lines[2].simplified(), QStringLiteral("temperature: 25.5 °C"));
    EXPECT_EQ(lines[3].simplified(), QStringLiteral("TL: -12.5 °C"));
    EXPECT_EQ(lines[5].simplified(), QStringLiteral("relay: C-NO"));
    const QString row = ReadingFormat::row(OutputFormat::Text, QStringLiteral("T"), sample());
    EXPECT_TRUE(row.startsWith(QStringLiteral("T  SIM1  virtual:1  25.5 °C")));
    EXPECT_EQ(row.count(QLatin1Char('\n')), 1);
}

TEST(ReadingFormat, TimestampCarriesMillisecondsAndTheOffset)
{
    const QDate day(2024, 5, 17);
    const QTime time(14, 3, 7, 25);
    const struct
    {
        int offsetSeconds;
        const char *text;
    } rows[] = {{7200, "2024-05-17T14:03:07.025+02:00"},
                {0, "2024-05-17T14:03:07.025+00:00"},
                {-(5 * 3600 + 1800), "2024-05-17T14:03:07.025-05:30"},
                {45 * 60 + 12 * 3600, "2024-05-17T14:03:07.025+12:45"}};
    for (const auto &row : rows)
        EXPECT_EQ(ReadingFormat::timestamp(QDateTime(day, time, QTimeZone(row.offsetSeconds))),
                  QString::fromUtf8(row.text));
}

} // namespace
