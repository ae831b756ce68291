// Golden tables for descriptors published in the HID documentation, and the
// rules a report descriptor is read by.
#include "ReportDescriptorParser.h"

#include "VirtualThermostat.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// clang-format off
// Keyboard descriptor of the boot protocol (HID 1.11, appendix B.1).
const Bytes bootKeyboard = {
    0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7, 0x15, 0x00, 0x25, 0x01,
    0x75, 0x01, 0x95, 0x08, 0x81, 0x02, 0x95, 0x01, 0x75, 0x08, 0x81, 0x01, 0x95, 0x05, 0x75, 0x01,
    0x05, 0x08, 0x19, 0x01, 0x29, 0x05, 0x91, 0x02, 0x95, 0x01, 0x75, 0x03, 0x91, 0x01, 0x95, 0x06,
    0x75, 0x08, 0x15, 0x00, 0x25, 0x65, 0x05, 0x07, 0x19, 0x00, 0x29, 0x65, 0x81, 0x00, 0xC0};

// Mouse descriptor of the boot protocol (HID 1.11, appendix B.2).
const Bytes bootMouse = {0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0x09, 0x01, 0xA1, 0x00, 0x05, 0x09, 0x19,
                         0x01, 0x29, 0x03, 0x15, 0x00, 0x25, 0x01, 0x95, 0x03, 0x75, 0x01, 0x81, 0x02,
                         0x95, 0x01, 0x75, 0x05, 0x81, 0x01, 0x05, 0x01, 0x09, 0x30, 0x09, 0x31, 0x15,
                         0x81, 0x25, 0x7F, 0x75, 0x08, 0x95, 0x02, 0x81, 0x06, 0xC0, 0xC0};

// Keyboard and consumer keys behind report IDs, with a feature report, a
// Push/Pop pair and physical limits with a unit (a common composite layout).
const Bytes compositeWithIds = {
    0x05, 0x01, 0x09, 0x06, 0xA1, 0x01,  // keyboard application
    0x85, 0x01,                          //   Report ID 1
    0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7, 0x15, 0x00, 0x25, 0x01, 0x75, 0x01, 0x95, 0x08, 0x81, 0x02,
    0xC0,                                // end
    0x05, 0x0C, 0x09, 0x01, 0xA1, 0x01,  // consumer control application
    0x85, 0x02,                          //   Report ID 2
    0x15, 0x00, 0x26, 0xFF, 0x03, 0x75, 0x10, 0x95, 0x01, 0x09, 0xE0, 0x81, 0x02,  // volume, 0..1023
    0xA4,                                //   Push
    0x85, 0x03,                          //   Report ID 3 (inside the push)
    0x35, 0x00, 0x46, 0xE8, 0x03, 0x65, 0x11, 0x55, 0x0E,  // physical 0..1000, unit cm, exponent -2
    0x75, 0x08, 0x0B, 0x38, 0x02, 0x0C, 0x00, 0xB1, 0xA2,  // 4-byte usage 0x000C:0x0238, feature
    0xB4,                                //   Pop: back to report 2, 16 bits, no physical limits
    0x09, 0xE9, 0x81, 0x02,              //   volume up: report 2 again, after the first value
    0xC0};
// clang-format on

HidField fieldAt(const HidReportLayout &layout, std::size_t i)
{
    return i < layout.fields.size() ? layout.fields[i] : HidField{};
}

struct ExpectedField
{
    HidReportType type;
    int id;
    int offset;
    int size;
    int page;
    int usage;
    int lmin;
    int lmax;
};

void expectFields(const HidReportLayout &layout, const std::vector<ExpectedField> &expected)
{
    ASSERT_EQ(layout.fields.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "field " << i);
        const HidField &f = layout.fields[i];
        const ExpectedField &e = expected[i];
        EXPECT_EQ(f.reportType, e.type);
        EXPECT_EQ(f.reportId, e.id);
        EXPECT_EQ(f.bitOffset, std::uint32_t(e.offset));
        EXPECT_EQ(f.sizeInBits, std::uint32_t(e.size));
        EXPECT_EQ(f.usagePage, e.page);
        EXPECT_EQ(f.usage, e.usage);
        EXPECT_EQ(f.logicalMinimum, e.lmin);
        EXPECT_EQ(f.logicalMaximum, e.lmax);
    }
}

