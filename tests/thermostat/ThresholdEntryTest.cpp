#include "ThresholdEntry.h"

#include <gtest/gtest.h>
#include <ostream>

using Threshold = ThresholdEntry::Threshold;
using RelayMode = ThresholdEntry::RelayMode;

namespace {

const QString kLimitMessage = QStringLiteral("Merci de mettre une valeur < ou = a 55 ° C");

// The state the window starts with after its load steps 7, 8 and 10.
ThresholdEntry startedEntry()
{
    ThresholdEntry e;
    e.setTenthsMaxLengths();
    e.resetModeRelais();
    e.clearEntryFlags();
    return e;
}

// Sets all six flags but one, leaving the named event to complete them.
void fillAllFlagsBut(ThresholdEntry &e, const std::string &missing)
{
    if (missing != "t1 sign")
        e.chooseSign(Threshold::TL, QStringLiteral("-"));
    if (missing != "t2 sign")
        e.chooseSign(Threshold::TH, QStringLiteral("+"));
    if (missing != "t1 value")
        e.valueTextChanged(Threshold::TL, QStringLiteral("12"));
    if (missing != "t2 value")
        e.valueTextChanged(Threshold::TH, QStringLiteral("20"));
    if (missing != "t1 tenths")
        e.dixiemeTextChanged(Threshold::TL, QStringLiteral("5"));
    if (missing != "t2 tenths")
        e.dixiemeTextChanged(Threshold::TH, QStringLiteral("0"));
}

} // namespace

TEST(ThresholdEntryStart, LoadStepsSetTenthsLengthModeAAndClearFlags)
{
    ThresholdEntry e;
    fillAllFlagsBut(e, "none");
    e.chooseMode(RelayMode::B);
    ASSERT_TRUE(e.allEntryFlags());

    e.setTenthsMaxLengths();
    e.resetModeRelais();
    e.clearEntryFlags();

    for (const ThresholdFields *f : {&e.t1(), &e.t2()}) {
        EXPECT_EQ(f->dixiemeMaxLength, 1);
        EXPECT_FALSE(f->Ok_signe);
        EXPECT_FALSE(f->Ok_value);
        EXPECT_FALSE(f->Ok_dixieme);
    }
    EXPECT_EQ(e.Mode_relais(), 65);
}

TEST(ThresholdEntryStart, FreshEntryHasNoSignNoMaximumAndModeA)
{
    const ThresholdEntry e = startedEntry();
    EXPECT_TRUE(e.Signe_t1().isEmpty());
    EXPECT_TRUE(e.Signe_t2().isEmpty());
    EXPECT_EQ(e.t1().valueMaxLength, 0);
    EXPECT_FALSE(e.t1().dixiemeLocked);
    EXPECT_EQ(e.Mode_relais(), 65);
    EXPECT_FALSE(e.configButtonShown());
}

// --- choosing a sign ------------------------------------------------------

struct SignCase
{
    const char *name;
    Threshold threshold;
    const char *valueBefore;
    const char *sign;
    const char *valueAfter;
    bool message;
    const char *tenthsAfter;
    bool locked;
    int maxLength;
};

std::ostream &operator<<(std::ostream &os, const SignCase &c)
{
    return os << c.name;
}

class ThresholdEntrySign : public ::testing::TestWithParam<SignCase>
{
};

