#include "VhciPort.h"

#include <gtest/gtest.h>

namespace {

struct PortCase
{
    const char *name;
    const char *status;
    std::optional<int> port;
};

class VhciFreePort : public ::testing::TestWithParam<PortCase>
{
};

TEST_P(VhciFreePort, PicksTheFirstFreeHighSpeedPort)
{
    EXPECT_EQ(VhciPort::freePort(QString::fromLatin1(GetParam().status)), GetParam().port);
}

INSTANTIATE_TEST_SUITE_P(
    Table, VhciFreePort,
    ::testing::Values(
        PortCase{"first",
                 "hub port sta spd dev      sockfd local_busid\nhs  0000 004 000 00000000 000000 0-0\n", 0},
        PortCase{"skipsUsed",
                 "hub port sta spd dev      sockfd local_busid\n"
                 "hs  0000 006 002 00010002 000003 0-0\nhs  0001 004 000 00000000 000000 0-0\n",
                 1},
        PortCase{"superSpeedOnly",
                 "hub port sta spd dev sockfd local_busid\nss  0015 004 000 00000000 000000 0-0\n",
                 std::nullopt},
        PortCase{"allUsed", "hs  0000 006 002 00010002 000003 0-0\n", std::nullopt},
        PortCase{"garbage", "hs xx 004\nhs\n\n", std::nullopt}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