constexpr auto In = HidReportType::Input;
constexpr auto Out = HidReportType::Output;
constexpr auto Feat = HidReportType::Feature;

} // namespace

TEST(ReportDescriptorParserGolden, BootKeyboard)
{
    ReportDescriptorParser p;
    ASSERT_TRUE(p.parse(bootKeyboard)) << p.error().toStdString();
    const auto &l = p.layout();
    EXPECT_FALSE(l.usesReportIds);

    std::vector<ExpectedField> e;
    for (int i = 0; i < 8; ++i)
        e.push_back({In, 0, i, 1, 0x07, 0xE0 + i, 0, 1}); // modifiers
    for (int i = 0; i < 5; ++i)
        e.push_back({Out, 0, i, 1, 0x08, 1 + i, 0, 1}); // LEDs
    for (int i = 0; i < 6; ++i)
        e.push_back({In, 0, 16 + 8 * i, 8, 0x07, 0x00, 0, 0x65}); // key array after the reserved byte
    expectFields(l, e);

    ASSERT_EQ(l.reports.size(), 2u);
    EXPECT_EQ(l.findReport(In, 0)->sizeInBits, 64u);
    EXPECT_EQ(l.findReport(Out, 0)->sizeInBits, 8u); // five LEDs and three padding bits
    EXPECT_EQ(l.findReport(Out, 0)->payloadBytes(), 1u);

    EXPECT_TRUE(fieldAt(l, 0).IsButton());
    EXPECT_FALSE(fieldAt(l, 0).ArrayNotVariable());
    EXPECT_TRUE(fieldAt(l, 13).ArrayNotVariable());
    EXPECT_FALSE(fieldAt(l, 13).IsButton());
}

TEST(ReportDescriptorParserGolden, BootMouse)
{
    ReportDescriptorParser p;
    ASSERT_TRUE(p.parse(bootMouse)) << p.error().toStdString();
    expectFields(p.layout(), {
                                 {In, 0, 0, 1, 0x09, 1, 0, 1},
                                 {In, 0, 1, 1, 0x09, 2, 0, 1},
                                 {In, 0, 2, 1, 0x09, 3, 0, 1},
                                 {In, 0, 8, 8, 0x01, 0x30, -127, 127},
                                 {In, 0, 16, 8, 0x01, 0x31, -127, 127},
                             });
    const HidField x = fieldAt(p.layout(), 3);
    EXPECT_FALSE(x.AbsoluteNotRelative());
    EXPECT_EQ(x.physicalMinimum, -127); // no physical limits: the logical ones
    EXPECT_EQ(x.physicalMaximum, 127);
    EXPECT_FALSE(x.IsButton());
    EXPECT_EQ(p.layout().reports.at(0).sizeInBits, 24u);
}

TEST(ReportDescriptorParserGolden, ThermostatVendorPage)
{
    ReportDescriptorParser p;
    ASSERT_TRUE(p.parse(VirtualThermostat::standardReportDescriptor())) << p.error().toStdString();
    const auto &l = p.layout();
    EXPECT_TRUE(l.usesReportIds);
    expectFields(l, {
                        {In, 1, 0, 16, 0xFF00, 1, 0, 65535},
                        {In, 1, 16, 16, 0xFF00, 2, 0, 65535},
                        {In, 1, 32, 16, 0xFF00, 3, 0, 65535},
                        {In, 1, 48, 8, 0xFF00, 4, 0, 255},
                        {In, 1, 56, 8, 0xFF00, 5, 0, 255},
                        {In, 1, 64, 8, 0xFF00, 6, 0, 255},
                        {In, 1, 72, 8, 0xFF00, 7, 0, 255},
                        {Out, 2, 0, 16, 0xFF00, 8, 0, 65535},
                        {Out, 2, 16, 16, 0xFF00, 9, 0, 65535},
                        {Out, 2, 32, 8, 0xFF00, 10, 0, 255},
                        {Out, 2, 40, 8, 0xFF00, 11, 0, 255},
                        {Out, 2, 48, 8, 0xFF00, 12, 0, 255},
                    });
    EXPECT_EQ(l.findReport(In, 1)->payloadBytes(), std::uint32_t(VirtualThermostat::InputPayloadBytes));
    EXPECT_EQ(l.findReport(Out, 2)->payloadBytes(), std::uint32_t(VirtualThermostat::OutputPayloadBytes));
}

