// Report descriptors as a device may send them, then every field the parser
// accepts moved in and out of its report at the limits it declares. Besides
// the sanitizers, it traps when the parser breaks a promise (a refusal
// without a reason, a field outside its report, a limit exceeded) or the
// codec does (a neighbour's bit changed, a value in range that does not come
// back, a scaled limit that does not map onto the logical one).
#include "ReportCodec.h"
#include "ReportDescriptorParser.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <utility>
#include <vector>

namespace {

[[noreturn]] void broken(const char *promise, int line)
{
    std::fprintf(stderr, "broken promise at line %d: %s\n", line, promise);
    __builtin_trap();
}

// Names the broken promise before stopping, so a finding reads at once.
#define REQUIRE(promise) ((promise) ? void() : broken(#promise, __LINE__))

std::uint32_t mask(std::uint32_t bits)
{
    return bits >= 32 ? 0xFFFFFFFFu : ((1u << bits) - 1u);
}

// True when every value of the logical range has its own bit pattern in the field.
bool rangeFits(const HidField &f)
{
    const std::uint32_t bits = f.sizeInBits;
    if (bits >= 32)
        return true;
    const std::int64_t lmin = ReportCodec::logicalMin(f), lmax = ReportCodec::logicalMax(f);
    if (lmin < 0)
        return lmin >= -(std::int64_t(1) << (bits - 1)) && lmax < (std::int64_t(1) << (bits - 1));
    return lmax <= std::int64_t(mask(bits));
}

// The bytes a field's first 32 bits touch, as [first, last) of the buffer.
std::pair<std::size_t, std::size_t> span(const HidField &f, std::size_t size)
{
    const std::uint32_t bits = std::min<std::uint32_t>(f.sizeInBits, 32);
    const std::size_t first = std::min<std::size_t>(size, 1 + f.bitOffset / 8);
    const std::size_t last = std::min<std::size_t>(size, 1 + (std::size_t(f.bitOffset) + bits + 7) / 8);
    return {first, last};
}

void restore(const HidField &f, std::vector<std::uint8_t> &buf, const std::vector<std::uint8_t> &pattern)
{
    const auto [first, last] = span(f, buf.size());
    std::copy(pattern.begin() + static_cast<std::ptrdiff_t>(first),
              pattern.begin() + static_cast<std::ptrdiff_t>(last),
              buf.begin() + static_cast<std::ptrdiff_t>(first));
}

// Sets `value`, checks that only the field's own bits changed and that the
// bit pattern stored is the value's low bits; returns what reads back.
std::int32_t roundTrip(const HidField &f, std::vector<std::uint8_t> &buf,
                       const std::vector<std::uint8_t> &pattern, std::int32_t value)
{
    const std::uint32_t bits = std::min<std::uint32_t>(f.sizeInBits, 32);
    ReportCodec::setUnScaledValue(f, buf, value);
    REQUIRE(buf[0] == pattern[0]);
    const std::uint32_t stored = ReportCodec::extractBits(buf.data() + 1, buf.size() - 1, f.bitOffset, bits);
    REQUIRE(stored == (static_cast<std::uint32_t>(value) & mask(bits)));
    // The bytes around the field, and the field's bits past the 32 the codec reaches.
    const auto [first, last] = span(f, buf.size());
    // Small reports are checked whole, large ones around the field.
    const std::size_t from = buf.size() <= 64 ? 1 : (first > 1 ? first - 1 : 1);
    const std::size_t to = buf.size() <= 64 ? buf.size() : std::min(buf.size(), last + 1);
    for (std::size_t b = from; b < to; ++b) {
        if (b < first || b >= last) {
            REQUIRE(buf[b] == pattern[b]);
            continue;
        }
        for (std::uint32_t bit = 0; bit < 8; ++bit) {
            const std::uint64_t at = (b - 1) * 8 + bit;
            if (at >= f.bitOffset && at < std::uint64_t(f.bitOffset) + bits)
                continue;
            REQUIRE(((buf[b] ^ pattern[b]) >> bit & 1) == 0);
        }
    }
    const std::int32_t back = ReportCodec::unScaledValue(f, buf);
    restore(f, buf, pattern);
    return back;
}

void checkField(const HidField &f, std::vector<std::uint8_t> &buf, const std::vector<std::uint8_t> &pattern)
{
    const std::int64_t lmin = ReportCodec::logicalMin(f), lmax = ReportCodec::logicalMax(f);
    const std::int64_t pmin = f.physicalMinimum, pmax = ReportCodec::physicalMax(f);

    // Every value of a range that fits the field comes back as it went in.
    const bool fits = rangeFits(f);
    for (std::int64_t v : {lmin, lmax, lmin + (lmax - lmin) / 2}) {
        const std::int32_t back = roundTrip(f, buf, pattern, static_cast<std::int32_t>(v));
        if (fits)
            REQUIRE(back == static_cast<std::int32_t>(v));
    }
    // Raw values far outside the logical range still scale without overflow.
    for (std::int32_t v : {0, -1, 1, INT32_MIN, INT32_MAX}) {
        ReportCodec::setUnScaledValue(f, buf, v);
        ReportCodec::scaledValue(f, buf);
        restore(f, buf, pattern);
        roundTrip(f, buf, pattern, v);
    }

    // The physical limits land on the logical ones and read back as themselves.
    const bool physicalInInt =
        pmin >= INT32_MIN && pmin <= INT32_MAX && pmax >= INT32_MIN && pmax <= INT32_MAX;
    if (fits && physicalInInt && pmin != pmax && lmin != lmax) {
        const std::int64_t ends[2][2] = {{pmin, lmin}, {pmax, lmax}};
        for (const auto &end : ends) {
            REQUIRE(ReportCodec::toUnscaled(f, end[0]) == end[1]);
            REQUIRE(ReportCodec::toScaled(f, end[1]) == end[0]);
            ReportCodec::setScaledValue(f, buf, static_cast<std::int32_t>(end[0]));
            REQUIRE(ReportCodec::scaledValue(f, buf) == end[0]);
        }
        // Beyond the physical range the value is held at its end.
        const std::int64_t low = std::min(pmin, pmax), high = std::max(pmin, pmax);
        REQUIRE(ReportCodec::toUnscaled(f, high + 1000) == ReportCodec::toUnscaled(f, high));
        REQUIRE(ReportCodec::toUnscaled(f, low - 1000) == ReportCodec::toUnscaled(f, low));
        restore(f, buf, pattern);
    }
    // An empty physical range stores the logical minimum.
    if (fits && pmin == pmax && physicalInInt) {
        ReportCodec::setScaledValue(f, buf, static_cast<std::int32_t>(pmin));
        REQUIRE(ReportCodec::unScaledValue(f, buf) == static_cast<std::int32_t>(lmin));
        restore(f, buf, pattern);
    }
    // A buffer too short for the field reads 0 and takes nothing.
    std::vector<std::uint8_t> idOnly{pattern[0]}, none;
    ReportCodec::setUnScaledValue(f, idOnly, -1);
    ReportCodec::setUnScaledValue(f, none, -1);
    REQUIRE(idOnly.size() == 1 && idOnly[0] == pattern[0] && none.empty());
    REQUIRE(ReportCodec::unScaledValue(f, idOnly) == 0 && ReportCodec::unScaledValue(f, none) == 0);

    // A value inside the logical range scales into the physical one.
    if (fits && physicalInInt) {
        const std::int64_t low = std::min(pmin, pmax), high = std::max(pmin, pmax);
        for (std::int64_t v : {lmin, lmax, lmin + (lmax - lmin) / 3}) {
            const std::int64_t s = ReportCodec::toScaled(f, v);
            REQUIRE(s >= low && s <= high);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    ReportDescriptorParser parser;
    if (!parser.parse(data, size)) {
        REQUIRE(!parser.error().isEmpty() && parser.errorOffset() <= size && parser.layout().fields.empty() &&
                parser.layout().reports.empty());
        return 0;
    }
    const HidReportLayout &layout = parser.layout();
    const ReportDescriptorParser::Limits &limits = parser.limits();
    REQUIRE(layout.fields.size() <= limits.maxFields);
    for (const HidReportInfo &r : layout.reports)
        REQUIRE(r.payloadBytes() <= limits.maxReportBytes && (r.id == 0 || layout.usesReportIds));

    // One patterned buffer per report, so any stray write shows.
    std::vector<std::vector<std::uint8_t>> patterns;
    for (const HidReportInfo &r : layout.reports) {
        std::vector<std::uint8_t> p = ReportCodec::newReport(r);
        REQUIRE(p.size() == 1 + r.payloadBytes() && p[0] == r.id);
        for (std::size_t b = 1; b < p.size(); ++b)
            p[b] = static_cast<std::uint8_t>(0xA5 ^ (b * 37));
        patterns.push_back(std::move(p));
    }
    std::vector<std::vector<std::uint8_t>> buffers = patterns;

    for (const HidField &f : layout.fields) {
        const HidReportInfo *r = layout.findReport(f.reportType, f.reportId);
        REQUIRE(r != nullptr);
        REQUIRE(f.sizeInBits > 0 && f.sizeInBits <= limits.maxReportSize);
        REQUIRE(std::uint64_t(f.bitOffset) + f.sizeInBits <= r->sizeInBits);
        const auto k = static_cast<std::size_t>(r - layout.reports.data());
        checkField(f, buffers[k], patterns[k]);
        REQUIRE(buffers[k].size() > 64 || buffers[k] == patterns[k]);
    }
    return 0;
}
