#include "ConfigurePace.h"

#include <gtest/gtest.h>

namespace {

TEST(ConfigurePace, TenConfigurationsAMinuteThenWait)
{
    qint64 now = 1000;
    ConfigurePace pace([&now] { return now; });
    const QString id = QStringLiteral("A");
    for (int i = 0; i < ConfigurePace::kMostPerMinute; ++i) {
        EXPECT_FALSE(pace.waitBeforeNext(id)) << i;
        pace.written(id);
        now += 1000;
    }
    // The eleventh within the minute waits for the first to leave it.
    ASSERT_TRUE(pace.waitBeforeNext(id));
    EXPECT_EQ(*pace.waitBeforeNext(id), ConfigurePace::kMinuteMs - 10000);
    EXPECT_TRUE(ConfigurePace::reason(*pace.waitBeforeNext(id)).contains(QLatin1String("try again in 50 s")));
    EXPECT_FALSE(pace.waitBeforeNext(QStringLiteral("B"))); // each thermostat has its own pace
    now = 1000 + ConfigurePace::kMinuteMs;
    EXPECT_FALSE(pace.waitBeforeNext(id));
    pace.written(id);
    EXPECT_TRUE(pace.waitBeforeNext(id)); // the second, at 2000, is still within the minute
}

} // namespace
