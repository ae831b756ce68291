// The values calidorctl takes on its command line: temperatures, durations,
// counts and modes, each with the rule that refuses it.
#include "ValueParser.h"

#include <gtest/gtest.h>

namespace {

struct Case
{
    const char *text;
    std::int64_t value; // expected value when `error` is null
    const char *error;  // a piece of the refusal
};

class CelsiusParsing : public ::testing::TestWithParam<Case>
{
};

TEST_P(CelsiusParsing, GivesTenthsOrTheRuleBroken)
{
    const Case &c = GetParam();
    const auto parsed = ValueParser::celsius(QString::fromUtf8(c.text));
    if (c.error) {
        EXPECT_FALSE(parsed.value.has_value());
        EXPECT_TRUE(parsed.error.contains(QLatin1String(c.error))) << parsed.error.toStdString();
    } else {
        ASSERT_TRUE(parsed.value.has_value()) << parsed.error.toStdString();
        EXPECT_EQ(parsed.value->code, c.value);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Values, CelsiusParsing,
    ::testing::Values(Case{"-12.5", -125, nullptr}, Case{"20", 200, nullptr}, Case{"+3.0", 30, nullptr},
                      Case{"20,5", 205, nullptr}, Case{"-55", -550, nullptr}, Case{"125.0", 1250, nullptr},
                      Case{".5", 5, nullptr}, Case{"-0,1", -1, nullptr}, Case{"125.1", 0, "range"},
                      Case{"-55.1", 0, "range"}, Case{"99999999999", 0, "range"},
                      Case{"1.25", 0, "more than one decimal"}, Case{"20.50", 0, "more than one decimal"},
                      Case{"18.000000000000004", 0, "more than one decimal"}, // a person typing: a slip
                      Case{"abc", 0, "not a temperature"}, Case{"", 0, "not a temperature"},
                      Case{"+", 0, "not a temperature"}, Case{"12.", 0, "not a temperature"},
                      Case{"1e2", 0, "not a temperature"}, Case{"--5", 0, "not a temperature"},
                      Case{" 20", 0, "not a temperature"}, Case{"1.2.3", 0, "not a temperature"},
                      Case{"\u0662\u0660", 0, "not a temperature"}, Case{"20\n", 0, "not a temperature"}));

class DurationParsing : public ::testing::TestWithParam<Case>
{
};

TEST_P(DurationParsing, GivesMillisecondsOrTheRuleBroken)
{
    const Case &c = GetParam();
    const auto parsed = ValueParser::durationMs(QString::fromUtf8(c.text));
    if (c.error) {
        EXPECT_FALSE(parsed.value.has_value());
        EXPECT_TRUE(parsed.error.contains(QLatin1String(c.error))) << parsed.error.toStdString();
    } else {
        ASSERT_TRUE(parsed.value.has_value()) << parsed.error.toStdString();
        EXPECT_EQ(*parsed.value, c.value);
    }
}

INSTANTIATE_TEST_SUITE_P(Values, DurationParsing,
                         ::testing::Values(Case{"500ms", 500, nullptr}, Case{"2s", 2000, nullptr},
                                           Case{"1m", 60000, nullptr}, Case{"1.5s", 1500, nullptr},
                                           Case{"3", 3000, nullptr}, Case{"100ms", 100, nullptr},
                                           Case{"1440m", 86400000, nullptr}, Case{"99ms", 0, "shortest"},
                                           Case{"0.05s", 0, "shortest"}, Case{"0", 0, "shortest"},
                                           Case{"1441m", 0, "longest"}, Case{"1h", 0, "not a duration"},
                                           Case{"-1s", 0, "not a duration"}, Case{"", 0, "not a duration"},
                                           Case{"ms", 0, "not a duration"}, Case{"2 s", 0, "not a duration"},
                                           Case{"1.s", 0, "not a duration"},
                                           Case{"2sms", 0, "not a duration"}));

class CountParsing : public ::testing::TestWithParam<Case>
{
};

TEST_P(CountParsing, TakesOnlyPositiveWholeNumbers)
{
    const Case &c = GetParam();
    const auto parsed = ValueParser::count(QString::fromUtf8(c.text));
    EXPECT_EQ(parsed.value.has_value(), c.error == nullptr);
    if (parsed.value) {
        EXPECT_EQ(*parsed.value, c.value);
    }
}

INSTANTIATE_TEST_SUITE_P(Values, CountParsing,
                         ::testing::Values(Case{"5", 5, nullptr}, Case{"1", 1, nullptr},
                                           Case{"999999999", 999999999, nullptr}, Case{"0", 0, "x"},
                                           Case{"-1", 0, "x"}, Case{"x", 0, "x"}, Case{"1234567890", 0, "x"},
                                           Case{"", 0, "x"}));

TEST(RelayModeParsing, TakesAOrBInEitherCase)
{
    const struct
    {
        const char *text;
        int code; // 0: refused
    } rows[] = {{"A", 65}, {"a", 65}, {"B", 66}, {"b", 66}, {"C", 0}, {"", 0}, {"AB", 0}};
    for (const auto &row : rows) {
        const auto parsed = ValueParser::relayMode(QString::fromUtf8(row.text));
        EXPECT_EQ(parsed.value.value_or(0), row.code) << row.text;
        EXPECT_EQ(parsed.error.isEmpty(), row.code != 0) << row.text;
    }
}

TEST(ListenAddressParsing, TakesNumericAddressesOnly)
{
    const struct
    {
        const char *text;
        const char *host; // nullptr: refused
        int port;
        bool ipv6;
    } rows[] = {
        {"127.0.0.1:9830", "127.0.0.1", 9830, false},
        {"0.0.0.0:80", "0.0.0.0", 80, false},
        {":0", "127.0.0.1", 0, false},
        {"[::1]:9830", "::1", 9830, true},
        {"[fe80::1]:1", "fe80::1", 1, true},
        {"localhost:9830", nullptr, 0, false},
        {"::1:9830", nullptr, 0, false},
        {"[::1]", nullptr, 0, false},
        {"127.0.0.1:65536", nullptr, 0, false},
        {"127.0.0.1:", nullptr, 0, false},
        {"127.0.0.1:123456", nullptr, 0, false},
        {"[fe80::1%eth0]:1", nullptr, 0, false},
        {"[]:1", nullptr, 0, false},
        {"1.2.3.4:9x", nullptr, 0, false},
        {"", nullptr, 0, false},
    };
    for (const auto &row : rows) {
        const auto parsed = ValueParser::listenAddress(QString::fromUtf8(row.text));
        ASSERT_EQ(parsed.value.has_value(), row.host != nullptr) << row.text;
        if (!row.host) {
            EXPECT_FALSE(parsed.error.isEmpty()) << row.text;
            continue;
        }
        EXPECT_EQ(parsed.value->host, QString::fromUtf8(row.host)) << row.text;
        EXPECT_EQ(parsed.value->port, row.port) << row.text;
        EXPECT_EQ(parsed.value->ipv6, row.ipv6) << row.text;
    }
}

TEST(CelsiusText, WritesSignedTenthsWithAPoint)
{
    const struct
    {
        std::int64_t tenths;
        const char *text;
    } rows[] = {{-125, "-12.5"}, {200, "20"},   {5, "0.5"},   {-5, "-0.5"},
                {0, "0"},        {1250, "125"}, {-550, "-55"}};
    for (const auto &row : rows)
        EXPECT_EQ(ValueParser::celsiusText(row.tenths), QString::fromUtf8(row.text));
}

} // namespace