TEST_P(ThresholdEntrySign, ClampsToTheSignsLimit)
{
    const SignCase &c = GetParam();
    ThresholdEntry e = startedEntry();
    e.valueTextChanged(c.threshold, QString::fromUtf8(c.valueBefore));
    const QString tenthsBefore = e.fields(c.threshold).dixiemeText;

    const QStringList messages = e.chooseSign(c.threshold, QString::fromUtf8(c.sign));

    const ThresholdFields &f = e.fields(c.threshold);
    EXPECT_EQ(messages, c.message ? QStringList{kLimitMessage} : QStringList{});
    EXPECT_EQ(f.valueText, QString::fromUtf8(c.valueAfter));
    EXPECT_EQ(f.dixiemeText, c.tenthsAfter ? QString::fromUtf8(c.tenthsAfter) : tenthsBefore);
    EXPECT_EQ(f.dixiemeLocked, c.locked);
    EXPECT_EQ(f.valueMaxLength, c.maxLength);
    EXPECT_EQ(f.signeText, QString::fromUtf8(c.sign));
    EXPECT_EQ(f.Signe, QString::fromUtf8(c.sign));
    EXPECT_TRUE(f.Ok_signe);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ThresholdEntrySign,
    ::testing::Values(
        // The message first, then "55" with its tenths at "0", locked.
        SignCase{"TL100Minus", Threshold::TL, "100", "-", "55", true, "0", true, 2},
        SignCase{"TL56Minus", Threshold::TL, "56", "-", "55", true, "0", true, 2},
        // 55 is not above 55: no message, the tenths stay as they are.
        SignCase{"TL55Minus", Threshold::TL, "55", "-", "55", false, nullptr, false, 2},
        SignCase{"TL54Minus", Threshold::TL, "54", "-", "54", false, nullptr, false, 2},
        // Above 125 under "+": the limit without a message.
        SignCase{"TL130Plus", Threshold::TL, "130", "+", "125", false, "0", true, 3},
        SignCase{"TL125Plus", Threshold::TL, "125", "+", "125", false, nullptr, false, 3},
        SignCase{"TL100Plus", Threshold::TL, "100", "+", "100", false, nullptr, false, 3},
        SignCase{"TL0Plus", Threshold::TL, "0", "+", "0", false, nullptr, false, 3},
        SignCase{"TLEmptyMinus", Threshold::TL, "", "-", "", false, nullptr, false, 2},
        SignCase{"TH100Minus", Threshold::TH, "100", "-", "55", true, "0", true, 2},
        SignCase{"TH99Plus", Threshold::TH, "99", "+", "99", false, nullptr, false, 3},
        // A text longer than the new maximum keeps its value ("054" is 54,
        // not the "05" a cut would leave).
        SignCase{"TL054Minus", Threshold::TL, "054", "-", "54", false, nullptr, false, 2},
        SignCase{"TL0007Plus", Threshold::TL, "0007", "+", "7", false, nullptr, false, 3}),
    [](const ::testing::TestParamInfo<SignCase> &info) { return std::string(info.param.name); });

TEST(ThresholdEntrySignChange, LaterSignChangeLeavesTenthsAndLockAlone)
{
    ThresholdEntry e = startedEntry();
    e.chooseSign(Threshold::TL, QStringLiteral("+"));
    e.valueTextChanged(Threshold::TL, QStringLiteral("55"));
    e.dixiemeTextChanged(Threshold::TL, QStringLiteral("5"));

    // -55.5 stands in the fields; the send step is what refuses it.
    EXPECT_TRUE(e.chooseSign(Threshold::TL, QStringLiteral("-")).isEmpty());
    EXPECT_EQ(e.t1().valueText, QStringLiteral("55"));
    EXPECT_EQ(e.t1().dixiemeText, QStringLiteral("5"));
    EXPECT_FALSE(e.t1().dixiemeLocked);

    // And the other way: locked at -55.0, then "+" keeps "0" locked.
    ThresholdEntry f = startedEntry();
    f.chooseSign(Threshold::TH, QStringLiteral("-"));
    f.valueTextChanged(Threshold::TH, QStringLiteral("55"));
    ASSERT_TRUE(f.t2().dixiemeLocked);
    f.chooseSign(Threshold::TH, QStringLiteral("+"));
    EXPECT_TRUE(f.t2().dixiemeLocked);
    EXPECT_EQ(f.t2().dixiemeText, QStringLiteral("0"));
    EXPECT_EQ(f.t2().valueMaxLength, 3);
}

