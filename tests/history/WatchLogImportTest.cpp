#include "WatchLogImport.h"

#include <gtest/gtest.h>

namespace {

const QByteArray kHeader = "timestamp,id,device,temperature_celsius,tl_celsius,th_celsius,relay_contact,"
                           "relay_mode,probe_status,probe_status_text,boot_status\n";

QByteArray line(const char *time, const char *temperature, const char *contact = "C-NC")
{
    return QByteArray(time) + ",\"SN,1\",/dev/hidraw0," + temperature + ",20.0,25.0," + contact +
           ",A,0,probe working,0\n";
}

TEST(WatchLogImportTest, FoldsAWatchLogIntoMinutesOfEachThermostat)
{
    // Two runs written out of order, and a quoted id with a comma in it.
    const QByteArray log =
        kHeader + line("2024-05-17T14:03:10.000+02:00", "21.5", "C-NO") +
        line("2024-05-17T14:03:40.000+02:00", "22.5") + line("2024-05-17T14:02:50.000+02:00", "19.0") +
        "2024-05-17T14:02:55.000+02:00,Q2,/dev/hidraw1,30.0,20.0,25.0,C-NC,B,2,no probe,0\n";
    const WatchLogImport::Result r = WatchLogImport::parse(log);
    ASSERT_TRUE(r.error.isEmpty()) << r.error.toStdString();
    EXPECT_EQ(r.rows, 4);
    EXPECT_EQ(r.skipped, 0);
    ASSERT_EQ(r.minutes.size(), 3u);
    const MinuteRow &q2 = r.minutes[0];
    EXPECT_EQ(q2.id, QStringLiteral("Q2"));
    EXPECT_EQ(q2.probeWorst, 2);
    EXPECT_EQ(q2.mode, 'B');
    const MinuteRow &first = r.minutes[1], &second = r.minutes[2];
    EXPECT_EQ(first.id, QStringLiteral("SN,1"));
    EXPECT_EQ(first.t, 1715947320); // 14:02 at +02:00
    EXPECT_EQ(first.temperatureMin, 190);
    EXPECT_EQ(second.t, 1715947380);
    EXPECT_EQ(second.reads, 2);
    EXPECT_EQ(second.temperatureMin, 215);
    EXPECT_EQ(second.temperatureMax, 225);
    EXPECT_EQ(second.temperatureSum, 440);
    EXPECT_EQ(second.low, 200);
    EXPECT_EQ(second.high, 250);
}

struct Bad
{
    const char *name;
    QByteArray text;
    const char *error; // the whole file refused with this, or
    int rows, skipped; // rows taken and skipped
};

const Bad kBad[] = {
    {"Empty", "", "empty", 0, 0},
    {"NoHeader", line("2024-05-17T14:03:10.000+02:00", "21.5"), "no timestamp column", 0, 0},
    {"AnotherCsv", "a,b,c\n1,2,3\n", "no timestamp column", 0, 0},
    {"Binary", QByteArray("\x00\x01\xff\xfe\"\x00", 6), "no timestamp column", 0, 0},
    {"ShortRowBadTimeBadNumbersAndABlankLine",
     kHeader + "2024-05-17T14:03:10.000+02:00,Q1\n" + line("yesterday", "21.5") +
         line("2024-05-17T14:03:10Z", "hot") + line("2024-05-17T14:03:10Z", "1e308") + "\n" +
         line("2024-05-17T14:03:10Z", "21.5"),
     nullptr, 1, 4},
};

class WatchLogImportBad : public ::testing::TestWithParam<Bad>
{
};

TEST_P(WatchLogImportBad, IsRefusedOrSkippedRowByRow)
{
    const WatchLogImport::Result r = WatchLogImport::parse(GetParam().text);
    if (GetParam().error) {
        EXPECT_TRUE(r.error.contains(QLatin1String(GetParam().error))) << r.error.toStdString();
        EXPECT_TRUE(r.minutes.empty());
        return;
    }
    EXPECT_TRUE(r.error.isEmpty()) << r.error.toStdString();
    EXPECT_EQ(r.rows, GetParam().rows);
    EXPECT_EQ(r.skipped, GetParam().skipped);
    EXPECT_TRUE(r.firstProblem.startsWith(QStringLiteral("record 2:"))) << r.firstProblem.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Table, WatchLogImportBad, ::testing::ValuesIn(kBad),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
