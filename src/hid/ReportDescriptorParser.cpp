#include "ReportDescriptorParser.h"

#include <algorithm>

namespace {

enum ItemType : std::uint8_t { Main = 0, Global = 1, Local = 2, Reserved = 3 };

enum MainTag : std::uint8_t {
    Input = 0x8,
    Output = 0x9,
    Collection = 0xA,
    Feature = 0xB,
    EndCollection = 0xC
};

enum GlobalTag : std::uint8_t {
    UsagePage = 0x0,
    LogicalMinimum = 0x1,
    LogicalMaximum = 0x2,
    PhysicalMinimum = 0x3,
    PhysicalMaximum = 0x4,
    UnitExponent = 0x5,
    Unit = 0x6,
    ReportSize = 0x7,
    ReportId = 0x8,
    ReportCount = 0x9,
    Push = 0xA,
    Pop = 0xB
};

enum LocalTag : std::uint8_t {
    Usage = 0x0,
    UsageMinimum = 0x1,
    UsageMaximum = 0x2,
    StringIndex = 0x7,
    Delimiter = 0xA
};

constexpr std::uint8_t LongItemTag = 0xF;
constexpr std::uint32_t MaxReportId = 255;

// A 4-bit two's complement nibble, as Unit Exponent is usually written.
std::int32_t signedNibble(std::uint32_t v)
{
    return (v & 0x8) ? static_cast<std::int32_t>(v) - 16 : static_cast<std::int32_t>(v);
}

} // namespace

std::int32_t ReportDescriptorParser::Item::signedData() const
{
    switch (size) {
    case 1:
        return static_cast<std::int8_t>(data & 0xFF);
    case 2:
        return static_cast<std::int16_t>(data & 0xFFFF);
    case 4:
        return static_cast<std::int32_t>(data);
    default:
        return 0;
    }
}

bool ReportDescriptorParser::fail(const QString &why)
{
    m_error = why;
    m_errorOffset = m_itemOffset;
    m_layout = HidReportLayout{};
    return false;
}

bool ReportDescriptorParser::parse(const std::uint8_t *data, std::size_t size)
{
    m_layout = HidReportLayout{};
    m_error.clear();
    m_errorOffset = 0;
    m_global = GlobalState{};
    m_globalStack.clear();
    m_local = LocalState{};
    m_collectionDepth = 0;
    m_itemOffset = 0;

    if (size == 0 || data == nullptr)
        return fail(QStringLiteral("empty report descriptor"));
    if (size > m_limits.maxDescriptorBytes)
        return fail(QStringLiteral("report descriptor of %1 bytes is longer than %2 bytes")
                        .arg(size)
                        .arg(m_limits.maxDescriptorBytes));

    std::size_t pos = 0;
    std::size_t items = 0;
    while (pos < size) {
        m_itemOffset = pos;
        if (++items > m_limits.maxItems)
            return fail(QStringLiteral("more than %1 items").arg(m_limits.maxItems));

        const std::uint8_t prefix = data[pos++];
        Item item;
        item.type = (prefix >> 2) & 0x3;
        item.tag = (prefix >> 4) & 0xF;

        if (item.tag == LongItemTag) {
            // Long items carry no meaning for reports: skip them whole.
            if (size - pos < 2)
                return fail(QStringLiteral("truncated long item"));
            const std::size_t dataSize = data[pos];
            pos += 2;
            if (size - pos < dataSize)
                return fail(QStringLiteral("truncated long item"));
            pos += dataSize;
            continue;
        }

        static constexpr std::uint8_t dataSizes[4] = {0, 1, 2, 4};
        item.size = dataSizes[prefix & 0x3];
        if (size - pos < item.size)
            return fail(QStringLiteral("truncated item"));
        for (std::uint8_t i = 0; i < item.size; ++i)
            item.data |= static_cast<std::uint32_t>(data[pos + i]) << (8 * i);
        pos += item.size;

        bool ok = true;
        switch (item.type) {
        case Main:
            ok = mainItem(item);
            break;
        case Global:
            ok = globalItem(item);
            break;
        case Local:
            ok = localItem(item);
            break;
        default:
            break; // reserved item type: ignored
        }
        if (!ok)
            return false;
    }

    m_itemOffset = size;
    if (m_collectionDepth != 0)
        return fail(QStringLiteral("unbalanced collection at end of report descriptor"));
    if (m_local.delimiterDepth != 0)
        return fail(QStringLiteral("unbalanced delimiter at end of report descriptor"));
    return true;
}