TEST(ThresholdEntrySignChange, SignChangeAlwaysSetsTenthsMaximumToOne)
{
    ThresholdEntry e; // before the load steps: no maximum yet
    ASSERT_EQ(e.t2().dixiemeMaxLength, 0);
    e.chooseSign(Threshold::TH, QStringLiteral("+"));
    EXPECT_EQ(e.t2().dixiemeMaxLength, 1);
    EXPECT_EQ(e.t1().dixiemeMaxLength, 0);
}

// --- whole-degree text ----------------------------------------------------

struct ValueCase
{
    const char *name;
    Threshold threshold;
    const char *sign; // "" for none
    const char *typed;
    const char *valueAfter;
    const char *tenthsAfter; // nullptr: untouched (stays "7")
    bool locked;
};

std::ostream &operator<<(std::ostream &os, const ValueCase &c)
{
    return os << c.name;
}

class ThresholdEntryValue : public ::testing::TestWithParam<ValueCase>
{
};

TEST_P(ThresholdEntryValue, ChangeRules)
{
    const ValueCase &c = GetParam();
    ThresholdEntry e = startedEntry();
    if (*c.sign)
        e.chooseSign(c.threshold, QString::fromUtf8(c.sign));
    e.dixiemeTextChanged(c.threshold, QStringLiteral("7"));

    e.valueTextChanged(c.threshold, QString::fromUtf8(c.typed));

    const ThresholdFields &f = e.fields(c.threshold);
    EXPECT_EQ(f.valueText, QString::fromUtf8(c.valueAfter));
    EXPECT_EQ(f.dixiemeText, QString::fromUtf8(c.tenthsAfter ? c.tenthsAfter : "7"));
    EXPECT_EQ(f.dixiemeLocked, c.locked);
    EXPECT_TRUE(f.Ok_value);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ThresholdEntryValue,
    ::testing::Values(ValueCase{"TLMinus55LocksTenthsAtZero", Threshold::TL, "-", "55", "55", "0", true},
                      ValueCase{"TLMinus54LeavesTenthsFree", Threshold::TL, "-", "54", "54", nullptr, false},
                      ValueCase{"TLMinus99ClampsSilently", Threshold::TL, "-", "99", "55", "0", true},
                      ValueCase{"TLPlus125Locks", Threshold::TL, "+", "125", "125", "0", true},
                      ValueCase{"TLPlus130Clamps", Threshold::TL, "+", "130", "125", "0", true},
                      ValueCase{"TLPlus55IsNoLimit", Threshold::TL, "+", "55", "55", nullptr, false},
                      ValueCase{"TLNoSign130Stays", Threshold::TL, "", "130", "130", nullptr, false},
                      ValueCase{"TLNoSign55Stays", Threshold::TL, "", "55", "55", nullptr, false},
                      // TH never exceeds 125, with or without a sign.
                      ValueCase{"THNoSign130Clamps", Threshold::TH, "", "130", "125", "0", false},
                      ValueCase{"THNoSign125Stays", Threshold::TH, "", "125", "125", nullptr, false},
                      ValueCase{"THPlus130Clamps", Threshold::TH, "+", "130", "125", "0", true},
                      ValueCase{"THMinus200EndsAt55", Threshold::TH, "-", "200", "55", "0", true},
                      ValueCase{"THMinus55Locks", Threshold::TH, "-", "55", "55", "0", true},
                      ValueCase{"THMinusEmpty", Threshold::TH, "-", "", "", nullptr, false},
                      ValueCase{"TLHugeNumberClamps", Threshold::TL, "+", "99999999999999999999", "125", "0",
                                true}),
    [](const ::testing::TestParamInfo<ValueCase> &info) { return std::string(info.param.name); });

TEST(ThresholdEntryValueFlags, ClampOfTHSetsItsTenthsFlagThroughTheChange)
{
    ThresholdEntry e = startedEntry();
    e.valueTextChanged(Threshold::TH, QStringLiteral("130"));
    EXPECT_TRUE(e.t2().Ok_value);
    // The tenths went from empty to "0": a change like any other.
    EXPECT_TRUE(e.t2().Ok_dixieme);
    EXPECT_FALSE(e.t1().Ok_value);
}

