#include "DebugIdCounter.h"

#include "modErrorHandling.h"

#include <limits>

std::int32_t DebugIdCounter::next()
{
    if (m_last == std::numeric_limits<std::int32_t>::max())
        throw ErrorRecord(modErrorHandling::OverflowError, QStringLiteral("modClassIDGenerator"),
                          QStringLiteral("Overflow"));
    return ++m_last;
}