TEST(ReportDescriptorParserGolden, CompositeWithReportIdsPushAndPop)
{
    ReportDescriptorParser p;
    ASSERT_TRUE(p.parse(compositeWithIds)) << p.error().toStdString();
    const auto &l = p.layout();
    EXPECT_TRUE(l.usesReportIds);

    std::vector<ExpectedField> e;
    for (int i = 0; i < 8; ++i)
        e.push_back({In, 1, i, 1, 0x07, 0xE0 + i, 0, 1});
    e.push_back({In, 2, 0, 16, 0x0C, 0xE0, 0, 1023});
    e.push_back({Feat, 3, 0, 8, 0x0C, 0x0238, 0, 1023});
    e.push_back({In, 2, 16, 16, 0x0C, 0xE9, 0, 1023}); // Pop restored size 16 and report 2
    expectFields(l, e);

    const HidField feature = fieldAt(l, 9);
    EXPECT_EQ(feature.physicalMinimum, 0);
    EXPECT_EQ(feature.physicalMaximum, 1000);
    EXPECT_EQ(feature.unit, 0x11u);
    EXPECT_EQ(feature.unitExponent, -2);
    EXPECT_TRUE(feature.Volatile()); // bit 7 of a feature item
    EXPECT_FALSE(feature.isConstant());
    const HidField volumeUp = fieldAt(l, 10);
    EXPECT_EQ(volumeUp.physicalMaximum, 1023); // the pushed state had no physical limits
    EXPECT_EQ(volumeUp.unit, 0u);

    ASSERT_EQ(l.reports.size(), 3u);
    EXPECT_EQ(l.findReport(In, 2)->sizeInBits, 32u);
    EXPECT_EQ(l.findReport(Feat, 3)->sizeInBits, 8u);
}

// --- single rules ------------------------------------------------------------

namespace {

// Wraps main-item bytes in the globals most cases need.
Bytes withGlobals(const Bytes &body)
{
    Bytes d = {0x05, 0x01, 0x15, 0x00, 0x25, 0x01, 0x75, 0x08, 0x95, 0x01};
    d.reserve(d.size() + body.size());
    for (std::uint8_t b : body)
        d.push_back(b);
    return d;
}

} // namespace

struct LimitCase
{
    const char *name;
    Bytes limits; // logical/physical items
    int lmin, lmax, pmin, pmax;
};

class LimitsTest : public testing::TestWithParam<LimitCase>
{
};

TEST_P(LimitsTest, SignAndDefaults)
{
    const LimitCase &c = GetParam();
    Bytes d = {0x05, 0x01, 0x75, 0x10, 0x95, 0x01};
    d.insert(d.end(), c.limits.begin(), c.limits.end());
    d.insert(d.end(), {0x09, 0x30, 0x81, 0x02});
    ReportDescriptorParser p;
    ASSERT_TRUE(p.parse(d)) << p.error().toStdString();
    const HidField f = fieldAt(p.layout(), 0);
    EXPECT_EQ(f.logicalMinimum, c.lmin);
    EXPECT_EQ(f.logicalMaximum, c.lmax);
    EXPECT_EQ(f.physicalMinimum, c.pmin);
    EXPECT_EQ(f.physicalMaximum, c.pmax);
}

INSTANTIATE_TEST_SUITE_P(
    ReportDescriptorParser, LimitsTest,
    testing::Values(
        LimitCase{"UnsignedOneByteMax", {0x15, 0x00, 0x25, 0xFF}, 0, 255, 0, 255},
        LimitCase{"UnsignedTwoByteMax", {0x15, 0x00, 0x26, 0xFF, 0xFF}, 0, 65535, 0, 65535},
        LimitCase{"SignedOneByte", {0x15, 0x81, 0x25, 0x7F}, -127, 127, -127, 127},
        LimitCase{"SignedTwoByte", {0x16, 0x00, 0x80, 0x26, 0xFF, 0x7F}, -32768, 32767, -32768, 32767},
        LimitCase{"SignedFourByte",
                  {0x17, 0x00, 0x00, 0x00, 0x80, 0x27, 0xFF, 0xFF, 0xFF, 0x7F},
                  INT32_MIN,
                  INT32_MAX,
                  INT32_MIN,
                  INT32_MAX},
        LimitCase{"NegativeMaxWithNegativeMin", {0x15, 0x80, 0x25, 0xFF}, -128, -1, -128, -1},
        LimitCase{
            "PhysicalGiven", {0x15, 0x00, 0x25, 0x64, 0x36, 0x38, 0xFF, 0x46, 0xC8, 0x00}, 0, 100, -200, 200},
        LimitCase{"PhysicalUnsignedMax", {0x15, 0x00, 0x25, 0x0A, 0x35, 0x00, 0x45, 0xF0}, 0, 10, 0, 240},
        LimitCase{"PhysicalOnlyMaxZeroMin", {0x15, 0x00, 0x25, 0x0A, 0x35, 0x00, 0x45, 0x00}, 0, 10, 0, 10}),
    [](const testing::TestParamInfo<LimitCase> &i) { return std::string(i.param.name); });

