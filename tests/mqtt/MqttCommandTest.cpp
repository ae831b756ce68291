#include "MqttCommand.h"

#include "MqttTopics.h"

#include <gtest/gtest.h>

namespace {

struct PayloadCase
{
    const char *name;
    QByteArray payload;
    std::optional<std::int64_t> low, high;
    std::optional<std::int16_t> mode;
    const char *errorHas; // nullptr when accepted
};

class MqttCommandTest : public ::testing::TestWithParam<PayloadCase>
{
};

TEST_P(MqttCommandTest, ChecksLikeSet)
{
    const PayloadCase &c = GetParam();
    const MqttCommand::Parsed p = MqttCommand::parse(QLatin1String(c.name), c.payload);
    if (c.errorHas) {
        EXPECT_FALSE(p.values) << c.payload.left(40).toStdString();
        EXPECT_TRUE(p.error.contains(QLatin1String(c.errorHas), Qt::CaseInsensitive))
            << p.error.toStdString();
        return;
    }
    ASSERT_TRUE(p.values) << p.error.toStdString();
    EXPECT_EQ(p.values->low, c.low);
    EXPECT_EQ(p.values->high, c.high);
    EXPECT_EQ(p.values->mode, c.mode);
}

INSTANTIATE_TEST_SUITE_P(
    Table, MqttCommandTest,
    ::testing::Values(
        PayloadCase{"tl", "18.5", 185, {}, {}, nullptr}, PayloadCase{"th", "-3", {}, -30, {}, nullptr},
        PayloadCase{"th", "20,5", {}, 205, {}, nullptr}, PayloadCase{"tl", " 21.0\n", 210, {}, {}, nullptr},
        PayloadCase{"th", "125", {}, 1250, {}, nullptr}, PayloadCase{"tl", "-55.0", -550, {}, {}, nullptr},
        PayloadCase{"mode", "B", {}, {}, 66, nullptr}, PayloadCase{"mode", "a", {}, {}, 65, nullptr},
        // Untrusted: each refused, with the rule it broke.
        PayloadCase{"th", "125.1", {}, {}, {}, "125"}, PayloadCase{"tl", "-55.1", {}, {}, {}, "55"},
        // Home Assistant's °F conversions: any decimals, rounded to a tenth, half away from zero.
        PayloadCase{"tl", "18.000000000000004", 180, {}, {}, nullptr},
        PayloadCase{"tl", "18.333333333333332", 183, {}, {}, nullptr},
        PayloadCase{"th", "21.999999999999996", {}, 220, {}, nullptr},
        PayloadCase{"tl", "18.45", 185, {}, {}, nullptr}, PayloadCase{"tl", "-0.05", -1, {}, {}, nullptr},
        PayloadCase{"th", "124.95", {}, 1250, {}, nullptr}, PayloadCase{"th", "125.05", {}, {}, {}, "range"},
        PayloadCase{"tl", "18.", {}, {}, {}, ""}, PayloadCase{"tl", "warm", {}, {}, {}, ""},
        PayloadCase{"th", "", {}, {}, {}, "empty"}, PayloadCase{"th", "  ", {}, {}, {}, "empty"},
        PayloadCase{"mode", "C", {}, {}, {}, ""}, PayloadCase{"mode", "", {}, {}, {}, "empty"},
        PayloadCase{"tl", QByteArray(1 << 20, '1'), {}, {}, {}, "bytes"},
        PayloadCase{"tl",
                    QByteArray("\xff\xfe"
                               "1"),
                    {},
                    {},
                    {},
                    "UTF-8"},
        PayloadCase{"tl",
                    QByteArray("1\x00"
                               "2",
                               3),
                    {},
                    {},
                    {},
                    "control"},
        PayloadCase{"th", "99999999999999999999999", {}, {}, {}, "range"},
        PayloadCase{"tl", "1e2", {}, {}, {}, ""}, PayloadCase{"th", "nan", {}, {}, {}, ""}));

TEST(MqttCommandShown, BadBytesAreNotEchoed)
{
    EXPECT_TRUE(MqttCommand::parse(QStringLiteral("tl"), QByteArray("\xc3\x28")).shown.isEmpty());
    EXPECT_TRUE(MqttCommand::parse(QStringLiteral("tl"), QByteArray(100, 'x')).shown.isEmpty());
    EXPECT_EQ(MqttCommand::parse(QStringLiteral("tl"), "18.25").shown, QStringLiteral("18.25"));
}

struct TopicCase
{
    const char *prefix;
    const char *topic;
    const char *id; // nullptr: not a command
    const char *name;
};

class MqttTopicsTest : public ::testing::TestWithParam<TopicCase>
{
};

TEST_P(MqttTopicsTest, CommandOf)
{
    const TopicCase &c = GetParam();
    const auto command = MqttTopics(QLatin1String(c.prefix)).commandOf(QLatin1String(c.topic));
    ASSERT_EQ(command.has_value(), c.id != nullptr) << c.topic;
    if (command) {
        EXPECT_EQ(command->id.toStdString(), c.id);
        EXPECT_EQ(command->name.toStdString(), c.name);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, MqttTopicsTest,
                         ::testing::Values(TopicCase{"calidor", "calidor/SIM0001/tl/set", "SIM0001", "tl"},
                                           TopicCase{"home/heat", "home/heat/usb-1-1_2/mode/set", "usb-1-1_2",
                                                     "mode"},
                                           TopicCase{"calidor", "calidor/SIM0001/schedule/set", "SIM0001",
                                                     "schedule"},
                                           TopicCase{"calidor", "calidor/SIM0001/schedule/pause", nullptr,
                                                     nullptr},
                                           TopicCase{"calidor", "calidor/SIM0001/state", nullptr, nullptr},
                                           TopicCase{"calidor", "calidor/SIM0001/boot/set", nullptr, nullptr},
                                           TopicCase{"calidor", "calidor//th/set", nullptr, nullptr},
                                           TopicCase{"calidor", "calidor/a/b/th/set", nullptr, nullptr},
                                           TopicCase{"calidor", "calidorx/SIM0001/th/set", nullptr, nullptr},
                                           TopicCase{"calidor", "other/SIM0001/th/set", nullptr, nullptr}));

TEST(MqttTopicsPrefix, RefusesWhatIsNoTopic)
{
    for (const char *bad : {"", "a/+", "#", "/calidor", "calidor/", "a//b"})
        EXPECT_FALSE(MqttTopics::checkPrefix(QLatin1String(bad)).isEmpty()) << bad;
    for (const char *good : {"calidor", "home/heating"})
        EXPECT_TRUE(MqttTopics::checkPrefix(QLatin1String(good)).isEmpty()) << good;
}

} // namespace
