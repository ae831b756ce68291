#include "CommandCoalescer.h"

#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace {

SetCommand::Values low(std::int64_t tenths)
{
    SetCommand::Values v;
    v.low = tenths;
    return v;
}

SetCommand::Values high(std::int64_t tenths)
{
    SetCommand::Values v;
    v.high = tenths;
    return v;
}

TEST(CommandCoalescer, CommandsCloseTogetherMakeOneConfiguration)
{
    CommandCoalescer c;
    QSignalSpy ready(&c, &CommandCoalescer::ready);
    c.add(QStringLiteral("A"), {QStringLiteral("tl"), QStringLiteral("18")}, low(180));
    QTest::qWait(150);
    c.add(QStringLiteral("A"), {QStringLiteral("th"), QStringLiteral("22")}, high(220));
    c.add(QStringLiteral("B"), {QStringLiteral("th"), QStringLiteral("30")}, high(300));
    QTest::qWait(200); // 350 ms after the first, 200 after the last: still gathering
    EXPECT_EQ(ready.count(), 0);
    ASSERT_TRUE(ready.wait(500));
    if (ready.count() < 2) {
        ASSERT_TRUE(ready.wait(500));
    }
    ASSERT_EQ(ready.count(), 2);
    for (const QList<QVariant> &args : ready) {
        const auto batch = args.at(0).value<CommandCoalescer::Batch>();
        if (batch.id == QLatin1String("A")) {
            EXPECT_EQ(batch.values.low, 180);
            EXPECT_EQ(batch.values.high, 220);
            EXPECT_EQ(batch.commands.size(), 2u);
        } else {
            EXPECT_EQ(batch.id, QStringLiteral("B"));
            EXPECT_FALSE(batch.values.low);
            EXPECT_EQ(batch.values.high, 300);
        }
    }
}

TEST(CommandCoalescer, ALaterValueReplacesAnEarlierOne)
{
    CommandCoalescer c;
    QSignalSpy ready(&c, &CommandCoalescer::ready);
    c.add(QStringLiteral("A"), {QStringLiteral("tl"), QStringLiteral("18")}, low(180));
    c.add(QStringLiteral("A"), {QStringLiteral("tl"), QStringLiteral("19")}, low(190));
    ASSERT_TRUE(ready.wait(1000));
    const auto batch = ready.at(0).at(0).value<CommandCoalescer::Batch>();
    EXPECT_EQ(batch.values.low, 190);
    ASSERT_EQ(batch.commands.size(), 1u);
    EXPECT_EQ(batch.commands[0].shown, QStringLiteral("19"));
    ASSERT_EQ(batch.superseded.size(), 1u);
    EXPECT_EQ(batch.superseded[0].shown, QStringLiteral("18"));
}

} // namespace