struct FlagCase
{
    std::uint8_t item; // 0x81 Input, 0x91 Output, 0xB1/0xB2 Feature
    Bytes data;
    bool absolute, array, bits, null, linear, noPref, noWrap, isVolatile;
};

class FlagsTest : public testing::TestWithParam<FlagCase>
{
};

TEST_P(FlagsTest, MainItemBitsBecomeAttributes)
{
    const FlagCase &c = GetParam();
    Bytes body = {0x09, 0x30, c.item};
    body.insert(body.end(), c.data.begin(), c.data.end());
    ReportDescriptorParser p;
    ASSERT_TRUE(p.parse(withGlobals(body))) << p.error().toStdString();
    const HidField f = fieldAt(p.layout(), 0);
    EXPECT_EQ(f.AbsoluteNotRelative(), c.absolute);
    EXPECT_EQ(f.ArrayNotVariable(), c.array);
    EXPECT_EQ(f.BitsNotBuffer(), c.bits);
    EXPECT_EQ(f.HasNullState(), c.null);
    EXPECT_EQ(f.Linear(), c.linear);
    EXPECT_EQ(f.NoPrefState(), c.noPref);
    EXPECT_EQ(f.NoWrap(), c.noWrap);
    EXPECT_EQ(f.Volatile(), c.isVolatile);
}

INSTANTIATE_TEST_SUITE_P(
    ReportDescriptorParser, FlagsTest,
    testing::Values(FlagCase{0x81, {0x02}, true, false, true, false, true, false, true, false},
                    FlagCase{0x81, {0x00}, true, true, true, false, true, false, true, false},
                    FlagCase{0x81, {0x06}, false, false, true, false, true, false, true, false},
                    FlagCase{0x81, {0x0A}, true, false, true, false, true, false, false, false},
                    FlagCase{0x81, {0x12}, true, false, true, false, false, false, true, false},
                    FlagCase{0x81, {0x22}, true, false, true, false, true, true, true, false},
                    FlagCase{0x81, {0x42}, true, false, true, true, true, false, true, false},
                    FlagCase{
                        0x81, {0x82}, true, false, true, false, true, false, true, false}, // reserved bit 7
                    FlagCase{0x91, {0x82}, true, false, true, false, true, false, true, true},
                    FlagCase{0xB2, {0x02, 0x01}, true, false, false, false, true, false, true, false},
                    FlagCase{0x80, {}, true, true, true, false, true, false, true, false})); // no data bytes

TEST(ReportDescriptorParser, UnitExponentIsAFourBitNumber)
{
    for (auto [raw, expected] :
         std::vector<std::pair<std::uint8_t, int>>{{0x0E, -2}, {0x02, 2}, {0x08, -8}, {0x07, 7}}) {
        ReportDescriptorParser p;
        ASSERT_TRUE(p.parse(withGlobals({0x55, raw, 0x09, 0x30, 0x81, 0x02})));
        EXPECT_EQ(fieldAt(p.layout(), 0).unitExponent, expected) << int(raw);
    }
}

TEST(ReportDescriptorParser, ExtraValuesRepeatTheLastUsage)
{
    ReportDescriptorParser p;
    ASSERT_TRUE(p.parse(withGlobals({0x95, 0x04, 0x09, 0x30, 0x09, 0x31, 0x81, 0x02})));
    const auto &f = p.layout().fields;
    ASSERT_EQ(f.size(), 4u);
    EXPECT_EQ(f[0].usage, 0x30);
    EXPECT_EQ(f[1].usage, 0x31);
    EXPECT_EQ(f[2].usage, 0x31);
    EXPECT_EQ(f[3].usage, 0x31);
    EXPECT_EQ(f[3].bitOffset, 24u);
}

