#pragma once

#include <cstdint>

// Report types numbered as the component numbers them: 0 Input, 1 Output, 2 Feature.
enum class HidReportType : std::uint8_t { Input = 0, Output = 1, Feature = 2 };

// One element of an Input, Output or Feature main item: one value in one report.
// A main item with Report Count n gives n fields. Array items give one field per
// slot, each carrying the first usage of the item's list.
struct HidField
{
    HidReportType reportType = HidReportType::Input;
    std::uint8_t reportId = 0;    // 0 when the descriptor declares no report IDs
    std::uint32_t bitOffset = 0;  // from the first bit after the report-ID byte
    std::uint32_t sizeInBits = 0; // Report Size (1..256; the codec reaches the low 32 bits)

    std::uint16_t usagePage = 0;
    std::uint16_t usage = 0;

    std::int32_t logicalMinimum = 0;
    std::int32_t logicalMaximum = 0;
    std::int32_t physicalMinimum = 0;
    std::int32_t physicalMaximum = 0;
    std::uint32_t unit = 0;
    std::int32_t unitExponent = 0;
    std::uint32_t stringIndex = 0; // 0 = no string descriptor

    std::uint32_t mainItemData = 0; // the raw Input/Output/Feature bits

    bool isConstant() const { return mainItemData & 0x001; }
    bool ArrayNotVariable() const { return !(mainItemData & 0x002); }
    bool AbsoluteNotRelative() const { return !(mainItemData & 0x004); }
    bool NoWrap() const { return !(mainItemData & 0x008); }
    bool Linear() const { return !(mainItemData & 0x010); }
    bool NoPrefState() const { return mainItemData & 0x020; }
    bool HasNullState() const { return mainItemData & 0x040; }
    // Bit 7 is reserved in Input items, so only output and feature values can be volatile.
    bool Volatile() const { return reportType != HidReportType::Input && (mainItemData & 0x080); }
    bool BitsNotBuffer() const { return !(mainItemData & 0x100); }

    // A button is a one-bit variable that can only be off or on (logical 0..1),
    // whatever its usage page: that is how such fields behave for a host.
    bool IsButton() const
    {
        return sizeInBits == 1 && !ArrayNotVariable() && logicalMinimum == 0 && logicalMaximum == 1;
    }
};
