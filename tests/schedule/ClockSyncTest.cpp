#include "ClockSync.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/timex.h>

namespace {

struct Row
{
    ClockSync::Facts facts;
    bool synchronised;
};

class ClockSyncJudge : public testing::TestWithParam<Row>
{
};

TEST_P(ClockSyncJudge, waitsUntilTheClockIsSet)
{
    const auto verdict = ClockSync::judge(GetParam().facts);
    EXPECT_EQ(verdict.synchronised, GetParam().synchronised) << verdict.why.toStdString();
    EXPECT_FALSE(verdict.why.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Table, ClockSyncJudge,
    testing::Values(Row{{false, TIME_ERROR, STA_UNSYNC, false}, false}, // booted, no network yet
                    Row{{true, TIME_ERROR, STA_UNSYNC, false}, true},   // timesyncd's flag
                    Row{{false, TIME_OK, 0, false}, true},              // an NTP client steers it
                    Row{{false, TIME_OK, STA_UNSYNC, false}, false},
                    Row{{false, TIME_ERROR, 0, false}, false}, Row{{false, std::nullopt, 0, false}, false},
                    Row{{false, std::nullopt, 0, true}, true})); // trusted by hand

TEST(ClockSync, readsTheFlagFile)
{
    QTemporaryDir dir;
    const QString flag = dir.filePath(QStringLiteral("synchronized"));
    EXPECT_FALSE(ClockSync::read(flag).timesyncFlag);
    QFile file(flag);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    const auto facts = ClockSync::read(flag);
    EXPECT_TRUE(facts.timesyncFlag);
    EXPECT_TRUE(facts.kernelState.has_value()); // adjtimex reads without privilege
}

} // namespace