TEST(ReportDescriptorParser, LocalsEndWithEveryMainItem)
{
    // The second Input has no usage of its own: it is padding, not a copy of the first.
    ReportDescriptorParser p;
    ASSERT_TRUE(p.parse(withGlobals({0x09, 0x30, 0x81, 0x02, 0x81, 0x02, 0x09, 0x31, 0x81, 0x02})));
    const auto &f = p.layout().fields;
    ASSERT_EQ(f.size(), 2u);
    EXPECT_EQ(f[1].usage, 0x31);
    EXPECT_EQ(f[1].bitOffset, 16u);
    // A collection also ends the locals.
    ASSERT_TRUE(p.parse(withGlobals({0x09, 0x30, 0xA1, 0x00, 0x81, 0x02, 0xC0})));
    EXPECT_TRUE(p.layout().fields.empty());
    EXPECT_EQ(p.layout().reports.at(0).sizeInBits, 8u);
}

TEST(ReportDescriptorParser, UsagePagesShortAndExtended)
{
    ReportDescriptorParser p;
    // A four-byte usage keeps its own page; a short one takes the current page.
    ASSERT_TRUE(p.parse(withGlobals({0x95, 0x02, 0x0B, 0x38, 0x02, 0x0C, 0x00, 0x09, 0x30, 0x81, 0x02})));
    ASSERT_EQ(p.layout().fields.size(), 2u);
    EXPECT_EQ(p.layout().fields[0].usagePage, 0x0C);
    EXPECT_EQ(p.layout().fields[0].usage, 0x0238);
    EXPECT_EQ(p.layout().fields[1].usagePage, 0x01);
    EXPECT_EQ(p.layout().fields[1].usage, 0x30);

    // A Usage Page that comes after the short usages still applies to them.
    ASSERT_TRUE(
        p.parse({0x15, 0x00, 0x25, 0x01, 0x75, 0x08, 0x95, 0x01, 0x09, 0x30, 0x05, 0x0D, 0x81, 0x02}));
    EXPECT_EQ(fieldAt(p.layout(), 0).usagePage, 0x0D);
}

TEST(ReportDescriptorParser, ReportIdsKeepOffsetsPerReport)
{
    ReportDescriptorParser p;
    ASSERT_TRUE(p.parse(withGlobals({0x85, 0x01, 0x09, 0x30, 0x81, 0x02,    // in 1 @0
                                     0x85, 0x02, 0x09, 0x31, 0x81, 0x02,    // in 2 @0
                                     0x09, 0x32, 0x91, 0x02,                // out 2 @0
                                     0x85, 0x01, 0x09, 0x33, 0x81, 0x02,    // in 1 @8
                                     0x85, 0xFF, 0x09, 0x34, 0xB1, 0x02}))) // feature 255 @0
        << p.error().toStdString();
    expectFields(p.layout(), {
                                 {In, 1, 0, 8, 1, 0x30, 0, 1},
                                 {In, 2, 0, 8, 1, 0x31, 0, 1},
                                 {Out, 2, 0, 8, 1, 0x32, 0, 1},
                                 {In, 1, 8, 8, 1, 0x33, 0, 1},
                                 {Feat, 255, 0, 8, 1, 0x34, 0, 1},
                             });
    EXPECT_EQ(p.layout().reports.size(), 4u);
}

TEST(ReportDescriptorParser, PaddingMovesTheOffset)
{
    ReportDescriptorParser p;
    ASSERT_TRUE(p.parse(withGlobals({0x75, 0x03, 0x81, 0x03, 0x75, 0x05, 0x09, 0x30, 0x81, 0x02})));
    ASSERT_EQ(p.layout().fields.size(), 1u);
    EXPECT_EQ(p.layout().fields[0].bitOffset, 3u);
    EXPECT_EQ(p.layout().reports[0].sizeInBits, 8u);
}

TEST(ReportDescriptorParser, LongItemsAreSkipped)
{
    ReportDescriptorParser p;
    ASSERT_TRUE(
        p.parse(withGlobals({0xFE, 0x03, 0x10, 0x09, 0x31, 0x81, // long item whose data looks like items
                             0x09, 0x30, 0x81, 0x02, 0xFE, 0x00, 0x20})));
    ASSERT_EQ(p.layout().fields.size(), 1u);
    EXPECT_EQ(p.layout().fields[0].usage, 0x30);
}

