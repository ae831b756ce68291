#include "ScriptedHidAgent.h"
#include "TOneHidVar.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <stdexcept>

namespace {

using Var = ScriptedHidAgent::Var;

const QString Unknown = QStringLiteral("An unknown error has occurred!");
constexpr std::int32_t TrappedCode = -2147211505; // 0x8004270F

// A component with one open interface (handle 0x51) holding two variables
// on page 0xFF00: usage 2 of input report 4 (AllVarIndex 0) and usage 9 of
// output report 6 (AllVarIndex 1), each with distinct attributes.
std::shared_ptr<ScriptedHidAgent> makeAgent()
{
    auto agent = std::make_shared<ScriptedHidAgent>();
    agent->addIntf(0x51, 2341, 20480);
    agent->currentIntf = 0;
    Var in;
    in.usagePage = 0xFF00;
    in.usage = 2;
    in.rptType = HIDagentX::Input;
    in.intfHandle = 0x51;
    in.rptIndex = 4;
    in.absoluteNotRelative = true;
    in.arrayNotVariable = false;
    in.bitsNotBuffer = true;
    in.hasNullState = true;
    in.isButton = true;
    in.linear = true;
    in.logicalMaximum = 65535;
    in.logicalMinimum = -3;
    in.noPrefState = true;
    in.noWrap = true;
    in.physicalMaximum = 1250;
    in.physicalMinimum = -550;
    in.sizeInBits = 16;
    in.stringDescriptor = QStringLiteral("sonde");
    in.isVolatile = true;
    in.scaleMode = HIDagentX::smScaledOnly;
    in.unscaled = 65411;
    in.scaled = -125;
    agent->addVar(in);
    Var out = in;
    out.usage = 9;
    out.rptType = HIDagentX::Output;
    out.rptIndex = 6;
    agent->addVar(out);
    return agent;
}

std::shared_ptr<TOneHidVar> makeVar(std::int32_t rptType = HIDagentX::Input, std::int32_t usage = 2)
{
    auto v = std::make_shared<TOneHidVar>();
    v->DoCreate(rptType, 0xFF00, usage, 1, QStringLiteral("InTempLowVar"));
    return v;
}

void expectTrap(const std::function<void()> &call, const QString &source)
{
    try {
        call();
        ADD_FAILURE() << "no failure, expected one from " << source.toStdString();
    } catch (const ErrorRecord &e) {
        EXPECT_EQ(e.code(), TrappedCode) << source.toStdString();
        EXPECT_EQ(e.source(), source);
        EXPECT_EQ(e.description(), Unknown);
    }
}

TEST(TOneHidVar, FreshVariableIsUnboundWithItsCreatorsValues)
{
    auto v = makeVar(HIDagentX::Output, 9);
    EXPECT_FALSE(v->IsBound());
    EXPECT_EQ(v->VarIndex(), -1);
    EXPECT_EQ(v->RptIndex(), -1);
    EXPECT_EQ(v->HidHandle(), 0);
    EXPECT_EQ(v->RptType(), HIDagentX::Output);
    EXPECT_EQ(v->UsagePage(), 0xFF00);
    EXPECT_EQ(v->Usage(), 9);
    EXPECT_EQ(v->VarIdentity(), 1);
    EXPECT_EQ(v->VarName(), QStringLiteral("InTempLowVar"));
    EXPECT_EQ(v->Tag(), 0);
    EXPECT_EQ(v->SizeInBits(), 0);
    EXPECT_EQ(v->ScaleMode(), HIDagentX::smUnscaledOnly);
    EXPECT_EQ(v->UnScaledValue(), 0);
    EXPECT_EQ(v->ScaledValue(), 0);
    EXPECT_FALSE(v->update(true));
    EXPECT_FALSE(v->update(false));
    // Writes to an unbound variable with no component at all go nowhere.
    v->setUnScaledValue(5);
    v->setScaledValue(5);
    v->setScaleMode(0);
    EXPECT_EQ(v->UnScaledValue(), 0);
}

TEST(TOneHidVar, DoCreateRefusesAReportTypeBeyond16BitsAndStoresNothing)
{
    auto v = makeVar(HIDagentX::Feature, 3);
    EXPECT_THROW(v->DoCreate(70000, 1, 2, 3, QStringLiteral("other")), ErrorRecord);
    EXPECT_EQ(v->RptType(), HIDagentX::Feature);
    EXPECT_EQ(v->Usage(), 3);
    EXPECT_EQ(v->VarName(), QStringLiteral("InTempLowVar"));
}

TEST(TOneHidVar, BindWithoutAMatchStaysUnboundKeepsTheComponentAndCallsNothingAfterwards)
{
    auto agent = makeAgent();
    agent->notFound = -7;
    auto v = makeVar(HIDagentX::Input, 12);
    EXPECT_FALSE(v->Bind(agent));
    EXPECT_EQ(v->VarIndex(), -7);
    EXPECT_FALSE(v->IsBound());
    EXPECT_EQ(agent.use_count(), 2) << "the variable holds the component";
    EXPECT_EQ(agent->totalCalls(), 1);

    EXPECT_EQ(v->ScaleMode(), HIDagentX::smUnscaledOnly);
    EXPECT_EQ(v->UnScaledValue(), 0);
    EXPECT_EQ(v->ScaledValue(), 0);
    v->setScaleMode(0);
    v->setUnScaledValue(3);
    v->setScaledValue(3);
    EXPECT_FALSE(v->update(true));
    EXPECT_EQ(agent->totalCalls(), 1) << "being unbound is answered without the component";

    v.reset();
    EXPECT_EQ(agent.use_count(), 1) << "destruction lets go of the component";
}

TEST(TOneHidVar, BindCopiesEverythingInOrderAndSwitchesToUnscaledOnly)
{
    auto agent = makeAgent();
    auto v = makeVar();
    ASSERT_TRUE(v->Bind(agent));

    const std::vector<std::string> expected = {
        "FindVar",      "SelectVar",      "CurrentIntfHandle", "VarRptIndex",    "AbsoluteNotRelative",
        "ArrayNotVariable", "BitsNotBuffer", "HasNullState",  "VarIsButton",     "Linear",
        "LogicalMaximum", "LogicalMinimum", "NoPrefState",     "NoWrap",          "PhysicalMaximum",
        "PhysicalMinimum", "SizeInBits",    "StringDescriptor", "Volatile",       "SetVarName",
        "SetVarScaleMode"};
    EXPECT_EQ(agent->log, expected);

    EXPECT_TRUE(v->IsBound());
    EXPECT_EQ(v->VarIndex(), 0);
    EXPECT_EQ(v->HidHandle(), 0x51);
    EXPECT_EQ(v->RptIndex(), 4);
    EXPECT_TRUE(v->AbsoluteNotRelative());
    EXPECT_FALSE(v->ArrayNotVariable());
    EXPECT_TRUE(v->BitsNotBuffer());
    EXPECT_TRUE(v->HasNullState());
    EXPECT_TRUE(v->IsButton());
    EXPECT_TRUE(v->Linear());
    EXPECT_EQ(v->LogicalMaximum(), 65535);
    EXPECT_EQ(v->LogicalMinimum(), -3);
    EXPECT_TRUE(v->NoPrefState());
    EXPECT_TRUE(v->NoWrap());
    EXPECT_EQ(v->PhysicalMaximum(), 1250);
    EXPECT_EQ(v->PhysicalMinimum(), -550);
    EXPECT_EQ(v->SizeInBits(), 16);
    EXPECT_EQ(v->StringDescriptor(), QStringLiteral("sonde"));
    EXPECT_TRUE(v->Volatile());
    // Creator's values untouched by binding.
    EXPECT_EQ(v->Usage(), 2);
    EXPECT_EQ(v->UsagePage(), 0xFF00);
    EXPECT_EQ(v->RptType(), HIDagentX::Input);
    EXPECT_EQ(v->VarIdentity(), 1);

    EXPECT_EQ(agent->var(0).name, QStringLiteral("InTempLowVar"));
    EXPECT_EQ(agent->var(0).scaleMode, HIDagentX::smUnscaledOnly) << "was smScaledOnly before";
    EXPECT_EQ(agent->var(1).scaleMode, HIDagentX::smScaledOnly) << "other variables keep theirs";
}

TEST(TOneHidVar, BindingAgainRunsTheWholeLookup)
{
    auto agent = makeAgent();
    auto v = makeVar();
    ASSERT_TRUE(v->Bind(agent));
    agent->var(0).usage = 99; // the variable moved: now AllVarIndex 2
    Var moved = agent->var(0);
    moved.usage = 2;
    moved.rptIndex = 8;
    agent->addVar(moved);
    ASSERT_TRUE(v->Bind(agent));
    EXPECT_EQ(agent->calls("FindVar"), 2);
    EXPECT_EQ(v->VarIndex(), 2);
    EXPECT_EQ(v->RptIndex(), 8);
}

TEST(TOneHidVar, UnBindForgetsTheLookupButKeepsHandleFlagsSizeAndCreatorsValues)
{
    auto agent = makeAgent();
    auto v = makeVar();
    ASSERT_TRUE(v->Bind(agent));
    agent->clearLog();
    v->UnBind();
    EXPECT_EQ(agent->totalCalls(), 0);
    EXPECT_FALSE(v->IsBound());
    EXPECT_EQ(v->VarIndex(), -1);
    EXPECT_EQ(v->RptIndex(), -1);
    EXPECT_EQ(v->LogicalMaximum(), 0);
    EXPECT_EQ(v->LogicalMinimum(), 0);
    EXPECT_EQ(v->PhysicalMaximum(), 0);
    EXPECT_EQ(v->PhysicalMinimum(), 0);
    EXPECT_TRUE(v->VarName().isEmpty());
    EXPECT_TRUE(v->StringDescriptor().isEmpty());

    EXPECT_EQ(v->HidHandle(), 0x51);
    EXPECT_TRUE(v->IsButton());
    EXPECT_TRUE(v->Volatile());
    EXPECT_EQ(v->SizeInBits(), 16);
    EXPECT_EQ(v->Usage(), 2);
    EXPECT_EQ(v->UsagePage(), 0xFF00);
    EXPECT_EQ(v->RptType(), HIDagentX::Input);
    EXPECT_EQ(v->VarIdentity(), 1);
    EXPECT_EQ(agent.use_count(), 2);

    // The emptied name is what the component learns on the next bind.
    ASSERT_TRUE(v->Bind(agent));
    EXPECT_TRUE(agent->var(0).name.isEmpty());
}

TEST(TOneHidVar, ValuesAndScaleModeGoToTheBoundVariable)
{
    auto agent = makeAgent();
    auto v = makeVar(HIDagentX::Output, 9);
    ASSERT_TRUE(v->Bind(agent));
    ASSERT_EQ(v->VarIndex(), 1);

    v->setUnScaledValue(200);
    EXPECT_EQ(agent->var(1).unscaled, 200);
    EXPECT_EQ(v->UnScaledValue(), 200);
    v->setScaledValue(-125);
    EXPECT_EQ(agent->var(1).scaled, -125);
    EXPECT_EQ(v->ScaledValue(), -125);
    EXPECT_EQ(agent->var(0).unscaled, 65411) << "the other variable is untouched";

    agent->currentVar = 0; // something else made another variable current
    v->setScaleMode(7);    // passed on unchecked
    EXPECT_EQ(agent->currentVar, 1);
    EXPECT_EQ(agent->var(1).scaleMode, 7);
    agent->currentVar = 0;
    agent->var(1).scaleMode = HIDagentX::smBoth;
    EXPECT_EQ(v->ScaleMode(), HIDagentX::smBoth);
    EXPECT_EQ(agent->currentVar, 1);
}

TEST(TOneHidVar, TagAndBoolValueNeverReachTheComponent)
{
    auto agent = makeAgent();
    auto v = makeVar();
    ASSERT_TRUE(v->Bind(agent));
    agent->clearLog();
    v->setTag(-77);
    EXPECT_EQ(v->Tag(), -77);
    v->setBoolValue(true);
    EXPECT_FALSE(v->BoolValue());
    EXPECT_EQ(agent->totalCalls(), 0);
}

struct UpdateCase
{
    std::int32_t rptType;
    bool dataIn;
    const char *transfer; // nullptr: none
};

class Update : public ::testing::TestWithParam<UpdateCase>
{
};

TEST_P(Update, ReadsOrWritesTheVariablesReportByType)
{
    const UpdateCase c = GetParam();
    auto agent = makeAgent();
    agent->var(0).rptType = c.rptType;
    auto v = makeVar(c.rptType, 2);
    ASSERT_TRUE(v->Bind(agent));
    agent->clearLog();
    agent->readResult = true;
    agent->writeResult = true;

    const bool result = v->update(c.dataIn);
    EXPECT_EQ(agent->currentRpt, 4) << "the current report is set in any case";
    EXPECT_EQ(agent->calls("setCurrentRptNum"), 1);
    if (!c.transfer) {
        EXPECT_FALSE(result);
        EXPECT_EQ(agent->totalCalls(), 1);
        return;
    }
    EXPECT_TRUE(result);
    EXPECT_EQ(agent->log, (std::vector<std::string>{"setCurrentRptNum", c.transfer}));

    // The answer is the component's.
    agent->readResult = false;
    agent->writeResult = false;
    EXPECT_FALSE(v->update(c.dataIn));
}

INSTANTIATE_TEST_SUITE_P(
    Types, Update,
    ::testing::Values(UpdateCase{HIDagentX::Input, true, "ReadCurrentRpt"},
                      UpdateCase{HIDagentX::Input, false, "ReadCurrentRpt"},
                      UpdateCase{HIDagentX::Output, true, "WriteCurrentRpt"},
                      UpdateCase{HIDagentX::Output, false, "WriteCurrentRpt"},
                      UpdateCase{HIDagentX::Feature, true, "ReadCurrentRpt"},
                      UpdateCase{HIDagentX::Feature, false, "WriteCurrentRpt"},
                      UpdateCase{3, true, nullptr}, UpdateCase{-1, false, nullptr}));

// Every way a trapped member can fail, with the source its caller sees.
struct TrapCase
{
    const char *failingOp;
    ScriptedHidAgent::Throw kind;
    std::function<void(TOneHidVar &, const std::shared_ptr<ScriptedHidAgent> &)> call;
    const char *source;
};

class Traps : public ::testing::TestWithParam<TrapCase>
{
};

TEST_P(Traps, FailWithTheUniformRecordNamingTheMember)
{
    const TrapCase c = GetParam();
    auto agent = makeAgent();
    auto v = makeVar();
    ASSERT_TRUE(v->Bind(agent));
    agent->failOn(c.failingOp, c.kind);
    expectTrap([&] { c.call(*v, agent); }, QString::fromLatin1(c.source));
}

using K = ScriptedHidAgent::Throw;
const auto bind = [](TOneHidVar &v, const std::shared_ptr<ScriptedHidAgent> &a) { v.Bind(a); };
const auto scaledGet = [](TOneHidVar &v, const std::shared_ptr<ScriptedHidAgent> &) { v.ScaledValue(); };
const auto scaledLet = [](TOneHidVar &v, const std::shared_ptr<ScriptedHidAgent> &) { v.setScaledValue(1); };
const auto updateIn = [](TOneHidVar &v, const std::shared_ptr<ScriptedHidAgent> &) { v.update(true); };
// Rebinds the variable as the output one of the same interface first.
const auto updateOut = [](TOneHidVar &v, const std::shared_ptr<ScriptedHidAgent> &a) {
    v.DoCreate(HIDagentX::Output, 0xFF00, 9, 1, QStringLiteral("OutTempHighVar"));
    a->clearFailures();
    v.Bind(a);
    a->failOn("WriteCurrentRpt");
    v.update(true);
};

INSTANTIATE_TEST_SUITE_P(
    Members, Traps,
    ::testing::Values(
        TrapCase{"FindVar", K::Record, bind, "OneHidVar:Bind Method"},
        TrapCase{"SelectVar", K::StdException, bind, "OneHidVar:Bind Method"},
        TrapCase{"CurrentIntfHandle", K::Int, bind, "OneHidVar:Bind Method"},
        TrapCase{"VarRptIndex", K::Record, bind, "OneHidVar:Bind Method"},
        TrapCase{"AbsoluteNotRelative", K::Record, bind, "OneHidVar:Bind Method"},
        TrapCase{"ArrayNotVariable", K::Record, bind, "OneHidVar:Bind Method"},
        TrapCase{"BitsNotBuffer", K::Record, bind, "OneHidVar:Bind Method"},
        TrapCase{"HasNullState", K::Record, bind, "OneHidVar:Bind Method"},
        TrapCase{"VarIsButton", K::Record, bind, "OneHidVar:Bind Method"},
        TrapCase{"Linear", K::Record, bind, "OneHidVar:Bind Method"},
        TrapCase{"LogicalMaximum", K::Record, bind, "OneHidVar:Bind Method"},
        TrapCase{"LogicalMinimum", K::Record, bind, "OneHidVar:Bind Method"},
        TrapCase{"NoPrefState", K::Record, bind, "OneHidVar:Bind Method"},
        TrapCase{"NoWrap", K::Record, bind, "OneHidVar:Bind Method"},
        TrapCase{"PhysicalMaximum", K::Record, bind, "OneHidVar:Bind Method"},
        TrapCase{"PhysicalMinimum", K::Record, bind, "OneHidVar:Bind Method"},
        TrapCase{"SizeInBits", K::Record, bind, "OneHidVar:Bind Method"},
        TrapCase{"StringDescriptor", K::Record, bind, "OneHidVar:Bind Method"},
        TrapCase{"Volatile", K::Record, bind, "OneHidVar:Bind Method"},
        TrapCase{"SetVarName", K::Record, bind, "OneHidVar:Bind Method"},
        TrapCase{"SetVarScaleMode", K::StdException, bind, "OneHidVar:Bind Method"},
        TrapCase{"VarScaledValue", K::Record, scaledGet, "OneHidVar:ScaledValue Property Get"},
        TrapCase{"VarScaledValue", K::Int, scaledGet, "OneHidVar:ScaledValue Property Get"},
        TrapCase{"SetVarScaledValue", K::Record, scaledLet, "OneHidVar:ScaledValue Property Let"},
        TrapCase{"SetVarScaledValue", K::StdException, scaledLet, "OneHidVar:ScaledValue Property Let"},
        TrapCase{"setCurrentRptNum", K::Record, updateIn, "OneHidVar:Update Method"},
        TrapCase{"ReadCurrentRpt", K::StdException, updateIn, "OneHidVar:Update Method"},
        TrapCase{"WriteCurrentRpt", K::Record, updateOut, "OneHidVar:Update Method"}));

TEST(TOneHidVar, BindWithNoComponentFailsAsABindFailureAndLaterUseDoesNotCrash)
{
    auto agent = makeAgent();
    auto v = makeVar();
    ASSERT_TRUE(v->Bind(agent));
    expectTrap([&] { v->Bind(nullptr); }, QStringLiteral("OneHidVar:Bind Method"));
    // Still marked bound from before, but there is no component to ask:
    // untrapped members fail with "object not set", trapped ones uniformly.
    EXPECT_TRUE(v->IsBound());
    EXPECT_THROW(v->UnScaledValue(), ErrorRecord);
    EXPECT_THROW(v->setScaleMode(1), ErrorRecord);
    expectTrap([&] { v->update(true); }, QStringLiteral("OneHidVar:Update Method"));
    expectTrap([&] { v->ScaledValue(); }, QStringLiteral("OneHidVar:ScaledValue Property Get"));
}

TEST(TOneHidVar, SizeInBitsFailsWhenTheStoredSizeDoesNotFitIn16Bits)
{
    struct Case
    {
        std::int32_t stored;
        bool fits;
    };
    for (Case c : {Case{32767, true}, Case{32768, false}, Case{-32768, true}, Case{-32769, false},
                   Case{1, true}, Case{1 << 20, false}}) {
        auto agent = makeAgent();
        agent->var(0).sizeInBits = c.stored;
        auto v = makeVar();
        ASSERT_TRUE(v->Bind(agent)) << "the 32-bit copy itself never fails";
        if (c.fits)
            EXPECT_EQ(v->SizeInBits(), c.stored);
        else
            expectTrap([&] { v->SizeInBits(); }, QStringLiteral("OneHidVar:SizeInBits Method"));
    }
}

TEST(TOneHidVar, BindFailingHalfWayKeepsWhatItHadCopied)
{
    auto agent = makeAgent();
    auto v = makeVar();
    agent->failOn("LogicalMinimum");
    EXPECT_THROW(v->Bind(agent), ErrorRecord);
    EXPECT_EQ(v->VarIndex(), 0);
    EXPECT_TRUE(v->IsBound());
    EXPECT_EQ(v->HidHandle(), 0x51);
    EXPECT_EQ(v->RptIndex(), 4);
    EXPECT_TRUE(v->AbsoluteNotRelative());
    EXPECT_TRUE(v->BitsNotBuffer());
    EXPECT_TRUE(v->HasNullState());
    EXPECT_TRUE(v->IsButton());
    EXPECT_TRUE(v->Linear());
    EXPECT_EQ(v->LogicalMaximum(), 65535);
    // From the failing attribute on, nothing was copied.
    EXPECT_EQ(v->LogicalMinimum(), 0);
    EXPECT_FALSE(v->NoPrefState());
    EXPECT_FALSE(v->NoWrap());
    EXPECT_EQ(v->PhysicalMaximum(), 0);
    EXPECT_EQ(v->SizeInBits(), 0);
    EXPECT_TRUE(v->StringDescriptor().isEmpty());
    EXPECT_FALSE(v->Volatile());
    EXPECT_EQ(agent->calls("SetVarName"), 0);
    EXPECT_EQ(agent->var(0).scaleMode, HIDagentX::smScaledOnly);
}

// Members without a trap hand the component's failure on exactly as it was.
struct PassCase
{
    const char *failingOp;
    std::function<void(TOneHidVar &)> call;
};

class PassThrough : public ::testing::TestWithParam<PassCase>
{
};

TEST_P(PassThrough, KeepsTheOriginalFailure)
{
    const PassCase c = GetParam();
    auto agent = makeAgent();
    auto v = makeVar();
    ASSERT_TRUE(v->Bind(agent));

    agent->failOn(c.failingOp, ScriptedHidAgent::Throw::Record);
    try {
        c.call(*v);
        ADD_FAILURE() << "no failure";
    } catch (const ErrorRecord &e) {
        EXPECT_EQ(e.code(), ScriptedHidAgent::InjectedCode);
        EXPECT_EQ(e.source(), QStringLiteral("ScriptedHidAgent:") + QString::fromLatin1(c.failingOp));
        EXPECT_EQ(e.description(), QStringLiteral("injected failure"));
    }

    agent->failOn(c.failingOp, ScriptedHidAgent::Throw::StdException);
    EXPECT_THROW(c.call(*v), std::runtime_error);
}

INSTANTIATE_TEST_SUITE_P(
    Members, PassThrough,
    ::testing::Values(PassCase{"SelectVar", [](TOneHidVar &v) { v.ScaleMode(); }},
                      PassCase{"VarScaleMode", [](TOneHidVar &v) { v.ScaleMode(); }},
                      PassCase{"SelectVar", [](TOneHidVar &v) { v.setScaleMode(2); }},
                      PassCase{"SetVarScaleMode", [](TOneHidVar &v) { v.setScaleMode(2); }},
                      PassCase{"VarUnScaledValue", [](TOneHidVar &v) { v.UnScaledValue(); }},
                      PassCase{"SetVarUnScaledValue", [](TOneHidVar &v) { v.setUnScaledValue(2); }}));

} // namespace
