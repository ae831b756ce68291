#include "ReportCodec.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <random>

namespace {

// Bit i of a little-endian bit stream, the plain way, as a reference.
bool bitAt(const std::vector<std::uint8_t> &buf, std::size_t i)
{
    return (buf[i / 8] >> (i % 8)) & 1;
}

HidField field(std::uint32_t offset, std::uint32_t size, std::int32_t lmin, std::int32_t lmax)
{
    HidField f;
    f.bitOffset = offset;
    f.sizeInBits = size;
    f.logicalMinimum = lmin;
    f.logicalMaximum = lmax;
    f.physicalMinimum = lmin;
    f.physicalMaximum = lmax;
    return f;
}

} // namespace

TEST(ReportCodec, EverySizeAtOddOffsetsRoundTripsAndSparesItsNeighbours)
{
    std::mt19937 rng(99);
    for (std::uint32_t size = 1; size <= 32; ++size) {
        for (std::uint32_t offset : {0u, 1u, 3u, 7u, 8u, 13u, 29u}) {
            SCOPED_TRACE(testing::Message() << "size " << size << " offset " << offset);
            std::vector<std::uint8_t> buf(1 + 10);
            for (auto &b : buf)
                b = static_cast<std::uint8_t>(rng());
            const auto before = buf;
            const std::uint32_t value = static_cast<std::uint32_t>(rng());
            const std::uint32_t mask = size == 32 ? 0xFFFFFFFFu : ((1u << size) - 1);

            HidField f = field(offset, size, 0, 1);
            ReportCodec::setUnScaledValue(f, buf, static_cast<std::int32_t>(value));
            EXPECT_EQ(static_cast<std::uint32_t>(ReportCodec::unScaledValue(f, buf)), value & mask);

            // Field bits match the value LSB first; every other bit is untouched.
            for (std::size_t bit = 0; bit < (buf.size() - 1) * 8; ++bit) {
                const std::size_t abs = bit + 8;
                if (bit >= offset && bit < offset + size)
                    ASSERT_EQ(bitAt(buf, abs), bool((value >> (bit - offset)) & 1)) << "bit " << bit;
                else
                    ASSERT_EQ(bitAt(buf, abs), bitAt(before, abs)) << "bit " << bit;
            }
            EXPECT_EQ(buf[0], before[0]); // the report-ID byte is never a field
        }
    }
}

struct SignCase
{
    std::uint32_t size;
    std::int32_t lmin;
    std::uint32_t stored;
    std::int32_t expected;
};

class SignTest : public testing::TestWithParam<SignCase>
{
};

TEST_P(SignTest, NegativeMinimumMeansSigned)
{
    const SignCase &c = GetParam();
    std::vector<std::uint8_t> buf(1 + 5, 0);
    ReportCodec::insertBits(buf.data() + 1, buf.size() - 1, 5, c.size, c.stored);
    EXPECT_EQ(ReportCodec::unScaledValue(field(5, c.size, c.lmin, 100), buf), c.expected);
}

INSTANTIATE_TEST_SUITE_P(ReportCodec, SignTest,
                         testing::Values(SignCase{16, 0, 64986, 64986}, // -55.0 °C as the console decodes it
                                         SignCase{16, 0, 65411, 65411}, // -12.5 °C
                                         SignCase{16, -32768, 64986, -550}, SignCase{16, -1, 0x7FFF, 32767},
                                         SignCase{8, -128, 0x80, -128}, SignCase{8, 0, 0x80, 128},
                                         SignCase{1, -1, 1, -1}, SignCase{12, -2048, 0x800, -2048},
                                         SignCase{32, 0, 0xFFFFFFFF, -1}, // raw bits as a Long
                                         SignCase{32, INT32_MIN, 0x80000000, INT32_MIN}));

TEST(ReportCodec, WritingANegativeValueStoresTwosComplement)
{
    std::vector<std::uint8_t> buf(1 + 2, 0);
    ReportCodec::setUnScaledValue(field(0, 16, 0, 65535), buf, -125);
    EXPECT_EQ(buf[1], 0x83); // 65411 = 0xFF83
    EXPECT_EQ(buf[2], 0xFF);
}

