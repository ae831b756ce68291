#include "Schedule.h"

#include <QJsonDocument>
#include <gtest/gtest.h>

namespace {

struct Refused
{
    const char *json;
    const char *error; // part of the message
};

class ScheduleRefused : public testing::TestWithParam<Refused>
{
};

TEST_P(ScheduleRefused, namesTheStepAndTheReason)
{
    const auto parsed = Schedule::parse(GetParam().json);
    EXPECT_FALSE(parsed.schedule);
    EXPECT_TRUE(parsed.error.contains(QString::fromUtf8(GetParam().error))) << parsed.error.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Table, ScheduleRefused,
    testing::Values(
        Refused{"{", "not JSON"}, Refused{"[]", "not a JSON object"},
        Refused{R"({"weekly":[],"profile":{}})", "one of"}, Refused{R"({"weekly":[]})", "1 to 336"},
        Refused{R"({"weekly":[{"days":["mon"],"at":"7:00","tl":18,"th":20}]})", "entry 1: \"at\""},
        Refused{R"({"weekly":[{"days":["mon"],"at":"24:00","tl":18,"th":20}]})", "entry 1: \"at\""},
        Refused{R"({"weekly":[{"days":["lun"],"at":"07:00","tl":18,"th":20}]})", "unknown day"},
        Refused{R"({"weekly":[{"days":["mon","mon"],"at":"07:00","tl":18,"th":20}]})", "listed twice"},
        Refused{R"({"weekly":[{"days":["mon"],"at":"07:00","tl":18,"th":20},
                              {"days":["sun","mon"],"at":"07:00","tl":16,"th":17}]})",
                "entry 2: mon 07:00 overlaps entry 1"},
        Refused{R"({"weekly":[{"days":["mon"],"at":"07:00","tl":20,"th":20}]})",
                "entry 1: TL 20 is not below TH 20"},
        Refused{R"({"weekly":[{"days":["mon"],"at":"07:00","tl":18.25,"th":20}]})", "entry 1: TL:"},
        Refused{R"({"weekly":[{"days":["mon"],"at":"07:00","tl":-55.1,"th":20}]})", "entry 1: TL:"},
        Refused{R"({"weekly":[{"days":["mon"],"at":"07:00","tl":18,"th":125.1}]})", "entry 1: TH:"},
        Refused{R"({"weekly":[{"days":["mon"],"at":"07:00","tl":"18","th":20}]})", "TL must be a number"},
        Refused{R"({"weekly":[{"days":["mon"],"at":"07:00","tl":18,"th":1e300}]})", "out of range"},
        Refused{R"({"weekly":[{"days":["mon"],"at":"07:00","tl":18,"th":20,"mode":"C"}]})", "entry 1: mode"},
        Refused{R"({"weekly":[{"days":["mon"],"at":"07:00","tl":18,"th":20,"tH":1}]})", "unknown key \"tH\""},
        Refused{R"({"profile":{"start":"2026-12-01T08:00:00","steps":[{"hold":"1d","tl":1,"th":2}]}})",
                "offset"},
        Refused{R"({"profile":{"start":"2026-12-01T08:00:00Z","steps":[]}})", "1 to 1000"},
        Refused{R"({"profile":{"start":"2026-12-01T08:00:00Z","steps":[{"hold":"30s","tl":1,"th":2}]}})",
                "step 1: duration"},
        Refused{R"({"profile":{"start":"2026-12-01T08:00:00Z","steps":[{"hold":"0m","tl":1,"th":2}]}})",
                "step 1: duration"},
        Refused{R"({"profile":{"start":"2026-12-01T08:00:00Z","steps":[{"hold":"1h1d","tl":1,"th":2}]}})",
                "step 1: duration"},
        Refused{R"({"profile":{"start":"2026-12-01T08:00:00Z","steps":[{"hold":"1d1d","tl":1,"th":2}]}})",
                "step 1: duration"},
        Refused{R"({"profile":{"start":"2026-12-01T08:00:00Z","steps":[{"hold":"٥d","tl":1,"th":2}]}})",
                "step 1: duration"},
        Refused{R"({"profile":{"start":"2026-12-01T08:00:00Z","steps":[{"hold":"1d2","tl":1,"th":2}]}})",
                "step 1: duration"},
        Refused{R"({"weekly":[{"days":["mon"],"at":"07:60","tl":18,"th":20}]})", "entry 1: \"at\""},
        Refused{R"({"weekly":[{"days":["mon"],"at":"0٧:00","tl":18,"th":20}]})", "entry 1: \"at\""},
        Refused{
            R"({"profile":{"start":"2026-12-01T08:00:00Z","steps":[{"hold":"1d","ramp":"1d","tl":1,"th":2}]}})",
            "either"},
        Refused{R"({"profile":{"start":"2026-12-01T08:00:00Z","steps":[{"ramp":"1d","tl":1,"th":2}]}})",
                "begin with a ramp"},
        Refused{
            R"({"profile":{"start":"2026-12-01T08:00:00Z","steps":[{"hold":"1d","tl":1,"th":2},{"ramp":"1d"}]}})",
            "step 2: a ramp needs"},
        Refused{R"({"profile":{"start":"2026-12-01T08:00:00Z","steps":[{"hold":"1d","tl":1,"th":2},
                   {"ramp":"2d","tl":5,"th":4}]}})",
                "step 2: TL 5 is not below TH 4"},
        Refused{R"({"profile":{"start":"2026-12-01T08:00:00Z","steps":[{"hold":"200d","tl":1,"th":2},
                   {"hold":"99999d"}]}})",
                "step 2: duration"},
        Refused{R"({"profile":{"start":"2026-12-01T08:00:00Z","steps":[{"hold":"200d","tl":1,"th":2},
                   {"hold":"200d"}]}})",
                "step 2: the profile would last more than 366 days"}));

TEST(Schedule, roundTripsThroughItsJson)
{
    for (const char *json : {
             R"({"weekly":[{"days":["mon","tue","wed","thu","fri"],"at":"06:30","tl":19.5,"th":21},
                          {"days":["sun"],"at":"23:59","tl":-5.5,"th":-0.1,"mode":"B"}]})",
             R"({"profile":{"start":"2026-12-01T09:00:00+01:00","steps":[{"hold":"5d","tl":17.5,"th":18.5},
                 {"ramp":"2d","tl":20.5,"th":21.5,"mode":"A"},{"hold":"3d"},{"hold":"1d12h30m","tl":1.5,"th":2.5}]}})"}) {
        const auto first = Schedule::parse(json);
        ASSERT_TRUE(first.schedule) << first.error.toStdString();
        const QByteArray written = QJsonDocument(first.schedule->toJson()).toJson();
        const auto second = Schedule::parse(written);
        ASSERT_TRUE(second.schedule) << second.error.toStdString() << written.toStdString();
        EXPECT_EQ(*first.schedule, *second.schedule) << written.toStdString();
    }
    const auto profile = Schedule::parse(
        R"({"profile":{"start":"2026-12-01T09:00:00+01:00","steps":[{"hold":"1d","tl":17.5,"th":18.5},{"hold":"3d"}]}})");
    ASSERT_TRUE(profile.schedule);
    EXPECT_EQ(profile.schedule->start(), QDateTime::fromString("2026-12-01T08:00:00Z", Qt::ISODate));
    EXPECT_EQ(profile.schedule->steps()[1].values.tl, 175); // a hold without values keeps the ones before
    EXPECT_EQ(profile.schedule->profileSeconds(), 4 * 86400);
}

} // namespace