bool ReportDescriptorParser::mainItem(const Item &item)
{
    completeUsagesWithLastPage();

    bool ok = true;
    switch (item.tag) {
    case Collection:
        if (m_collectionDepth >= m_limits.maxCollectionDepth)
            return fail(QStringLiteral("collections nested deeper than %1").arg(m_limits.maxCollectionDepth));
        ++m_collectionDepth;
        break;
    case EndCollection:
        if (m_collectionDepth == 0)
            return fail(QStringLiteral("collection stack underflow"));
        --m_collectionDepth;
        break;
    case Input:
        ok = addField(HidReportType::Input, item.data);
        break;
    case Output:
        ok = addField(HidReportType::Output, item.data);
        break;
    case Feature:
        ok = addField(HidReportType::Feature, item.data);
        break;
    default:
        break; // unknown main item: ignored, but it still ends the local state
    }
    m_local = LocalState{};
    return ok;
}

bool ReportDescriptorParser::globalItem(const Item &item)
{
    GlobalState &g = m_global;
    switch (item.tag) {
    case UsagePage:
        g.usagePage = item.data;
        return true;
    case LogicalMinimum:
        g.logicalMinimum = item.signedData();
        return true;
    case LogicalMaximum:
        // Unsigned unless the range is signed, so 0..0xFF means 0..255.
        g.logicalMaximum = g.logicalMinimum < 0 ? item.signedData() : static_cast<std::int32_t>(item.data);
        return true;
    case PhysicalMinimum:
        g.physicalMinimum = item.signedData();
        return true;
    case PhysicalMaximum:
        g.physicalMaximum = g.physicalMinimum < 0 ? item.signedData() : static_cast<std::int32_t>(item.data);
        return true;
    case UnitExponent:
        g.unitExponent = (item.data & 0xFFFFFFF0u) ? item.signedData() : signedNibble(item.data);
        return true;
    case Unit:
        g.unit = item.data;
        return true;
    case ReportSize:
        if (item.data > m_limits.maxReportSize)
            return fail(QStringLiteral("invalid Report Size %1").arg(item.data));
        g.reportSize = item.data;
        return true;
    case ReportId:
        if (item.data == 0 || item.data > MaxReportId)
            return fail(QStringLiteral("invalid Report ID %1").arg(item.data));
        g.reportId = item.data;
        return true;
    case ReportCount:
        if (item.data > m_limits.maxReportCount)
            return fail(QStringLiteral("invalid Report Count %1").arg(item.data));
        g.reportCount = item.data;
        return true;
    case Push:
        if (m_globalStack.size() >= m_limits.globalStackDepth)
            return fail(QStringLiteral("global stack overflow"));
        m_globalStack.push_back(g);
        return true;
    case Pop:
        if (m_globalStack.empty())
            return fail(QStringLiteral("global stack underflow"));
        g = m_globalStack.back();
        m_globalStack.pop_back();
        return true;
    default:
        return fail(QStringLiteral("unknown global tag 0x%1").arg(item.tag, 0, 16));
    }
}

bool ReportDescriptorParser::localItem(const Item &item)
{
    LocalState &l = m_local;
    switch (item.tag) {
    case Delimiter:
        if (item.data) {
            if (l.delimiterDepth != 0)
                return fail(QStringLiteral("nested delimiters"));
            ++l.delimiterDepth;
            ++l.delimiterBranch;
        } else {
            if (l.delimiterDepth < 1)
                return fail(QStringLiteral("close delimiter without open"));
            --l.delimiterDepth;
        }
        return true;
    case Usage:
        if (l.delimiterBranch > 1)
            return true; // alternative usages of a delimiter set: the first one serves
        return addUsage(item.data, item.size);
    case UsageMinimum:
        if (l.delimiterBranch > 1)
            return true;
        l.usageMinimum = item.data;
        return true;
    case UsageMaximum: {
        if (l.delimiterBranch > 1)
            return true;
        if (item.data < l.usageMinimum)
            return true; // empty range
        const std::uint32_t room = m_limits.maxUsages - static_cast<std::uint32_t>(l.usages.size());
        if (room == 0)
            return fail(QStringLiteral("more than %1 usages").arg(m_limits.maxUsages));
        // A range larger than what is left is cut short rather than refused,
        // as hosts commonly do with overlong button ranges.
        const std::uint64_t wanted = std::uint64_t(item.data) - l.usageMinimum + 1;
        const std::uint64_t count = std::min<std::uint64_t>(wanted, room);
        for (std::uint64_t n = 0; n < count; ++n)
            if (!addUsage(static_cast<std::uint32_t>(l.usageMinimum + n), item.size))
                return false;
        return true;
    }
    case StringIndex:
        l.stringIndex = item.data;
        return true;
    default:
        return true; // designators, string ranges and unknown locals carry nothing we use
    }
}