TEST(ReportCodec, BitsPastTheBufferReadAsZeroAndAreNeverWritten)
{
    std::vector<std::uint8_t> storage = {0xAA, 0xFF, 0xFF, 0x55};
    // Tell the codec only the first two bytes are the report.
    EXPECT_EQ(ReportCodec::extractBits(storage.data(), 2, 12, 16), 0x0Fu);
    ReportCodec::insertBits(storage.data(), 2, 12, 16, 0);
    EXPECT_EQ(storage[1], 0x0F);
    EXPECT_EQ(storage[2], 0xFF);
    EXPECT_EQ(storage[3], 0x55);
    EXPECT_EQ(ReportCodec::extractBits(storage.data(), 2, 100, 8), 0u);
    std::vector<std::uint8_t> empty;
    EXPECT_EQ(ReportCodec::unScaledValue(field(0, 8, 0, 255), empty), 0);
}

TEST(ReportCodec, WiderThan32BitsUsesTheLowWord)
{
    std::vector<std::uint8_t> buf(1 + 6, 0xEE);
    const HidField wide = field(4, 40, 0, 1);
    ReportCodec::setUnScaledValue(wide, buf, 0x12345678);
    EXPECT_EQ(ReportCodec::unScaledValue(wide, buf), 0x12345678);
    EXPECT_EQ(buf[5] >> 4, 0xE); // bits 36..43 of the field are not written
    EXPECT_EQ(buf[6], 0xEE);
}

TEST(ReportCodec, NewReportCarriesItsId)
{
    const auto buf = ReportCodec::newReport(HidReportInfo{HidReportType::Output, 2, 41});
    ASSERT_EQ(buf.size(), 1u + 6u);
    EXPECT_EQ(buf[0], 2);
    EXPECT_EQ(std::count(buf.begin() + 1, buf.end(), 0), 6);
}

struct ScaleCase
{
    std::int32_t lmin, lmax, pmin, pmax;
    std::int64_t raw, scaled;
};

class ScaleTest : public testing::TestWithParam<ScaleCase>
{
};

TEST_P(ScaleTest, MapsLogicalOntoPhysical)
{
    const ScaleCase &c = GetParam();
    HidField f = field(0, 32, c.lmin, c.lmax);
    f.physicalMinimum = c.pmin;
    f.physicalMaximum = c.pmax;
    EXPECT_EQ(ReportCodec::toScaled(f, c.raw), c.scaled);
}

INSTANTIATE_TEST_SUITE_P(
    ReportCodec, ScaleTest,
    testing::Values(ScaleCase{0, 255, 0, 1000, 0, 0}, ScaleCase{0, 255, 0, 1000, 255, 1000},
                    ScaleCase{0, 255, 0, 1000, 1, 4},     // 3.92 rounds up
                    ScaleCase{0, 255, 0, 1000, 128, 502}, // 501.96
                    ScaleCase{0, 3, 0, 10, 1, 3},         // 3.33 rounds down
                    ScaleCase{0, 4, 0, 10, 1, 3},         // 2.5 rounds away from zero
                    ScaleCase{-127, 127, -1000, 1000, -127, -1000},
                    ScaleCase{-127, 127, -1000, 1000, -1, -8}, // -7.87
                    ScaleCase{0, 65535, 0, 65535, 64986, 64986},
                    ScaleCase{0, -1, 0, 100, 0xFFFFFFFFLL, 100}, // unsigned 32-bit logical maximum
                    ScaleCase{5, 5, 7, 9, 5, 7},                 // empty logical range: no division by zero
                    ScaleCase{INT32_MIN, INT32_MAX, INT32_MIN, INT32_MAX, 12345, 12345}));

TEST(ReportCodec, ScaledWritesInvertTheMappingAndClamp)
{
    HidField f = field(0, 8, 0, 255);
    f.physicalMinimum = 0;
    f.physicalMaximum = 1000;
    std::vector<std::uint8_t> buf(2, 0);
    for (int raw = 0; raw <= 255; ++raw) {
        const auto scaled = static_cast<std::int32_t>(ReportCodec::toScaled(f, raw));
        ReportCodec::setScaledValue(f, buf, scaled);
        ASSERT_EQ(ReportCodec::unScaledValue(f, buf), raw) << "scaled " << scaled;
        ASSERT_EQ(ReportCodec::scaledValue(f, buf), scaled);
    }
    ReportCodec::setScaledValue(f, buf, 5000);
    EXPECT_EQ(ReportCodec::unScaledValue(f, buf), 255);
    ReportCodec::setScaledValue(f, buf, -5);
    EXPECT_EQ(ReportCodec::unScaledValue(f, buf), 0);

    f.physicalMaximum = 0; // empty physical range stores the logical minimum
    f.logicalMinimum = 3;
    ReportCodec::setScaledValue(f, buf, 77);
    EXPECT_EQ(ReportCodec::unScaledValue(f, buf), 3);
}
