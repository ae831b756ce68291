// Random and mutated descriptors: the parser must answer every one of them,
// and whatever it accepts must be a layout the codec can use safely.
#include "ReportDescriptorParser.h"
#include "VirtualThermostat.h"

#include <gtest/gtest.h>
#include <random>

namespace {

using Bytes = std::vector<std::uint8_t>;

// Checks what a successful parse promises: every field lies inside its report,
// every report is one the layout lists, and the limits hold.
void expectConsistent(const ReportDescriptorParser &p)
{
    const HidReportLayout &l = p.layout();
    ASSERT_LE(l.fields.size(), p.limits().maxFields);
    for (const HidReportInfo &r : l.reports)
        ASSERT_LE(r.payloadBytes(), p.limits().maxReportBytes);
    for (const HidField &f : l.fields) {
        const HidReportInfo *r = l.findReport(f.reportType, f.reportId);
        ASSERT_NE(r, nullptr);
        ASSERT_GT(f.sizeInBits, 0u);
        ASSERT_LE(f.sizeInBits, p.limits().maxReportSize);
        ASSERT_LE(std::uint64_t(f.bitOffset) + f.sizeInBits, r->sizeInBits);
        if (f.reportId != 0) {
            ASSERT_TRUE(l.usesReportIds);
        }
    }
}

void runOne(ReportDescriptorParser &p, const Bytes &d)
{
    if (p.parse(d)) {
        expectConsistent(p);
    } else {
        ASSERT_FALSE(p.error().isEmpty());
        ASSERT_LE(p.errorOffset(), d.size());
        ASSERT_TRUE(p.layout().fields.empty());
    }
}

} // namespace

TEST(ReportDescriptorFuzz, RandomBytesNeverCrashOrOverrun)
{
    std::mt19937 rng(20240611);
    ReportDescriptorParser p;
    int accepted = 0;
    for (int round = 0; round < 20000; ++round) {
        // Exact-size heap buffers, so a sanitizer build catches any over-read.
        Bytes d(rng() % 48);
        for (auto &b : d)
            b = static_cast<std::uint8_t>(rng());
        runOne(p, d);
        if (HasFatalFailure())
            FAIL() << "round " << round;
        accepted += p.error().isEmpty();
    }
    // Random bytes mostly fail; some short ones are valid. Both paths ran.
    EXPECT_GT(accepted, 0);
    EXPECT_LT(accepted, 20000);
}

TEST(ReportDescriptorFuzz, MutatedRealDescriptorsNeverCrash)
{
    std::mt19937 rng(7);
    const Bytes base = VirtualThermostat::standardReportDescriptor();
    ReportDescriptorParser p;
    for (int round = 0; round < 20000; ++round) {
        Bytes d = base;
        const int edits = 1 + int(rng() % 4);
        for (int e = 0; e < edits && !d.empty(); ++e) {
            const std::size_t at = rng() % d.size();
            switch (rng() % 4) {
            case 0:
                d[at] = static_cast<std::uint8_t>(rng());
                break;
            case 1:
                d[at] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
                break;
            case 2:
                d.resize(at); // truncation
                break;
            default:
                d.insert(d.begin() + std::ptrdiff_t(at), static_cast<std::uint8_t>(rng()));
                break;
            }
        }
        runOne(p, d);
        if (HasFatalFailure())
            FAIL() << "round " << round;
    }
}

TEST(ReportDescriptorFuzz, AdversarialShapesFinishQuickly)
{
    ReportDescriptorParser p;
    // Many maximal usage ranges, each cut to what is left.
    Bytes ranges;
    for (int i = 0; i < 300; ++i)
        ranges.insert(ranges.end(), {0x1B, 0, 0, 0, 0, 0x2B, 0xFF, 0xFF, 0xFF, 0xFF});
    EXPECT_FALSE(p.parse(ranges)); // more items than allowed
    // Maximal values everywhere in one main item.
    EXPECT_FALSE(p.parse({0x15, 0x00, 0x27, 0xFF, 0xFF, 0xFF, 0xFF, 0x76, 0x00, 0x01, 0x96, 0x00, 0x30,
                          0x1B, 0,    0,    0,    0,    0x2B, 0xFF, 0xFF, 0xFF, 0xFF, 0x81, 0x02}));
}
