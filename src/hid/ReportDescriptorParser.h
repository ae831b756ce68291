#pragma once

#include "HidReportLayout.h"

#include <QString>
#include <cstddef>
#include <cstdint>
#include <vector>

// Reads a HID report descriptor into the reports and fields it declares.
//
// The semantics follow the Linux HID core: globals with Push/Pop, locals reset
// after every main item, report IDs 1..255, usage ranges, the last usage
// repeated for extra values, padding that only moves the offset, signed
// minimums, and limits that keep a hostile descriptor from exhausting memory.
// Long items are skipped. A malformed descriptor is refused with a reason and
// the offset of the item at fault; the parser never reads past the end.
class ReportDescriptorParser
{
public:
    struct Limits
    {
        std::size_t maxDescriptorBytes = 4096;
        std::size_t maxItems = 4096;
        std::size_t maxFields = 4096;    // values over all reports
        std::uint32_t maxUsages = 12288; // usages in one local state
        std::uint32_t maxReportCount = 12288;
        std::uint32_t maxReportSize = 256;    // bits per value
        std::uint32_t maxReportBytes = 16383; // payload of one report
        std::size_t maxCollectionDepth = 32;
        std::size_t globalStackDepth = 4;
    };

    ReportDescriptorParser() = default;
    explicit ReportDescriptorParser(const Limits &limits) : m_limits(limits) {}

    // True when the descriptor was accepted; layout() then holds what it
    // declares, otherwise error() tells why and layout() is empty.
    bool parse(const std::uint8_t *data, std::size_t size);
    bool parse(const std::vector<std::uint8_t> &bytes) { return parse(bytes.data(), bytes.size()); }

    const HidReportLayout &layout() const { return m_layout; }
    const QString &error() const { return m_error; }
    std::size_t errorOffset() const { return m_errorOffset; }
    const Limits &limits() const { return m_limits; }

private:
    struct GlobalState
    {
        std::uint32_t usagePage = 0;
        std::int32_t logicalMinimum = 0;
        std::int32_t logicalMaximum = 0;
        std::int32_t physicalMinimum = 0;
        std::int32_t physicalMaximum = 0;
        std::int32_t unitExponent = 0;
        std::uint32_t unit = 0;
        std::uint32_t reportSize = 0;
        std::uint32_t reportId = 0;
        std::uint32_t reportCount = 0;
    };

    struct LocalState
    {
        std::vector<std::uint32_t> usages;    // page in the high 16 bits
        std::vector<std::uint8_t> usageSizes; // item size each usage came with
        std::uint32_t usageMinimum = 0;
        std::uint32_t stringIndex = 0;
        int delimiterDepth = 0;
        int delimiterBranch = 0;
    };

    struct Item
    {
        std::uint8_t type = 0;
        std::uint8_t tag = 0;
        std::uint8_t size = 0; // data bytes: 0, 1, 2 or 4
        std::uint32_t data = 0;

        std::int32_t signedData() const;
    };

    bool fail(const QString &why);
    bool mainItem(const Item &item);
    bool globalItem(const Item &item);
    bool localItem(const Item &item);
    bool addField(HidReportType type, std::uint32_t flags);
    bool addUsage(std::uint32_t usage, std::uint8_t size);
    void completeUsagesWithLastPage();

    Limits m_limits;
    HidReportLayout m_layout;
    QString m_error;
    std::size_t m_errorOffset = 0;

    // Parsing state, reset by every parse().
    GlobalState m_global;
    std::vector<GlobalState> m_globalStack;
    LocalState m_local;
    std::size_t m_collectionDepth = 0;
    std::size_t m_itemOffset = 0;
};