TEST(ThresholdEntryValueFlags, LeavingTheLimitUnlocksTheTenths)
{
    ThresholdEntry e = startedEntry();
    e.chooseSign(Threshold::TL, QStringLiteral("-"));
    e.valueTextChanged(Threshold::TL, QStringLiteral("55"));
    ASSERT_TRUE(e.t1().dixiemeLocked);
    e.valueTextChanged(Threshold::TL, QStringLiteral("5"));
    EXPECT_FALSE(e.t1().dixiemeLocked);
    EXPECT_EQ(e.t1().dixiemeText, QStringLiteral("0"));
}

// --- clicks ---------------------------------------------------------------

TEST(ThresholdEntryClick, ClickOnWholeFieldEmptiesItAndSetsItsFlag)
{
    ThresholdEntry e = startedEntry();
    e.valueTextChanged(Threshold::TL, QStringLiteral("42"));
    e.clearEntryFlags();

    e.clickValue(Threshold::TL);
    EXPECT_TRUE(e.t1().valueText.isEmpty());
    EXPECT_TRUE(e.t1().Ok_value);

    // Already empty: the click still counts as a change.
    e.clickValue(Threshold::TH);
    EXPECT_TRUE(e.t2().Ok_value);
}

TEST(ThresholdEntryClick, ClickOnWholeFieldAtTheLimitUnlocks)
{
    ThresholdEntry e = startedEntry();
    e.chooseSign(Threshold::TH, QStringLiteral("+"));
    e.valueTextChanged(Threshold::TH, QStringLiteral("125"));
    ASSERT_TRUE(e.t2().dixiemeLocked);
    e.clickValue(Threshold::TH);
    EXPECT_FALSE(e.t2().dixiemeLocked);
}

TEST(ThresholdEntryClick, ClickOnTenthsAtTheLimitLeavesZeroLocked)
{
    ThresholdEntry e = startedEntry();
    e.chooseSign(Threshold::TL, QStringLiteral("-"));
    e.valueTextChanged(Threshold::TL, QStringLiteral("55"));
    e.clearEntryFlags();

    e.clickDixieme(Threshold::TL);
    EXPECT_EQ(e.t1().dixiemeText, QStringLiteral("0"));
    EXPECT_TRUE(e.t1().dixiemeLocked);
    EXPECT_TRUE(e.t1().Ok_dixieme);
}

TEST(ThresholdEntryClick, ClickOnTenthsBelowTheLimitEmptiesThem)
{
    ThresholdEntry e = startedEntry();
    e.chooseSign(Threshold::TL, QStringLiteral("+"));
    e.valueTextChanged(Threshold::TL, QStringLiteral("12"));
    e.dixiemeTextChanged(Threshold::TL, QStringLiteral("5"));
    e.clearEntryFlags();

    e.clickDixieme(Threshold::TL);
    EXPECT_TRUE(e.t1().dixiemeText.isEmpty());
    EXPECT_FALSE(e.t1().dixiemeLocked);
    EXPECT_TRUE(e.t1().Ok_dixieme);
}

TEST(ThresholdEntryClick, ClickOnTenthsWithoutSignDoesNotLock)
{
    ThresholdEntry e = startedEntry();
    e.valueTextChanged(Threshold::TL, QStringLiteral("55"));
    e.clickDixieme(Threshold::TL);
    EXPECT_TRUE(e.t1().dixiemeText.isEmpty());
    EXPECT_FALSE(e.t1().dixiemeLocked);
}

// --- relay mode -----------------------------------------------------------

TEST(ThresholdEntryMode, ModeBIs66AndModeAAgainIs65WithoutAnyFlag)
{
    ThresholdEntry e = startedEntry();
    e.chooseMode(RelayMode::B);
    EXPECT_EQ(e.Mode_relais(), 66);
    e.chooseMode(RelayMode::A);
    EXPECT_EQ(e.Mode_relais(), 65);
    EXPECT_FALSE(e.t1().Ok_signe || e.t1().Ok_value || e.t1().Ok_dixieme || e.t2().Ok_signe ||
                 e.t2().Ok_value || e.t2().Ok_dixieme);
}

