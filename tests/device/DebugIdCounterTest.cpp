#include "DebugIdCounter.h"

#include "ErrorRecord.h"
#include "modErrorHandling.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

constexpr std::int32_t Max = std::numeric_limits<std::int32_t>::max();

TEST(DebugIdCounter, HandsOutOneMoreThanTheLastEachTime)
{
    DebugIdCounter counter;
    EXPECT_EQ(counter.next(), 1);
    EXPECT_EQ(counter.next(), 2);
    EXPECT_EQ(counter.next(), 3);
    EXPECT_EQ(counter.last(), 3);
}

TEST(DebugIdCounter, ReachesTheLargestValueThenRefusesToWrap)
{
    DebugIdCounter counter(Max - 2);
    EXPECT_EQ(counter.next(), Max - 1);
    EXPECT_EQ(counter.next(), Max);
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            counter.next();
            ADD_FAILURE() << "wrapped past " << Max;
        } catch (const ErrorRecord &e) {
            EXPECT_EQ(e.code(), modErrorHandling::OverflowError);
            EXPECT_EQ(e.description(), QStringLiteral("Overflow"));
        }
        EXPECT_EQ(counter.last(), Max);
    }
}

} // namespace
