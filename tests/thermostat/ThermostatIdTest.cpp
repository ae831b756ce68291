#include "ThermostatId.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

HidDeviceInfo device(const char *serial, const char *port, const char *path = "/dev/hidraw0")
{
    HidDeviceInfo info;
    info.serial = QString::fromUtf8(serial);
    info.port = QString::fromUtf8(port);
    info.path = QString::fromUtf8(path);
    return info;
}

struct IdCase
{
    const char *name;
    std::vector<HidDeviceInfo> present;
    std::vector<QString> ids;
};

class ThermostatIdRules : public testing::TestWithParam<IdCase>
{
};

TEST_P(ThermostatIdRules, AssignsStableUniqueIds)
{
    EXPECT_EQ(ThermostatId::assign(GetParam().present), GetParam().ids);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ThermostatIdRules,
    testing::Values(IdCase{"Serial", {device("SN-0042", "1-2")}, {"SN-0042"}},
                    IdCase{"SerialTrimmed", {device("  AB12 \n", "1-2")}, {"AB12"}},
                    IdCase{"NoSerialIsThePort", {device("", "1-1.2")}, {"usb-1-1_2"}},
                    IdCase{"BlankSerialIsThePort", {device("   ", "3-4")}, {"usb-3-4"}},
                    IdCase{"OddCharacters", {device("A/B C.ü:\"x", "1-2")}, {"A_B_C____x"}},
                    IdCase{"DuplicateSerialsGetTheirPorts",
                           {device("0001", "1-1.2"), device("0001", "1-1.3"), device("X", "2-1")},
                           {"0001-1-1_2", "0001-1-1_3", "X"}},
                    // Serials that differ only in characters that are replaced collide
                    // once sanitised, so they count as the same.
                    IdCase{"DuplicatesAfterSanitising",
                           {device("a.b", "1-1"), device("a:b", "1-2")},
                           {"a_b-1-1", "a_b-1-2"}},
                    IdCase{
                        "OffUsbWithoutSerialIsTheNode", {device("", "", "/dev/hidraw7")}, {"node-hidraw7"}},
                    IdCase{"Nothing", {}, {}}),
    [](const testing::TestParamInfo<IdCase> &info) { return std::string(info.param.name); });

} // namespace