TEST(ReportDescriptorParser, DelimitersKeepTheFirstAlternative)
{
    ReportDescriptorParser p;
    ASSERT_TRUE(p.parse(
        withGlobals({0xA9, 0x01, 0x09, 0x30, 0xA9, 0x00, 0xA9, 0x01, 0x09, 0x40, 0xA9, 0x00, 0x81, 0x02})));
    ASSERT_EQ(p.layout().fields.size(), 1u);
    EXPECT_EQ(p.layout().fields[0].usage, 0x30);
}

TEST(ReportDescriptorParser, ReportSizeZeroAndWide)
{
    ReportDescriptorParser p;
    // Zero-width values carry nothing and take no room.
    ASSERT_TRUE(p.parse(withGlobals({0x75, 0x00, 0x95, 0x04, 0x09, 0x30, 0x81, 0x02})));
    EXPECT_TRUE(p.layout().fields.empty());
    EXPECT_EQ(p.layout().reports.at(0).sizeInBits, 0u);
    // 33 bits and up are accepted as buffers; the next value starts after them.
    ASSERT_TRUE(
        p.parse(withGlobals({0x75, 0x21, 0x09, 0x30, 0x81, 0x02, 0x75, 0x08, 0x09, 0x31, 0x81, 0x02})));
    ASSERT_EQ(p.layout().fields.size(), 2u);
    EXPECT_EQ(p.layout().fields[0].sizeInBits, 33u);
    EXPECT_EQ(p.layout().fields[1].bitOffset, 33u);
    EXPECT_EQ(p.layout().reports.at(0).payloadBytes(), 6u);
}

TEST(ReportDescriptorParser, HugeUsageRangeIsCutToTheLimit)
{
    ReportDescriptorParser::Limits limits;
    limits.maxUsages = 64;
    ReportDescriptorParser p(limits);
    // 0..0xFFFFFFFF would never end if walked whole.
    ASSERT_TRUE(p.parse(
        withGlobals({0x1B, 0x00, 0x00, 0x00, 0x00, 0x2B, 0xFF, 0xFF, 0xFF, 0xFF, 0x95, 0x02, 0x81, 0x02})))
        << p.error().toStdString();
    ASSERT_EQ(p.layout().fields.size(), 2u);
    EXPECT_EQ(p.layout().fields[1].usage, 1);
    // With no room left at all the descriptor is refused.
    EXPECT_FALSE(p.parse(withGlobals({0x19, 0x00, 0x29, 0x3F, 0x19, 0x00, 0x29, 0x05, 0x81, 0x02})));
    EXPECT_TRUE(p.error().contains(QStringLiteral("usages")));
    // An inverted range is empty.
    ASSERT_TRUE(p.parse(withGlobals({0x19, 0x05, 0x29, 0x01, 0x81, 0x02})));
    EXPECT_TRUE(p.layout().fields.empty());
}

struct MalformedCase
{
    const char *name;
    Bytes bytes;
    const char *reason; // a word the error must contain
    std::size_t offset; // where the fault is reported
};

class MalformedTest : public testing::TestWithParam<MalformedCase>
{
};

TEST_P(MalformedTest, IsRefusedWithAReason)
{
    const MalformedCase &c = GetParam();
    ReportDescriptorParser p;
    // A first good parse must not leak into the refused one.
    ASSERT_TRUE(p.parse(bootMouse));
    EXPECT_FALSE(p.parse(c.bytes));
    EXPECT_TRUE(p.error().contains(QLatin1String(c.reason), Qt::CaseInsensitive)) << p.error().toStdString();
    EXPECT_EQ(p.errorOffset(), c.offset);
    EXPECT_TRUE(p.layout().fields.empty());
    EXPECT_TRUE(p.layout().reports.empty());
}

