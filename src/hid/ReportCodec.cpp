#include "ReportCodec.h"

#include <algorithm>
#include <climits>

namespace {

// Products of two 33-bit spans need more than 64 bits.
__extension__ typedef __int128 Wide;

constexpr std::uint32_t lowMask(std::uint32_t bits)
{
    return bits >= 32 ? 0xFFFFFFFFu : ((1u << bits) - 1u);
}

// Integer division rounded to the nearest, halves away from zero.
std::int64_t divRound(Wide num, Wide den)
{
    if (den < 0) {
        num = -num;
        den = -den;
    }
    const Wide q = num >= 0 ? (num + den / 2) / den : -((-num + den / 2) / den);
    // A raw value far outside a narrow logical range can overshoot 64 bits.
    constexpr Wide limit = INT64_MAX / 2;
    return static_cast<std::int64_t>(q > limit ? limit : (q < -limit ? -limit : q));
}

} // namespace

std::vector<std::uint8_t> ReportCodec::newReport(const HidReportInfo &report)
{
    std::vector<std::uint8_t> buf(1 + report.payloadBytes(), 0);
    buf[0] = report.id;
    return buf;
}

std::uint32_t ReportCodec::extractBits(const std::uint8_t *data, std::size_t size, std::uint64_t bitOffset,
                                       std::uint32_t bitCount)
{
    bitCount = std::min<std::uint32_t>(bitCount, 32);
    std::uint32_t value = 0;
    for (std::uint32_t i = 0; i < bitCount;) {
        const std::uint64_t bit = bitOffset + i;
        const std::uint64_t byte = bit / 8;
        if (byte >= size)
            break;
        const std::uint32_t shift = bit % 8;
        const std::uint32_t take = std::min<std::uint32_t>(8 - shift, bitCount - i);
        const std::uint32_t chunk = (data[byte] >> shift) & lowMask(take);
        value |= chunk << i;
        i += take;
    }
    return value;
}

void ReportCodec::insertBits(std::uint8_t *data, std::size_t size, std::uint64_t bitOffset,
                             std::uint32_t bitCount, std::uint32_t value)
{
    bitCount = std::min<std::uint32_t>(bitCount, 32);
    for (std::uint32_t i = 0; i < bitCount;) {
        const std::uint64_t bit = bitOffset + i;
        const std::uint64_t byte = bit / 8;
        if (byte >= size)
            break;
        const std::uint32_t shift = bit % 8;
        const std::uint32_t take = std::min<std::uint32_t>(8 - shift, bitCount - i);
        const std::uint32_t mask = lowMask(take) << shift;
        const std::uint32_t chunk = ((value >> i) & lowMask(take)) << shift;
        data[byte] = static_cast<std::uint8_t>((data[byte] & ~mask) | chunk);
        i += take;
    }
}

std::int32_t ReportCodec::unScaledValue(const HidField &field, const std::vector<std::uint8_t> &report)
{
    if (report.empty())
        return 0;
    const std::uint32_t bits = std::min<std::uint32_t>(field.sizeInBits, 32);
    std::uint32_t raw = extractBits(report.data() + 1, report.size() - 1, field.bitOffset, bits);
    if (field.logicalMinimum < 0 && bits > 0 && bits < 32 && (raw & (1u << (bits - 1))))
        raw |= ~lowMask(bits);
    return static_cast<std::int32_t>(raw);
}

void ReportCodec::setUnScaledValue(const HidField &field, std::vector<std::uint8_t> &report,
                                   std::int32_t value)
{
    if (report.empty())
        return;
    insertBits(report.data() + 1, report.size() - 1, field.bitOffset,
               std::min<std::uint32_t>(field.sizeInBits, 32), static_cast<std::uint32_t>(value));
}

std::int64_t ReportCodec::logicalMax(const HidField &field)
{
    return field.logicalMinimum < 0 ? std::int64_t(field.logicalMaximum)
                                    : std::int64_t(static_cast<std::uint32_t>(field.logicalMaximum));
}

std::int64_t ReportCodec::physicalMax(const HidField &field)
{
    return field.physicalMinimum < 0 ? std::int64_t(field.physicalMaximum)
                                     : std::int64_t(static_cast<std::uint32_t>(field.physicalMaximum));
}

std::int64_t ReportCodec::toScaled(const HidField &field, std::int64_t raw)
{
    const std::int64_t lmin = logicalMin(field), lmax = logicalMax(field);
    const std::int64_t pmin = field.physicalMinimum, pmax = physicalMax(field);
    if (lmax == lmin)
        return pmin;
    return pmin + divRound(Wide(raw - lmin) * (pmax - pmin), lmax - lmin);
}

std::int64_t ReportCodec::toUnscaled(const HidField &field, std::int64_t scaled)
{
    const std::int64_t lmin = logicalMin(field), lmax = logicalMax(field);
    const std::int64_t pmin = field.physicalMinimum, pmax = physicalMax(field);
    if (pmax == pmin)
        return lmin;
    scaled = std::clamp(scaled, std::min(pmin, pmax), std::max(pmin, pmax));
    return lmin + divRound(Wide(scaled - pmin) * (lmax - lmin), pmax - pmin);
}

std::int32_t ReportCodec::scaledValue(const HidField &field, const std::vector<std::uint8_t> &report)
{
    const std::int32_t raw = unScaledValue(field, report);
    const std::int64_t raw64 =
        field.logicalMinimum < 0 ? std::int64_t(raw) : std::int64_t(static_cast<std::uint32_t>(raw));
    const std::int64_t scaled = toScaled(field, raw64);
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(scaled, INT32_MIN, INT32_MAX));
}

void ReportCodec::setScaledValue(const HidField &field, std::vector<std::uint8_t> &report, std::int32_t value)
{
    setUnScaledValue(field, report, static_cast<std::int32_t>(toUnscaled(field, value)));
}
