#include "ConfigSender.h"

#include "FakeConsoleContext.h"
#include "ScriptedHidAgent.h"
#include "TSoftDet.h"

#include <gtest/gtest.h>
#include <ostream>

namespace {

const QString kMinusZeros = QStringLiteral(
    "Merci de configurer le thermostat avec des valeurs corectes, -0 et -0  n'est pas admisbles !!!");
const QString kPlusZeros = QStringLiteral(
    "Merci de configurer le thermostat avec des valeurs corectes, 0 et 0  n'est pas admisbles !!!");
const QString kIdentical =
    QStringLiteral("Merci de configurer le thermostat avec des valeurs corectes, deux valeurs "
                   "indentiques ne sont pas admisbles!!!");
const QString kThAboveTl = QStringLiteral(
    "Merci de configurer le thermostat avec des valeurs corectes, TH superieure à TL n'est pas admisbles!!!");
const QString kTlAboveTh = QStringLiteral(
    "Merci de configurer le thermostat avec des valeurs corectes, TL superieure à TH n'est pas admisbles!!!");
const QString kMinusZeroPlusZero = QStringLiteral(
    "Merci de configurer le thermostat avec des valeurs corectes, -0 et 0 n'est pas pas admisbles !!!");
const QString kPlusZeroMinusZero = QStringLiteral(
    "Merci de configurer le thermostat avec des valeurs corectes, 0 et -0 n'est pas pas admisbles !!!");
const QString kThBelowTlEqual = QStringLiteral(
    "Merci de configurer le thermostat avec des valeurs corectes, TH inférieure à TL n'est pas admisbles!!!");
const QString kThBelowTl = QStringLiteral(
    "Merci de configurer le thermostat avec des valeurs corectes, TH inférieur à TL n'est pas admisbles!!!");
const QString kRange =
    QStringLiteral("Merci de configurer le thermostat avec des valeurs comprises entre -55 et +125 ° C !!!");

// A thermostat bound to its own scripted component, so each device can be
// told to fail on its own.
struct FakeThermostat
{
    std::shared_ptr<ScriptedHidAgent> agent = std::make_shared<ScriptedHidAgent>();
    std::shared_ptr<TSoftDet> device = std::make_shared<TSoftDet>();

    explicit FakeThermostat(std::int32_t handle)
    {
        agent->addThermostat(handle, 0, 1);
        EXPECT_EQ(device->BindVars(agent), 0);
        agent->clearLog();
    }
    // AllVarIndex of usages 8..12: 7..11.
    std::int32_t written(int usage) { return agent->var(usage - 1).unscaled; }
};

SendRequest request(const char *s1, const char *whole1, const char *tenths1, const char *s2,
                    const char *whole2, const char *tenths2, std::int16_t mode = 65)
{
    SendRequest r;
    r.Signe_t1 = QString::fromUtf8(s1);
    r.Text_t1_value = QString::fromUtf8(whole1);
    r.Text_t1_dixieme = QString::fromUtf8(tenths1);
    r.Signe_t2 = QString::fromUtf8(s2);
    r.Text_t2_value = QString::fromUtf8(whole2);
    r.Text_t2_dixieme = QString::fromUtf8(tenths2);
    r.Mode_relais = mode;
    return r;
}

QStringList deviceBlock(const QString &low, const QString &high, const QString &mode, const QString &result)
{
    return {QString(),
            QStringLiteral("  Wrote to device: OutTempLowVar = 0x") + low,
            QStringLiteral("  Wrote to device: OutTempHighVar = 0x") + high,
            QStringLiteral("  Wrote to device: OutModeRelayVar = 0x") + mode,
            QStringLiteral("  Wrote to device: OutBootStatus = 0xC8"),
            QStringLiteral("  Wrote to device: OutBootVar = 0xC9"),
            result};
}

const QString kSuccess = QStringLiteral("  Successfully wrote to device");

} // namespace

// --- values ---------------------------------------------------------------

struct ValueCase
{
    const char *sign;
    const char *whole;
    const char *tenths;
    double temp;
    std::int64_t code;
};

std::ostream &operator<<(std::ostream &os, const ValueCase &c)
{
    return os << c.sign << "'" << c.whole << "'.'" << c.tenths << "'";
}

class ConfigSenderValue : public ::testing::TestWithParam<ValueCase>
{
};