INSTANTIATE_TEST_SUITE_P(
    ReportDescriptorParser, MalformedTest,
    testing::Values(
        MalformedCase{"Empty", {}, "empty", 0},
        MalformedCase{"TruncatedTwoByteItem", {0x05, 0x01, 0x26, 0xFF}, "truncated", 2},
        MalformedCase{"TruncatedFourByteItem", {0x27, 0xFF, 0xFF, 0xFF}, "truncated", 0},
        MalformedCase{"TruncatedLongItemHeader", {0x05, 0x01, 0xFE, 0x05}, "truncated long", 2},
        MalformedCase{"TruncatedLongItemData", {0xFE, 0x05, 0x10, 0x01, 0x02}, "truncated long", 0},
        MalformedCase{"PopUnderflow", {0x05, 0x01, 0xB4}, "underflow", 2},
        MalformedCase{"PushOverflow", {0xA4, 0xA4, 0xA4, 0xA4, 0xA4}, "overflow", 4},
        MalformedCase{"ReportIdZero", {0x85, 0x00}, "Report ID 0", 0},
        MalformedCase{"ReportId256", {0x86, 0x00, 0x01}, "Report ID 256", 0},
        MalformedCase{"CollectionUnderflow", {0x05, 0x01, 0xC0}, "collection stack underflow", 2},
        MalformedCase{"UnclosedCollection", {0xA1, 0x01, 0xA1, 0x00, 0xC0}, "unbalanced collection", 5},
        MalformedCase{"InvalidLogicalRange",
                      {0x15, 0x05, 0x25, 0x01, 0x75, 0x08, 0x95, 0x01, 0x81, 0x01},
                      "logical range",
                      8},
        MalformedCase{"InvalidSignedRange",
                      {0x15, 0xFF, 0x25, 0xFE, 0x75, 0x08, 0x95, 0x01, 0x09, 0x30, 0x81, 0x02},
                      "logical range",
                      10},
        MalformedCase{"ReportSize257", {0x76, 0x01, 0x01}, "Report Size", 0},
        MalformedCase{"ReportCountTooLarge", {0x96, 0x01, 0x30}, "Report Count", 0},
        MalformedCase{"ReportTooLong",
                      {0x15, 0x00, 0x25, 0x01, 0x76, 0x00, 0x01, 0x96, 0x00, 0x30, 0x81, 0x01},
                      "longer than",
                      10},
        MalformedCase{"NestedDelimiters", {0xA9, 0x01, 0xA9, 0x01}, "nested", 2},
        MalformedCase{"CloseDelimiterFirst", {0xA9, 0x00}, "delimiter", 0},
        MalformedCase{"OpenDelimiterAtEnd", {0xA9, 0x01}, "unbalanced delimiter", 2},
        MalformedCase{"UnknownGlobalTag", {0xC4, 0x00}, "unknown global", 0}),
    [](const testing::TestParamInfo<MalformedCase> &i) { return std::string(i.param.name); });

TEST(ReportDescriptorParser, CountsItemsFieldsAndDepth)
{
    ReportDescriptorParser::Limits limits;
    limits.maxItems = 10;
    limits.maxFields = 16;
    limits.maxCollectionDepth = 3;
    ReportDescriptorParser p(limits);

    const Bytes many(11, 0x04); // Usage Page 0, eleven times
    EXPECT_FALSE(p.parse(many));
    EXPECT_TRUE(p.error().contains(QStringLiteral("items")));
    EXPECT_EQ(p.errorOffset(), 10u);

    EXPECT_FALSE(p.parse({0x15, 0x00, 0x25, 0x01, 0x75, 0x01, 0x95, 0x11, 0x09, 0x30, 0x81, 0x02}));
    EXPECT_TRUE(p.error().contains(QStringLiteral("fields")));
    EXPECT_TRUE(p.parse({0x15, 0x00, 0x25, 0x01, 0x75, 0x01, 0x95, 0x10, 0x09, 0x30, 0x81, 0x02}));

    EXPECT_FALSE(p.parse({0xA1, 0x01, 0xA1, 0x00, 0xA1, 0x00, 0xA1, 0x00}));
    EXPECT_TRUE(p.error().contains(QStringLiteral("nested")));

    ReportDescriptorParser::Limits small;
    small.maxDescriptorBytes = 4;
    EXPECT_FALSE(ReportDescriptorParser(small).parse(bootMouse));
}

TEST(ReportDescriptorParser, ReservedItemsAndUnknownMainItemsAreIgnored)
{
    ReportDescriptorParser p;
    ASSERT_TRUE(p.parse(withGlobals({0x0D, 0x55, 0x09, 0x30, 0xD0, 0x09, 0x31, 0x81, 0x02})));
    ASSERT_EQ(p.layout().fields.size(), 1u);
    EXPECT_EQ(p.layout().fields[0].usage, 0x31); // the unknown main item ended the first usage
}
