#include "HidrawSysfs.h"

#include <gtest/gtest.h>
#include <optional>

namespace {

struct HidIdCase
{
    const char *text;
    std::optional<HidrawSysfs::HidId> expected;
};

class HidIdParsing : public ::testing::TestWithParam<HidIdCase>
{
};

TEST_P(HidIdParsing, ReadsBusVendorAndProduct)
{
    const auto &c = GetParam();
    const auto id = HidrawSysfs::parseHidId(QString::fromLatin1(c.text));
    ASSERT_EQ(id.has_value(), c.expected.has_value()) << c.text;
    if (id) {
        EXPECT_EQ(id->bus, c.expected->bus) << c.text;
        EXPECT_EQ(id->vendorId, c.expected->vendorId) << c.text;
        EXPECT_EQ(id->productId, c.expected->productId) << c.text;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, HidIdParsing,
    ::testing::Values(HidIdCase{"0003:00000925:00005000", HidrawSysfs::HidId{3, 0x0925, 0x5000}},
                      HidIdCase{"0005:0000046D:0000B01A", HidrawSysfs::HidId{5, 0x046D, 0xB01A}},
                      HidIdCase{"0003:0000046d:0000c52b", HidrawSysfs::HidId{3, 0x046D, 0xC52B}},
                      HidIdCase{"0003:0925:5000", std::nullopt}, // fields cut short
                      HidIdCase{"0003:00000925:0000050", std::nullopt},
                      HidIdCase{"0003:00000925:000005000", std::nullopt}, // too long
                      HidIdCase{"00003:00000925:00005000", std::nullopt},
                      HidIdCase{" 0003:00000925:00005000\n", HidrawSysfs::HidId{3, 0x0925, 0x5000}},
                      HidIdCase{"", std::nullopt}, HidIdCase{"0003:00000925", std::nullopt},
                      HidIdCase{"0003:00000925:00005000:1", std::nullopt},
                      HidIdCase{"0003::00005000", std::nullopt},
                      HidIdCase{"0003:0x925:00005000", std::nullopt},
                      HidIdCase{"0003:+925:00005000", std::nullopt},
                      HidIdCase{"0003:00000925:0000500g", std::nullopt},
                      HidIdCase{"0003:00010925:00005000", std::nullopt})); // wider than 16 bits

TEST(HidrawUevent, KeepsKeysAndValuesAndSkipsJunk)
{
    const auto keys = HidrawSysfs::parseUevent("DRIVER=hid-generic\n"
                                               "HID_NAME=Velmora Calidor = QN52-W\n"
                                               "no equals sign here\n"
                                               "=no key\n"
                                               "HID_UNIQ=\n"
                                               "HID_ID=0003:00000925:00005000");
    EXPECT_EQ(keys.value("DRIVER"), "hid-generic");
    EXPECT_EQ(keys.value("HID_NAME"), "Velmora Calidor = QN52-W"); // split at the first '='
    EXPECT_TRUE(keys.contains("HID_UNIQ"));
    EXPECT_EQ(keys.value("HID_UNIQ"), "");
    EXPECT_EQ(keys.value("HID_ID"), "0003:00000925:00005000"); // last line without newline
    EXPECT_EQ(keys.size(), 4);
}

} // namespace