bool ReportDescriptorParser::addUsage(std::uint32_t usage, std::uint8_t size)
{
    if (m_local.usages.size() >= m_limits.maxUsages)
        return fail(QStringLiteral("more than %1 usages").arg(m_limits.maxUsages));
    // Short usages belong to the current page; four-byte ones carry their own.
    if (size <= 2)
        usage = (usage & 0xFFFF) | (m_global.usagePage << 16);
    m_local.usages.push_back(usage);
    m_local.usageSizes.push_back(size);
    return true;
}

// A Usage Page given after the short usages but before their main item applies
// to them: re-complete the trailing short usages up to the first one that
// already has the last page.
void ReportDescriptorParser::completeUsagesWithLastPage()
{
    const std::uint32_t page = m_global.usagePage & 0xFFFF;
    for (std::size_t i = m_local.usages.size(); i-- > 0;) {
        if (m_local.usageSizes[i] > 2)
            continue;
        if ((m_local.usages[i] >> 16) == page)
            break;
        m_local.usages[i] = (m_local.usages[i] & 0xFFFF) | (page << 16);
    }
}

bool ReportDescriptorParser::addField(HidReportType type, std::uint32_t flags)
{
    const GlobalState &g = m_global;

    // Same test as the usual hosts: compare unsigned when the minimum is not negative.
    const bool invalidRange = g.logicalMinimum < 0 ? g.logicalMaximum < g.logicalMinimum
                                                   : static_cast<std::uint32_t>(g.logicalMaximum) <
                                                         static_cast<std::uint32_t>(g.logicalMinimum);
    if (invalidRange)
        return fail(
            QStringLiteral("invalid logical range %1..%2").arg(g.logicalMinimum).arg(g.logicalMaximum));

    if (g.reportId != 0)
        m_layout.usesReportIds = true;
    const auto id = static_cast<std::uint8_t>(g.reportId);
    auto it = std::find_if(m_layout.reports.begin(), m_layout.reports.end(),
                           [&](const HidReportInfo &r) { return r.type == type && r.id == id; });
    if (it == m_layout.reports.end()) {
        m_layout.reports.push_back(HidReportInfo{type, id, 0});
        it = m_layout.reports.end() - 1;
    }

    const std::uint32_t offset = it->sizeInBits;
    const std::uint64_t bits = std::uint64_t(g.reportSize) * g.reportCount;
    if (offset + bits > std::uint64_t(m_limits.maxReportBytes) * 8)
        return fail(QStringLiteral("report %1 is longer than %2 bytes").arg(id).arg(m_limits.maxReportBytes));
    it->sizeInBits = static_cast<std::uint32_t>(offset + bits);

    // No usage: padding, which only moves the offset. Zero-width values carry nothing.
    if (m_local.usages.empty() || g.reportSize == 0 || g.reportCount == 0)
        return true;

    if (m_layout.fields.size() + g.reportCount > m_limits.maxFields)
        return fail(QStringLiteral("more than %1 fields").arg(m_limits.maxFields));

    // Physical limits default to the logical ones when the descriptor gives none.
    const bool noPhysical = g.physicalMinimum == 0 && g.physicalMaximum == 0;
    const bool variable = flags & 0x002;
    for (std::uint32_t i = 0; i < g.reportCount; ++i) {
        const std::size_t u = variable ? std::min<std::size_t>(i, m_local.usages.size() - 1) : 0;
        HidField f;
        f.reportType = type;
        f.reportId = id;
        f.bitOffset = offset + i * g.reportSize;
        f.sizeInBits = g.reportSize;
        f.usagePage = static_cast<std::uint16_t>(m_local.usages[u] >> 16);
        f.usage = static_cast<std::uint16_t>(m_local.usages[u] & 0xFFFF);
        f.logicalMinimum = g.logicalMinimum;
        f.logicalMaximum = g.logicalMaximum;
        f.physicalMinimum = noPhysical ? g.logicalMinimum : g.physicalMinimum;
        f.physicalMaximum = noPhysical ? g.logicalMaximum : g.physicalMaximum;
        f.unit = g.unit;
        f.unitExponent = g.unitExponent;
        f.stringIndex = m_local.stringIndex;
        f.mainItemData = flags;
        m_layout.fields.push_back(f);
    }
    return true;
}
