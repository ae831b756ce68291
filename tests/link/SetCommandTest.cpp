// `set` before and after the write: which values are written, which pairs
// are refused, and what a read-back that differs says.
#include "SetCommand.h"

#include "ChangeNotice.h"

#include <gtest/gtest.h>

namespace {

Reading current(std::int32_t low, std::int32_t high, char mode)
{
    Reading r;
    r.low = low;
    r.high = high;
    r.mode = mode;
    return r;
}

struct PlanCase
{
    const char *tl; // null: not given
    const char *th;
    const char *mode;
    ExitCode code;
    std::int32_t low, high; // the plan when accepted
    std::int16_t modeCode;
};

class Planning : public ::testing::TestWithParam<PlanCase>
{
};

// The thermostat holds TL 18.0, TH 22.0, mode B.
TEST_P(Planning, KeepsWhatIsNotGivenAndRefusesTLNotBelowTH)
{
    const PlanCase &c = GetParam();
    SetCommand::Request options;
    if (c.tl)
        options.tl = QString::fromUtf8(c.tl);
    if (c.th)
        options.th = QString::fromUtf8(c.th);
    if (c.mode)
        options.mode = QString::fromUtf8(c.mode);
    SetCommand::Values values;
    ThermostatLink::Failure failure = SetCommand::parse(options, &values);
    SetCommand::Plan plan;
    if (!failure)
        failure = SetCommand::plan(values, current(180, 220, 'B'), &plan);
    EXPECT_EQ(failure.code, c.code) << failure.message.toStdString();
    if (c.code == ExitCode::Ok) {
        EXPECT_EQ(plan.low, c.low);
        EXPECT_EQ(plan.high, c.high);
        EXPECT_EQ(plan.mode, c.modeCode);
    } else {
        EXPECT_FALSE(failure.message.isEmpty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Values, Planning,
    ::testing::Values(PlanCase{"-12.5", nullptr, nullptr, ExitCode::Ok, -125, 220, 66},
                      PlanCase{nullptr, "30", "a", ExitCode::Ok, 180, 300, 65},
                      PlanCase{nullptr, nullptr, "A", ExitCode::Ok, 180, 220, 65},
                      PlanCase{"-0", "0,1", nullptr, ExitCode::Ok, 0, 1, 66},
                      PlanCase{"-5", "-4.9", nullptr, ExitCode::Ok, -50, -49, 66},
                      PlanCase{"22", nullptr, nullptr, ExitCode::Refused, 0, 0, 0},   // equal to TH
                      PlanCase{"25", nullptr, nullptr, ExitCode::Refused, 0, 0, 0},   // above TH held
                      PlanCase{nullptr, "17.9", nullptr, ExitCode::Refused, 0, 0, 0}, // below TL held
                      PlanCase{"-0", "0", nullptr, ExitCode::Refused, 0, 0, 0},
                      PlanCase{"-4.9", "-5", nullptr, ExitCode::Refused, 0, 0, 0},
                      PlanCase{"5", "-6", nullptr, ExitCode::Refused, 0, 0, 0},
                      PlanCase{"130", nullptr, nullptr, ExitCode::Refused, 0, 0, 0},
                      PlanCase{nullptr, "1.25", nullptr, ExitCode::Refused, 0, 0, 0},
                      PlanCase{nullptr, nullptr, "C", ExitCode::Refused, 0, 0, 0}));

TEST(SetCommand, ReadBackNamesEachValueThatDiffers)
{
    const SetCommand::Plan plan{-125, 200, 66};
    const struct
    {
        Reading back;
        QStringList words; // what each difference must name, in order
    } rows[] = {
        {current(-125, 200, 'B'), {}},
        {current(180, 200, 'B'), {QStringLiteral("TL reads back 18 °C instead of -12.5 °C")}},
        {current(-125, 201, 'A'),
         {QStringLiteral("TH reads back 20.1"), QStringLiteral("mode reads back A")}},
        {Reading{}, {QStringLiteral("TL"), QStringLiteral("TH"), QStringLiteral("mode reads back unknown")}},
    };
    for (const auto &row : rows) {
        const QStringList differ = SetCommand::differences(plan, row.back);
        ASSERT_EQ(differ.size(), row.words.size());
        for (qsizetype i = 0; i < differ.size(); ++i)
            EXPECT_TRUE(differ[i].startsWith(row.words[i])) << differ[i].toStdString();
    }
}

} // namespace

// What `set` tells a running service crosses the machine: anyone may send
// one, so only the exact form is taken.
TEST(ChangeNotice, TakesOnlyAnObjectNamingOneThermostat)
{
    for (const ChangeNotice::Notice &notice :
         {ChangeNotice::Notice{QStringLiteral("SN1234"), {}},
          ChangeNotice::Notice{QStringLiteral("SIM0001"),
                               QStringLiteral("/run/user/1000/calidorctl-simulate.state")}})
        EXPECT_EQ(ChangeNotice::decode(ChangeNotice::encode(notice)), notice);
    for (const QByteArray &bad :
         {QByteArray(), QByteArray("SN1234"), QByteArray("[\"SN1234\"]"), QByteArray("{\"id\":12}"),
          QByteArray("{\"id\":\"\"}"), QByteArray("{\"id\":\"A\",\"tl\":5}"), QByteArray("{\"id\":\"A\""),
          QByteArray("{\"id\":\"A\",\"scope\":7}"), QByteArray("{\"scope\":\"/x\"}"),
          "{\"id\":\"" + QByteArray(129, 'x') + "\"}", "{\"id\":\"A\"}" + QByteArray(300, ' ')})
        EXPECT_FALSE(ChangeNotice::decode(bad)) << bad.left(40).toStdString();

    const QByteArray table = "Num       RefCount Protocol Flags    Type St Inode Path\n"
                             "0000: 00000002 00000000 00000000 0002 01 41 @calidor/set-notices/812\n"
                             "0000: 00000002 00000000 00000000 0002 01 42 @calidor/set-notices/812\n"
                             "0000: 00000002 00000000 00010000 0001 01 43 /run/calidor/set-notices/9\n"
                             "0000: 00000002 00000000 00000000 0002 01 44 @other/set-notices/7\n"
                             "0000: 00000002 00000000 00000000 0002 01 45\n"
                             "0000: 00000002 00000000 00000000 0002 01 46 @calidor/set-notices/90\n";
    EXPECT_EQ(ChangeNotice::listeners(table), (QStringList{QStringLiteral("calidor/set-notices/812"),
                                                           QStringLiteral("calidor/set-notices/90")}));
}
