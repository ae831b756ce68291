#include "TSoftDet.h"

#include "ScriptedHidAgent.h"

#include <gtest/gtest.h>
#include <memory>
#include <stdexcept>

namespace {

using Getter = std::shared_ptr<TOneHidVar> (TSoftDet::*)();
using Setter = void (TSoftDet::*)(std::shared_ptr<TOneHidVar>);

struct Named
{
    const char *name;
    Getter get;
    Setter set;
    std::int16_t rptType;
};

// The twelve names in slot order.
const Named Names[TSoftDet::VarCount] = {
    {"InTempVar", &TSoftDet::InTempVar, &TSoftDet::setInTempVar, 0},
    {"InTempLowVar", &TSoftDet::InTempLowVar, &TSoftDet::setInTempLowVar, 0},
    {"InTempHighVar", &TSoftDet::InTempHighVar, &TSoftDet::setInTempHighVar, 0},
    {"InTempSwitchVar", &TSoftDet::InTempSwitchVar, &TSoftDet::setInTempSwitchVar, 0},
    {"InModeStatus", &TSoftDet::InModeStatus, &TSoftDet::setInModeStatus, 0},
    {"InBootStatus", &TSoftDet::InBootStatus, &TSoftDet::setInBootStatus, 0},
    {"InSondeStatus", &TSoftDet::InSondeStatus, &TSoftDet::setInSondeStatus, 0},
    {"OutTempLowVar", &TSoftDet::OutTempLowVar, &TSoftDet::setOutTempLowVar, 1},
    {"OutTempHighVar", &TSoftDet::OutTempHighVar, &TSoftDet::setOutTempHighVar, 1},
    {"OutModeRelayVar", &TSoftDet::OutModeRelayVar, &TSoftDet::setOutModeRelayVar, 1},
    {"OutBootStatus", &TSoftDet::OutBootStatus, &TSoftDet::setOutBootStatus, 1},
    {"OutBootVar", &TSoftDet::OutBootVar, &TSoftDet::setOutBootVar, 1},
};

std::shared_ptr<TOneHidVar> get(TSoftDet &d, const Named &n)
{
    return (d.*n.get)();
}

std::shared_ptr<TOneHidVar> get(TSoftDet &d, int slot)
{
    return get(d, Names[slot]);
}

constexpr std::int32_t Handle = 0x2A;
constexpr std::int32_t RptA = 3;
constexpr std::int32_t RptB = 5;

// A component where a mouse was opened first and the thermostat last.
std::shared_ptr<ScriptedHidAgent> thermostatAgent(const std::set<std::int32_t> &missing = {})
{
    auto agent = std::make_shared<ScriptedHidAgent>();
    agent->addIntf(0x10, 0x046D, 0xC077);
    agent->addThermostat(Handle, RptA, RptB, missing);
    return agent;
}

TEST(TSoftDet, CreatesItsTwelveVariablesInTableOrder)
{
    TSoftDet d;
    for (int slot = 0; slot < TSoftDet::VarCount; ++slot) {
        auto v = get(d, slot);
        ASSERT_TRUE(v) << slot;
        EXPECT_EQ(v->VarName(), QString::fromLatin1(Names[slot].name));
        EXPECT_EQ(v->UsagePage(), 65280);
        EXPECT_EQ(v->Usage(), slot + 1);
        EXPECT_EQ(v->RptType(), Names[slot].rptType) << Names[slot].name;
        EXPECT_EQ(v->VarIdentity(), 1);
        EXPECT_FALSE(v->IsBound());
        // Variables take their debug numbers first, in slot order, the device next.
        EXPECT_EQ(v->ClassDebugID(), d.ClassDebugID() - TSoftDet::VarCount + slot) << Names[slot].name;
    }
    EXPECT_EQ(d.DeviceIdentity(), 0);
    EXPECT_EQ(d.reportA(), -1);
    EXPECT_EQ(d.reportB(), -1);
    EXPECT_FALSE(d.isActive());
}

TEST(TSoftDet, FreshDeviceCountsNothingAndTransfersNothing)
{
    TSoftDet d;
    EXPECT_EQ(d.VariableCount(), 0);
    EXPECT_EQ(d.UnboundVarCount(), 0);
    EXPECT_TRUE(d.IsAllUnbound());
    EXPECT_FALSE(d.ReadAllReports());
    EXPECT_FALSE(d.WriteAllReports());
    EXPECT_FALSE(d.ReadInputRptA());
    EXPECT_FALSE(d.WriteOutputRptB());
}

TEST(TSoftDet, BindVarsBindsAllTwelveOfTheLastOpenedThermostat)
{
    auto agent = thermostatAgent();
    TSoftDet d;
    EXPECT_EQ(d.BindVars(agent), 0);
    EXPECT_EQ(agent->currentIntf, 1) << "the interface opened last is made current";
    EXPECT_TRUE(d.isActive());
    EXPECT_EQ(d.DeviceIdentity(), 1);
    EXPECT_EQ(d.VariableCount(), 12);
    EXPECT_EQ(d.UnboundVarCount(), 0);
    EXPECT_FALSE(d.IsAllUnbound());
    EXPECT_EQ(d.reportA(), RptA);
    EXPECT_EQ(d.reportB(), RptB);
    for (int slot = 0; slot < TSoftDet::VarCount; ++slot) {
        auto v = get(d, slot);
        EXPECT_TRUE(v->IsBound()) << Names[slot].name;
        EXPECT_EQ(v->HidHandle(), Handle);
        EXPECT_EQ(agent->var(v->VarIndex()).usage, slot + 1);
        EXPECT_EQ(agent->var(v->VarIndex()).name, QString::fromLatin1(Names[slot].name));
    }
    EXPECT_TRUE(d.HasHandle(Handle));
    EXPECT_FALSE(d.HasHandle(0x10));
}

struct OtherDevice
{
    std::int32_t vid;
    std::int32_t pid;
    int pidReads;
};

class NotAThermostat : public ::testing::TestWithParam<OtherDevice>
{
};

TEST_P(NotAThermostat, AnswersMinusOneAndBindsNothing)
{
    const OtherDevice c = GetParam();
    auto agent = std::make_shared<ScriptedHidAgent>();
    agent->addThermostat(Handle, RptA, RptB, {}, c.vid, c.pid);
    TSoftDet d;
    EXPECT_EQ(d.BindVars(agent), -1);
    EXPECT_EQ(agent->calls("CurrentPID"), c.pidReads);
    EXPECT_EQ(agent->calls("FindVar"), 0);
    EXPECT_EQ(d.reportA(), -1);
    EXPECT_EQ(d.reportB(), -1);
    EXPECT_EQ(d.UnboundVarCount(), 0);
    EXPECT_TRUE(d.IsAllUnbound());

    agent->clearLog();
    EXPECT_FALSE(d.ReadAllReports());
    EXPECT_FALSE(d.WriteAllReports());
    EXPECT_EQ(agent->totalCalls(), 0);
}

INSTANTIATE_TEST_SUITE_P(Ids, NotAThermostat,
                         ::testing::Values(OtherDevice{2341, 20481, 1}, OtherDevice{2341, 0, 1},
                                           OtherDevice{2342, 20480, 0}, OtherDevice{0x046D, 0xC077, 0}));

TEST(TSoftDet, ReportsAreReadAndWrittenByTheirNumbersAndAnswerAsTheComponentDoes)
{
    auto agent = thermostatAgent();
    TSoftDet d;
    ASSERT_EQ(d.BindVars(agent), 0);
    agent->clearLog();

    EXPECT_TRUE(d.ReadAllReports());
    EXPECT_EQ(agent->log, (std::vector<std::string>{"SelectRpt", "ReadCurrentRpt"}));
    EXPECT_TRUE(d.WriteAllReports());
    EXPECT_EQ(agent->readRpts, std::vector<std::int32_t>{RptA});
    EXPECT_EQ(agent->writtenRpts, std::vector<std::int32_t>{RptB});

    agent->readResult = false;
    agent->writeResult = false;
    EXPECT_FALSE(d.ReadInputRptA());
    EXPECT_FALSE(d.WriteOutputRptB());
}

TEST(TSoftDet, WithoutTheTemperatureUsageReportAStaysUnknown)
{
    auto agent = thermostatAgent({1});
    TSoftDet d;
    EXPECT_EQ(d.BindVars(agent), 1);
    EXPECT_EQ(d.reportA(), -1);
    EXPECT_TRUE(d.InTempLowVar()->IsBound());
    EXPECT_EQ(d.InTempLowVar()->RptIndex(), RptA);
    EXPECT_FALSE(d.InTempVar()->IsBound());
    EXPECT_EQ(d.VariableCount(), 12);
    EXPECT_EQ(d.UnboundVarCount(), 1);

    agent->clearLog();
    EXPECT_FALSE(d.ReadAllReports());
    EXPECT_EQ(agent->totalCalls(), 0);
    EXPECT_TRUE(d.WriteAllReports());
    EXPECT_EQ(agent->writtenRpts, std::vector<std::int32_t>{RptB});
}

TEST(TSoftDet, HidClosedForAnotherHandleChangesNothing)
{
    auto agent = thermostatAgent();
    TSoftDet d;
    ASSERT_EQ(d.BindVars(agent), 0);
    agent->clearLog();
    d.HidClosed(nullptr, 1, QStringLiteral("souris"), 0x10);
    EXPECT_EQ(agent->totalCalls(), 0);
    EXPECT_FALSE(d.HasHandle(0x10));
    EXPECT_EQ(d.UnboundVarCount(), 0);
    EXPECT_EQ(d.reportA(), RptA);
    EXPECT_EQ(d.reportB(), RptB);
}

TEST(TSoftDet, HidClosedForItsOwnHandleUnbindsAllButRemembersTheHandle)
{
    auto agent = thermostatAgent();
    TSoftDet d;
    ASSERT_EQ(d.BindVars(agent), 0);
    agent->clearLog();
    d.HidClosed(nullptr, 1, QStringLiteral("Calidor"), Handle);
    EXPECT_EQ(agent->totalCalls(), 0);
    EXPECT_EQ(d.reportA(), -1);
    EXPECT_EQ(d.reportB(), -1);
    EXPECT_EQ(d.UnboundVarCount(), 12);
    EXPECT_TRUE(d.IsAllUnbound());
    EXPECT_TRUE(d.HasHandle(Handle));
    EXPECT_FALSE(d.ReadAllReports());
    EXPECT_FALSE(d.WriteAllReports());
    EXPECT_EQ(agent->totalCalls(), 0);
    EXPECT_TRUE(d.isActive()) << "only Shutdown clears the active flag";
    d.Shutdown();
    EXPECT_FALSE(d.isActive());
    EXPECT_TRUE(d.HasHandle(Handle));
}

TEST(TSoftDet, ReBindFollowsTheRenumberedComponentOnTheCurrentInterface)
{
    auto agent = std::make_shared<ScriptedHidAgent>();
    agent->addThermostat(0x31, 0, 1);
    TSoftDet d;
    ASSERT_EQ(d.BindVars(agent), 0);
    ASSERT_EQ(d.reportA(), 0);

    // A second interface was opened earlier and has now closed: the
    // component renumbers its lists, and the thermostat lost usage 12.
    agent->intfs.clear();
    agent->vars.clear();
    agent->addThermostat(0x31, 7, 8, {12});
    agent->currentIntf = 0;
    agent->clearLog();

    EXPECT_EQ(d.ReBind(nullptr), 1) << "the component held since BindVars is used";
    EXPECT_EQ(agent->calls("CurrentVID"), 0);
    EXPECT_EQ(agent->calls("CurrentPID"), 0);
    EXPECT_EQ(d.reportA(), 7);
    EXPECT_EQ(d.reportB(), 8);
    for (int slot = 0; slot < 11; ++slot) {
        EXPECT_TRUE(get(d, slot)->IsBound());
        EXPECT_EQ(get(d, slot)->HidHandle(), 0x31);
    }
    EXPECT_FALSE(d.OutBootVar()->IsBound());
    EXPECT_EQ(d.UnboundVarCount(), 1);
}

TEST(TSoftDet, ReBindRecordsTheHandleOfTheCurrentInterface)
{
    // The component may hand the same usages of another interface; what
    // binds records the handle that is current while binding.
    auto agent = std::make_shared<ScriptedHidAgent>();
    agent->addThermostat(0x31, 0, 1);
    TSoftDet d;
    ASSERT_EQ(d.BindVars(agent), 0);
    agent->intfs[0].handle = 0x44;
    for (auto &v : agent->vars)
        v.intfHandle = 0x44;
    EXPECT_EQ(d.ReBind(agent), 0);
    EXPECT_TRUE(d.HasHandle(0x44));
    EXPECT_FALSE(d.HasHandle(0x31));
}

TEST(TSoftDet, ReBindBeforeAnyBindVarsFailsAsABindFailure)
{
    TSoftDet d;
    try {
        d.ReBind(thermostatAgent());
        ADD_FAILURE() << "no failure";
    } catch (const ErrorRecord &e) {
        EXPECT_EQ(e.source(), QStringLiteral("OneHidVar:Bind Method"));
    }
}

struct RptCase
{
    std::int16_t rptType;
    std::int32_t rptIndex;
    std::int32_t expectA;
    std::int32_t expectB;
};

class UnBindRpt : public ::testing::TestWithParam<RptCase>
{
};

TEST_P(UnBindRpt, ForgetsOnlyTheReportTheVariableLocated)
{
    const RptCase c = GetParam();
    auto agent = thermostatAgent();
    TSoftDet d;
    ASSERT_EQ(d.BindVars(agent), 0);
    auto v = std::make_shared<TOneHidVar>();
    v->DoCreate(c.rptType, 65280, 1, 1, QStringLiteral("x"));
    ScriptedHidAgent::Var fv;
    fv.usagePage = 65280;
    fv.usage = 1;
    fv.rptType = c.rptType;
    fv.rptIndex = c.rptIndex;
    fv.intfHandle = 0x60;
    auto other = std::make_shared<ScriptedHidAgent>();
    other->addIntf(0x60, 1, 1);
    other->currentIntf = 0;
    other->addVar(fv);
    if (c.rptIndex >= 0) {
        ASSERT_TRUE(v->Bind(other));
    }
    d.UnBindRpt(v);
    EXPECT_EQ(d.reportA(), c.expectA);
    EXPECT_EQ(d.reportB(), c.expectB);
}

INSTANTIATE_TEST_SUITE_P(Cases, UnBindRpt,
                         ::testing::Values(RptCase{0, RptA, -1, RptB}, RptCase{1, RptB, RptA, -1},
                                           RptCase{0, RptB, RptA, RptB}, RptCase{1, RptA, RptA, RptB},
                                           RptCase{2, RptA, RptA, RptB}, RptCase{2, RptB, RptA, RptB},
                                           RptCase{0, -1, RptA, RptB}));

TEST(TSoftDet, UnBindRptOfNothingFailsInsteadOfCrashing)
{
    TSoftDet d;
    EXPECT_THROW(d.UnBindRpt(nullptr), ErrorRecord);
}

TEST(TSoftDet, CountingGoesByVariableIdentity)
{
    auto agent = thermostatAgent();
    TSoftDet d;
    // Slot 0 belongs to any device, slot 1 names the device, slot 2 belongs
    // to a different one: the device takes the first identity that is not 3.
    d.InTempVar()->DoCreate(0, 65280, 1, 3, QStringLiteral("InTempVar"));
    d.InTempLowVar()->DoCreate(0, 65280, 2, 5, QStringLiteral("InTempLowVar"));
    d.InTempHighVar()->DoCreate(0, 65280, 3, 9, QStringLiteral("InTempHighVar"));
    ASSERT_EQ(d.BindVars(agent), 0);
    EXPECT_EQ(d.DeviceIdentity(), 5);
    // Belong: slot 0 (3) and slot 1 (5); the nine of identity 1 and slot 2 do not.
    EXPECT_EQ(d.VariableCount(), 2);
    EXPECT_EQ(d.UnboundVarCount(), 0);
    d.InTempVar()->UnBind();
    d.InTempHighVar()->UnBind();
    EXPECT_EQ(d.UnboundVarCount(), 1);
    EXPECT_FALSE(d.IsAllUnbound());
    d.InTempLowVar()->UnBind();
    EXPECT_TRUE(d.IsAllUnbound());
}

TEST(TSoftDet, PartlyBoundDeviceCountsItsUnboundVariablesWhenBoundAgain)
{
    auto agent = std::make_shared<ScriptedHidAgent>();
    agent->addThermostat(Handle, RptA, RptB, {2, 3, 9});
    TSoftDet d;
    EXPECT_EQ(d.BindVars(agent), 3);
    EXPECT_EQ(d.UnboundVarCount(), 3);
    // Another interface opens and carries the rest: only the unbound are looked up.
    agent->addThermostat(0x77, 10, 11);
    agent->clearLog();
    EXPECT_EQ(d.BindVars(agent), 0);
    EXPECT_EQ(agent->calls("FindVar"), 3);
    EXPECT_EQ(d.InTempLowVar()->HidHandle(), 0x77);
    EXPECT_EQ(d.InTempVar()->HidHandle(), Handle);
    EXPECT_EQ(d.reportA(), RptA) << "InTempVar still locates report A";
}

TEST(TSoftDet, GettersReturnTheTableObjectsUntilASetterReplacesOne)
{
    for (const Named &n : Names) {
        auto agent = thermostatAgent();
        TSoftDet d;
        auto original = get(d, n);
        EXPECT_EQ(get(d, n), original) << "same object each time";

        auto replacement = std::make_shared<TOneHidVar>();
        (d.*n.set)(replacement);
        EXPECT_EQ(get(d, n), replacement) << n.name;

        // The table still holds the original: binding and counting use it.
        ASSERT_EQ(d.BindVars(agent), 0);
        EXPECT_TRUE(original->IsBound()) << n.name;
        EXPECT_FALSE(replacement->IsBound());
        EXPECT_EQ(d.VariableCount(), 12);
        EXPECT_TRUE(d.HasHandle(Handle));
    }
}

TEST(TSoftDet, GetterAfterTheSetterStoredNoneCreatesAndKeepsAFreshVariable)
{
    for (const Named &n : Names) {
        TSoftDet d;
        auto original = get(d, n);
        (d.*n.set)(nullptr);
        auto fresh = get(d, n);
        ASSERT_TRUE(fresh) << n.name;
        EXPECT_NE(fresh, original);
        EXPECT_FALSE(fresh->IsBound());
        EXPECT_TRUE(fresh->VarName().isEmpty());
        EXPECT_EQ(fresh->Usage(), 0);
        EXPECT_EQ(fresh->UsagePage(), 0);
        EXPECT_EQ(fresh->RptType(), 0);
        EXPECT_GT(fresh->ClassDebugID(), d.ClassDebugID());
        EXPECT_EQ(get(d, n), fresh) << "held from now on";
    }
}

TEST(TSoftDet, ReplacedTemperatureVariableNoLongerLocatesReportA)
{
    auto agent = thermostatAgent();
    TSoftDet d;
    d.setInTempVar(std::make_shared<TOneHidVar>());
    EXPECT_EQ(d.BindVars(agent), 0);
    EXPECT_EQ(d.reportA(), -1);
    EXPECT_EQ(d.reportB(), RptB);
}

TEST(TSoftDet, AFailureReadingTheIdsIsTrappedAsDeviceIsMatched)
{
    for (const char *op : {"CurrentVID", "CurrentPID"}) {
        for (auto kind : {ScriptedHidAgent::Throw::Record, ScriptedHidAgent::Throw::StdException,
                          ScriptedHidAgent::Throw::Int}) {
            auto agent = thermostatAgent();
            agent->failOn(op, kind);
            TSoftDet d;
            try {
                d.BindVars(agent);
                ADD_FAILURE() << op;
            } catch (const ErrorRecord &e) {
                EXPECT_EQ(e.code(), -2147211505);
                EXPECT_EQ(e.source(), QStringLiteral("TSoftDet:DeviceIsMatched Method"));
                EXPECT_EQ(e.description(), QStringLiteral("An unknown error has occurred!"));
            }
            EXPECT_TRUE(d.isActive()) << "set before the failure";
            EXPECT_EQ(agent->calls("FindVar"), 0);
        }
    }
}

TEST(TSoftDet, BindVarsPassesOtherFailuresOnUnchanged)
{
    for (const char *op : {"OpenIntfCount", "SelectOpenIntf"}) {
        auto agent = thermostatAgent();
        agent->failOn(op);
        TSoftDet d;
        try {
            d.BindVars(agent);
            ADD_FAILURE() << op;
        } catch (const ErrorRecord &e) {
            EXPECT_EQ(e.code(), ScriptedHidAgent::InjectedCode);
            EXPECT_EQ(e.source(), QStringLiteral("ScriptedHidAgent:") + QString::fromLatin1(op));
        }
    }
}

TEST(TSoftDet, ABindFailingHalfWayReachesTheCallerAndKeepsEarlierBindings)
{
    auto agent = thermostatAgent();
    agent->failOn("SetVarScaleMode", ScriptedHidAgent::Throw::Record, 4); // the fifth bind fails at its end
    TSoftDet d;
    try {
        d.BindVars(agent);
        ADD_FAILURE() << "no failure";
    } catch (const ErrorRecord &e) {
        EXPECT_EQ(e.code(), -2147211505);
        EXPECT_EQ(e.source(), QStringLiteral("OneHidVar:Bind Method"));
    }
    for (int slot = 0; slot < 4; ++slot)
        EXPECT_TRUE(get(d, slot)->IsBound()) << Names[slot].name;
    EXPECT_TRUE(d.InModeStatus()->IsBound()) << "its VarIndex was already set";
    EXPECT_FALSE(d.InBootStatus()->IsBound());
    EXPECT_EQ(d.DeviceIdentity(), 1);
    EXPECT_EQ(d.reportA(), -1) << "the reports were not refreshed";

    // The next bind resumes with what is still unbound.
    agent->clearFailures();
    agent->clearLog();
    EXPECT_EQ(d.BindVars(agent), 0);
    EXPECT_EQ(agent->calls("FindVar"), 7);
    EXPECT_EQ(d.reportA(), RptA);
}

TEST(TSoftDet, DeclaredEventsAreNeverRaised)
{
    auto agent = thermostatAgent();
    TSoftDet d;
    int raised = 0;
    QObject::connect(&d, &TSoftDet::OnReportArrival, [&] { ++raised; });
    QObject::connect(&d, &TSoftDet::OnCloseHidInterface, [&] { ++raised; });
    ASSERT_EQ(d.BindVars(agent), 0);
    agent->clearLog();
    d.HidRptArrived(nullptr, 0, RptA);
    d.BindEvents();
    EXPECT_EQ(agent->totalCalls(), 0);
    EXPECT_EQ(d.reportA(), RptA);
    d.HidClosed(nullptr, 0, QStringLiteral("Calidor"), Handle);
    d.ReBind(agent);
    d.Shutdown();
    EXPECT_EQ(raised, 0);
}

TEST(TSoftDet, DropsItsVariablesAndComponentWithoutCycles)
{
    auto agent = thermostatAgent();
    std::weak_ptr<TOneHidVar> var;
    {
        auto d = std::make_shared<TSoftDet>();
        ASSERT_EQ(d->BindVars(agent), 0);
        var = d->InTempVar();
        EXPECT_GT(agent.use_count(), 1);
    }
    EXPECT_TRUE(var.expired());
    EXPECT_EQ(agent.use_count(), 1);
}

} // namespace
