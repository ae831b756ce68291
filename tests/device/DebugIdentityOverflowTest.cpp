#include "TSoftDet.h"
#include "modClassIDGenerator.h"
#include "modErrorHandling.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>

namespace {

using Getter = std::shared_ptr<TOneHidVar> (TSoftDet::*)();
using Setter = void (TSoftDet::*)(std::shared_ptr<TOneHidVar>);

struct Named
{
    const char *name;
    Getter get;
    Setter set;
};

const Named Names[] = {
    {"InTempVar", &TSoftDet::InTempVar, &TSoftDet::setInTempVar},
    {"InTempLowVar", &TSoftDet::InTempLowVar, &TSoftDet::setInTempLowVar},
    {"InTempHighVar", &TSoftDet::InTempHighVar, &TSoftDet::setInTempHighVar},
    {"InTempSwitchVar", &TSoftDet::InTempSwitchVar, &TSoftDet::setInTempSwitchVar},
    {"InModeStatus", &TSoftDet::InModeStatus, &TSoftDet::setInModeStatus},
    {"InBootStatus", &TSoftDet::InBootStatus, &TSoftDet::setInBootStatus},
    {"InSondeStatus", &TSoftDet::InSondeStatus, &TSoftDet::setInSondeStatus},
    {"OutTempLowVar", &TSoftDet::OutTempLowVar, &TSoftDet::setOutTempLowVar},
    {"OutTempHighVar", &TSoftDet::OutTempHighVar, &TSoftDet::setOutTempHighVar},
    {"OutModeRelayVar", &TSoftDet::OutModeRelayVar, &TSoftDet::setOutModeRelayVar},
    {"OutBootStatus", &TSoftDet::OutBootStatus, &TSoftDet::setOutBootStatus},
    {"OutBootVar", &TSoftDet::OutBootVar, &TSoftDet::setOutBootVar},
};

void expectOverflow(const std::function<void()> &call)
{
    try {
        call();
        ADD_FAILURE() << "no overflow";
    } catch (const ErrorRecord &e) {
        EXPECT_EQ(e.code(), modErrorHandling::OverflowError);
        EXPECT_EQ(e.description(), QStringLiteral("Overflow"));
    }
}

// Alone in its executable: it uses up every debug number of the process.
// Once the counter is exhausted, creating a device object fails with the
// overflow itself (creation has no trap), while a named getter that has to
// create a variable fails with its own uniform error.
TEST(DebugIdentityOverflow, AnExhaustedCounterFailsCreationAndTheNamedGetters)
{
    TSoftDet d;
    for (const Named &n : Names)
        (d.*n.set)(nullptr);
    auto spare = std::make_shared<TOneHidVar>();

    constexpr std::int32_t Max = std::numeric_limits<std::int32_t>::max();
    std::int32_t last = 0;
    do
        last = modClassIDGenerator::NextID();
    while (last < Max);
    EXPECT_EQ(last, Max);

    expectOverflow([] { modClassIDGenerator::NextID(); });
    expectOverflow([] { TOneHidVar v; });
    expectOverflow([] { TSoftDet other; });

    for (const Named &n : Names) {
        const QString source = QStringLiteral("TSoftDet:") + QString::fromLatin1(n.name)
                               + QStringLiteral(" Property Get");
        try {
            (d.*n.get)();
            ADD_FAILURE() << n.name;
        } catch (const ErrorRecord &e) {
            EXPECT_EQ(e.code(), -2147211505) << n.name;
            EXPECT_EQ(e.source(), source);
            EXPECT_EQ(e.description(), QStringLiteral("An unknown error has occurred!"));
        }
    }

    // A setter needs no number: the name holds a variable again.
    d.setOutBootVar(spare);
    EXPECT_EQ(d.OutBootVar(), spare);
}

} // namespace