TEST_P(ConfigSenderValue, TempAndCode)
{
    const ValueCase &c = GetParam();
    const QString whole = QString::fromUtf8(c.whole);
    const QString tenths = QString::fromUtf8(c.tenths);
    EXPECT_DOUBLE_EQ(ConfigSender::Temp(whole, tenths), c.temp);
    EXPECT_EQ(ConfigSender::Code(QString::fromUtf8(c.sign), whole, tenths), c.code);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConfigSenderValue,
    ::testing::Values(ValueCase{"-", "12", "5", 12.5, -125}, ValueCase{"+", "20", "0", 20, 200},
                      ValueCase{"+", "12", "", 12, 120}, ValueCase{"+", "", "5", 0.5, 5},
                      ValueCase{"-", "", "", 0, 0}, ValueCase{"-", "55", "0", 55, -550},
                      ValueCase{"+", "125", "0", 125, 1250}, ValueCase{"-", "55", "5", 55.5, -555},
                      // A tenths text without a digit counts as nothing.
                      ValueCase{"+", "12", "x", 12, 120}, ValueCase{"+", "007", "3", 7.3, 73},
                      ValueCase{"+", "99999999999999999999", "0", 1e20, 10'000'000'000}));

TEST(ConfigSenderL, MagnitudeWithoutTrailingZerosInTheUsersNotation)
{
    EXPECT_EQ(ConfigSender::L(12.5, QLatin1Char(',')), QStringLiteral("12,5"));
    EXPECT_EQ(ConfigSender::L(20, QLatin1Char(',')), QStringLiteral("20"));
    EXPECT_EQ(ConfigSender::L(0.5, QLatin1Char(',')), QStringLiteral("0,5"));
    EXPECT_EQ(ConfigSender::L(0, QLatin1Char(',')), QStringLiteral("0"));
    EXPECT_EQ(ConfigSender::L(100, QLatin1Char('.')), QStringLiteral("100"));
    EXPECT_EQ(ConfigSender::L(12.5, QLatin1Char('.')), QStringLiteral("12.5"));
}

// --- the checking table ---------------------------------------------------

struct CheckCase
{
    const char *name;
    const char *s1;
    double t1;
    const char *s2;
    double t2;
    QStringList messages;
    bool stop;
};

std::ostream &operator<<(std::ostream &os, const CheckCase &c)
{
    return os << c.name;
}

class ConfigSenderCheck : public ::testing::TestWithParam<CheckCase>
{
};

TEST_P(ConfigSenderCheck, MessagesInOrderAndVerdict)
{
    const CheckCase &c = GetParam();
    const SendCheck check =
        ConfigSender::checkPair(QString::fromUtf8(c.s1), c.t1, QString::fromUtf8(c.s2), c.t2);
    EXPECT_EQ(check.messages, c.messages);
    EXPECT_EQ(check.stop, c.stop);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ConfigSenderCheck,
    ::testing::Values(CheckCase{"MinusMinusZeros", "-", 0, "-", 0, {kMinusZeros, kIdentical}, true},
                      CheckCase{"MinusMinusEqual", "-", 5, "-", 5, {kIdentical}, true},
                      CheckCase{"MinusMinusThAbove", "-", 5, "-", 12.5, {kThAboveTl}, true},
                      CheckCase{"MinusMinusWritten", "-", 12.5, "-", 5, {}, false},
                      CheckCase{"PlusPlusZeros", "+", 0, "+", 0, {kPlusZeros, kIdentical}, true},
                      CheckCase{"PlusPlusEqual", "+", 20, "+", 20, {kIdentical}, true},
                      CheckCase{"PlusPlusTlAbove", "+", 20, "+", 12.5, {kTlAboveTh}, true},
                      CheckCase{"PlusPlusWritten", "+", 12.5, "+", 20, {}, false},
                      CheckCase{"MinusPlusZeros", "-", 0, "+", 0, {kMinusZeroPlusZero}, true},
                      CheckCase{"MinusPlusWritten", "-", 0, "+", 0.5, {}, false},
                      CheckCase{"MinusPlusEqualWritten", "-", 20, "+", 20, {}, false},
                      CheckCase{"PlusMinusZeros", "+", 0, "-", 0, {kPlusZeroMinusZero}, true},
                      CheckCase{"PlusMinusEqual", "+", 5, "-", 5, {kThBelowTlEqual}, true},
                      CheckCase{"PlusMinusLess", "+", 5, "-", 6, {kThBelowTl}, true},
                      CheckCase{"PlusMinusGreater", "+", 6, "-", 5, {kThBelowTl}, true}),
    [](const ::testing::TestParamInfo<CheckCase> &info) { return std::string(info.param.name); });

// --- a click --------------------------------------------------------------

class ConfigSenderSend : public ::testing::Test
{
protected:
    FakeConsoleContext context;
    ConfigSender sender{context};

    FakeThermostat &addThermostat(std::int32_t handle)
    {
        thermostats.push_back(std::make_unique<FakeThermostat>(handle));
        context.devices.push_back(thermostats.back()->device);
        return *thermostats.back();
    }
    std::vector<std::unique_ptr<FakeThermostat>> thermostats;
};

TEST_F(ConfigSenderSend, PositivePairIsWrittenAndLogged)
{
    FakeThermostat &t = addThermostat(7);
    const SendResult r = sender.send(request("+", "12", "5", "+", "20", "0"));

    EXPECT_TRUE(r.accepted);
    EXPECT_EQ(r.Text7, QStringLiteral("12,5   20"));
    EXPECT_EQ(r.Text8, QStringLiteral("125   200"));
    EXPECT_EQ(context.log, deviceBlock("7D", "C8", "41", kSuccess));
    EXPECT_TRUE(context.doubles.messageBoxes->asked().empty());
    EXPECT_EQ(context.doubles.beeper->beeps(), 0);
    EXPECT_EQ(t.written(8), 125);
    EXPECT_EQ(t.written(9), 200);
    EXPECT_EQ(t.written(10), 65);
    EXPECT_EQ(t.written(11), 200);
    EXPECT_EQ(t.written(12), 201);
    EXPECT_EQ(t.agent->calls("WriteCurrentRpt"), 1);
    EXPECT_EQ(t.agent->writtenRpts, std::vector<std::int32_t>{1});
}

TEST_F(ConfigSenderSend, NegativePairShowsTwosComplementOfWhatTheComponentHolds)
{
    FakeThermostat &t = addThermostat(7);
    context.doubles.regional->setDecimalSeparator(QLatin1Char('.'));
    const SendResult r = sender.send(request("-", "12", "5", "-", "5", "0", 66));

    EXPECT_EQ(r.Text7, QStringLiteral("12.5   5"));
    EXPECT_EQ(r.Text8, QStringLiteral("-125   -50"));
    EXPECT_EQ(t.written(8), -125);
    EXPECT_EQ(t.written(9), -50);
    EXPECT_EQ(context.log, deviceBlock("FFFFFF83", "FFFFFFCE", "42", kSuccess));
}

TEST_F(ConfigSenderSend, EmptyTenthsCountAsZero)
{
    FakeThermostat &t = addThermostat(7);
    const SendResult r = sender.send(request("+", "12", "", "+", "20", ""));
    EXPECT_EQ(r.Text8, QStringLiteral("120   200"));
    EXPECT_EQ(t.written(8), 120);
}

struct RejectCase
{
    const char *name;
    SendRequest request;
    QStringList messages;
};

std::ostream &operator<<(std::ostream &os, const RejectCase &c)
{
    return os << c.name;
}

class ConfigSenderReject : public ::testing::TestWithParam<RejectCase>
{
};

TEST_P(ConfigSenderReject, NothingWrittenNothingLogged)
{
    const RejectCase &c = GetParam();
    FakeConsoleContext context;
    FakeThermostat t(5);
    context.devices.push_back(t.device);
    ConfigSender sender(context);

    const SendResult r = sender.send(c.request);

    EXPECT_FALSE(r.accepted);
    EXPECT_EQ(context.doubles.messageBoxes->texts(), c.messages);
    for (const auto &asked : context.doubles.messageBoxes->asked())
        EXPECT_EQ(asked.kind, ScriptedMessageBoxes::Kind::Message);
    EXPECT_TRUE(context.log.isEmpty());
    EXPECT_EQ(t.agent->totalCalls(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConfigSenderReject,
    ::testing::Values(
        RejectCase{"PlusZerosThenIdentical", request("+", "0", "0", "+", "0", "0"), {kPlusZeros, kIdentical}},
        RejectCase{"MinusZeroPlusZero", request("-", "0", "0", "+", "", ""), {kMinusZeroPlusZero}},
        RejectCase{"MinusZerosThenIdentical", request("-", "", "", "-", "0", ""), {kMinusZeros, kIdentical}},
        // Past the thermostat's range once the table has let the pair through.
        RejectCase{"TlBelowMinus55", request("-", "55", "5", "+", "20", "0"), {kRange}},
        RejectCase{"ThAbove125", request("-", "5", "0", "+", "130", "0"), {kRange}},
        RejectCase{"ThJustAbove125", request("+", "20", "0", "+", "125", "5"), {kRange}},
        RejectCase{"BothOutside", request("-", "55", "5", "+", "125", "1"), {kRange}},
        RejectCase{"MinusMinusBelowRange", request("-", "56", "0", "-", "10", "0"), {kRange}}),
    [](const ::testing::TestParamInfo<RejectCase> &info) { return std::string(info.param.name); });

TEST_F(ConfigSenderSend, RangeLimitsThemselvesAreWritten)
{
    FakeThermostat &t = addThermostat(3);
    const SendResult r = sender.send(request("-", "55", "0", "+", "125", "0"));
    EXPECT_TRUE(r.accepted);
    EXPECT_EQ(r.Text8, QStringLiteral("-550   1250"));
    EXPECT_EQ(t.written(8), -550);
    EXPECT_EQ(t.written(9), 1250);
    EXPECT_TRUE(context.doubles.messageBoxes->asked().empty());
}

TEST_F(ConfigSenderSend, MinusZeroAndPlusHalfIsWritten)
{
    FakeThermostat &t = addThermostat(3);
    const SendResult r = sender.send(request("-", "0", "0", "+", "0", "5"));
    EXPECT_TRUE(r.accepted);
    EXPECT_EQ(r.Text7, QStringLiteral("0   0,5"));
    EXPECT_EQ(r.Text8, QStringLiteral("0   5"));
    EXPECT_EQ(t.agent->calls("WriteCurrentRpt"), 1);
}

TEST_F(ConfigSenderSend, TwoDevicesInTheirOrderAndAFailedWriteDoesNotStopTheNext)
{
    FakeThermostat &first = addThermostat(11);
    FakeThermostat &second = addThermostat(12);
    first.agent->writeResult = false;

    sender.send(request("-", "12", "5", "+", "20", "0", 66));

    QStringList expected =
        deviceBlock("FFFFFF83", "C8", "42", QStringLiteral("+ + + Unable to send to device 1! + + +"));
    expected << deviceBlock("FFFFFF83", "C8", "42", kSuccess);
    EXPECT_EQ(context.log, expected);
    EXPECT_EQ(context.doubles.beeper->beeps(), 1);
    // The failed device keeps the values just assigned.
    EXPECT_EQ(first.written(8), -125);
    EXPECT_EQ(second.written(10), 66);
}

TEST_F(ConfigSenderSend, EmptyDevicesOnlyChangesTheTexts)
{
    const SendResult r = sender.send(request("+", "1", "0", "+", "2", "0"));
    EXPECT_TRUE(r.accepted);
    EXPECT_EQ(r.Text8, QStringLiteral("10   20"));
    EXPECT_TRUE(context.log.isEmpty());
}

struct FailureCase
{
    const char *name;
    const char *operation;
    ScriptedHidAgent::Throw kind;
    int afterCalls;
    int linesBeforeFailure; // of device 1, the empty line included
    const char *failure;
};

std::ostream &operator<<(std::ostream &os, const FailureCase &c)
{
    return os << c.name;
}

class ConfigSenderFailure : public ::testing::TestWithParam<FailureCase>
{
};

TEST_P(ConfigSenderFailure, ComponentFailureStopsThatDeviceOnly)
{
    const FailureCase &c = GetParam();
    FakeConsoleContext context;
    FakeThermostat first(21);
    FakeThermostat second(22);
    context.devices = {first.device, second.device};
    first.agent->failOn(c.operation, c.kind, c.afterCalls);
    ConfigSender sender(context);

    const SendResult r = sender.send(request("+", "12", "5", "+", "20", "0"));

    EXPECT_TRUE(r.accepted);
    const QStringList full = deviceBlock("7D", "C8", "41", kSuccess);
    QStringList expected = full.mid(0, c.linesBeforeFailure);
    expected << QStringLiteral("+ + + Unable to send to device 1! ") + QString::fromUtf8(c.failure) +
                    QStringLiteral(" + + +");
    expected << full;
    EXPECT_EQ(context.log, expected);
    EXPECT_EQ(context.doubles.beeper->beeps(), 1);
    EXPECT_EQ(first.agent->calls("WriteCurrentRpt"), 0);
    EXPECT_EQ(second.agent->calls("WriteCurrentRpt"), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConfigSenderFailure,
    ::testing::Values(FailureCase{"FirstSet", "SetVarUnScaledValue", ScriptedHidAgent::Throw::Record, 0, 1,
                                  "ScriptedHidAgent:SetVarUnScaledValue: injected failure"},
                      FailureCase{"ThirdSet", "SetVarUnScaledValue", ScriptedHidAgent::Throw::Record, 2, 3,
                                  "ScriptedHidAgent:SetVarUnScaledValue: injected failure"},
                      FailureCase{"ReadBack", "VarUnScaledValue", ScriptedHidAgent::Throw::StdException, 1, 2,
                                  "injected failure in VarUnScaledValue"},
                      FailureCase{"ReportSelect", "SelectRpt", ScriptedHidAgent::Throw::Int, 0, 6,
                                  "unknown failure"}),
    [](const ::testing::TestParamInfo<FailureCase> &info) { return std::string(info.param.name); });
