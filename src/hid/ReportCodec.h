#pragma once

#include "HidField.h"
#include "HidReportLayout.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Moves field values in and out of report buffers. A report buffer always
// starts with the report-ID byte (0 when the device uses no IDs); field bit
// offsets count from the byte after it. HID packs values little-endian, the
// least significant bit first.
class ReportCodec
{
public:
    // A zeroed buffer for that report, its ID byte in front.
    static std::vector<std::uint8_t> newReport(const HidReportInfo &report);

    // Up to 32 bits at any bit offset of `data`. Bits beyond the buffer read as
    // 0 and are not written, so a short buffer can never be overrun.
    static std::uint32_t extractBits(const std::uint8_t *data, std::size_t size, std::uint64_t bitOffset,
                                     std::uint32_t bitCount);
    static void insertBits(std::uint8_t *data, std::size_t size, std::uint64_t bitOffset,
                           std::uint32_t bitCount, std::uint32_t value);

    // The raw field: zero-extended when the logical minimum is not negative,
    // sign-extended otherwise. Fields wider than 32 bits give their low 32 bits.
    static std::int32_t unScaledValue(const HidField &field, const std::vector<std::uint8_t> &report);
    // Stores the low bits of `value` (two's complement), leaving the neighbours alone.
    static void setUnScaledValue(const HidField &field, std::vector<std::uint8_t> &report,
                                 std::int32_t value);

    // The logical range mapped linearly onto the physical one, rounded to the
    // nearest integer. An empty logical range gives the physical minimum.
    static std::int32_t scaledValue(const HidField &field, const std::vector<std::uint8_t> &report);
    // The inverse: the value is clamped to the physical range first; an empty
    // physical range stores the logical minimum.
    static void setScaledValue(const HidField &field, std::vector<std::uint8_t> &report, std::int32_t value);

    static std::int64_t toScaled(const HidField &field, std::int64_t raw);
    static std::int64_t toUnscaled(const HidField &field, std::int64_t scaled);

    // The logical limits as numbers: the maximum is unsigned when the minimum is not negative.
    static std::int64_t logicalMin(const HidField &field) { return field.logicalMinimum; }
    static std::int64_t logicalMax(const HidField &field);
    static std::int64_t physicalMax(const HidField &field);
};