// --- the "Configuration" button -------------------------------------------

class ThresholdEntryButton : public ::testing::TestWithParam<std::string>
{
};

TEST_P(ThresholdEntryButton, AppearsAtTheEventThatCompletesTheSixFlags)
{
    ThresholdEntry e = startedEntry();
    fillAllFlagsBut(e, GetParam());
    e.chooseMode(RelayMode::B);
    EXPECT_FALSE(e.configButtonShown());

    const std::string &last = GetParam();
    if (last == "t1 sign")
        e.chooseSign(Threshold::TL, QStringLiteral("-"));
    else if (last == "t2 sign")
        e.chooseSign(Threshold::TH, QStringLiteral("+"));
    else if (last == "t1 value")
        e.clickValue(Threshold::TL);
    else if (last == "t2 value")
        e.valueTextChanged(Threshold::TH, QStringLiteral("3"));
    else if (last == "t1 tenths")
        e.clickDixieme(Threshold::TL);
    else
        e.dixiemeTextChanged(Threshold::TH, QStringLiteral("2"));
    EXPECT_TRUE(e.configButtonShown());

    // Nothing hides it again.
    e.clearEntryFlags();
    EXPECT_TRUE(e.configButtonShown());
}

INSTANTIATE_TEST_SUITE_P(LastEvent, ThresholdEntryButton,
                         ::testing::Values("t1 sign", "t2 sign", "t1 value", "t2 value", "t1 tenths",
                                           "t2 tenths"),
                         [](const ::testing::TestParamInfo<std::string> &info) {
                             std::string n = info.param;
                             for (char &ch : n)
                                 ch = ch == ' ' ? '_' : ch;
                             return n;
                         });

// --- text rules -----------------------------------------------------------

struct TextCase
{
    const char *text;
    bool value;
    bool tenths;
};

class ThresholdEntryText : public ::testing::TestWithParam<TextCase>
{
};

TEST_P(ThresholdEntryText, WhatTheFieldsAccept)
{
    const TextCase &c = GetParam();
    const QString text = QString::fromUtf8(c.text);
    EXPECT_EQ(ThresholdEntry::acceptsValueText(text), c.value) << c.text;
    EXPECT_EQ(ThresholdEntry::acceptsDixiemeText(text), c.tenths) << c.text;
}

INSTANTIATE_TEST_SUITE_P(Cases, ThresholdEntryText,
                         ::testing::Values(TextCase{"", true, true}, TextCase{"5", true, true},
                                           TextCase{"0", true, true}, TextCase{"9", true, true},
                                           TextCase{"12", true, false}, TextCase{"125", true, false},
                                           TextCase{"a", false, false}, TextCase{"-", false, false},
                                           TextCase{"+", false, false}, TextCase{".", false, false},
                                           TextCase{",", false, false}, TextCase{" ", false, false},
                                           TextCase{"1a", false, false}, TextCase{"٣", false, false}));

TEST(ThresholdEntryWholeValue, LeadingDigitsEmptyAndHugeTexts)
{
    EXPECT_EQ(ThresholdEntry::wholeValue(QString()), 0);
    EXPECT_EQ(ThresholdEntry::wholeValue(QStringLiteral("abc")), 0);
    EXPECT_EQ(ThresholdEntry::wholeValue(QStringLiteral("12a9")), 12);
    EXPECT_EQ(ThresholdEntry::wholeValue(QStringLiteral("007")), 7);
    EXPECT_EQ(ThresholdEntry::wholeValue(QStringLiteral("130")), 130);
    EXPECT_GT(ThresholdEntry::wholeValue(QStringLiteral("99999999999999999999999999")), 125);
    EXPECT_EQ(ThresholdEntry::limitText(QStringLiteral("-")), QStringLiteral("55"));
    EXPECT_EQ(ThresholdEntry::limitText(QStringLiteral("+")), QStringLiteral("125"));
    EXPECT_TRUE(ThresholdEntry::limitText(QString()).isEmpty());
}
