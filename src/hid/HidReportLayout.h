#pragma once

#include "HidField.h"

#include <cstdint>
#include <vector>

// One report of a descriptor: a type and an ID and how many bits its fields
// take, padding included.
struct HidReportInfo
{
    HidReportType type = HidReportType::Input;
    std::uint8_t id = 0;
    std::uint32_t sizeInBits = 0;

    // Payload length on the wire, without the report-ID byte.
    std::uint32_t payloadBytes() const { return (sizeInBits + 7) / 8; }
};

// What a report descriptor declares: reports in order of first appearance and
// the data fields in descriptor order (padding is left out, it only moves offsets).
struct HidReportLayout
{
    bool usesReportIds = false;
    std::vector<HidReportInfo> reports;
    std::vector<HidField> fields;

    const HidReportInfo *findReport(HidReportType type, std::uint8_t id) const
    {
        for (const auto &r : reports)
            if (r.type == type && r.id == id)
                return &r;
        return nullptr;
    }
};
