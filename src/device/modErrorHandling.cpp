#include "modErrorHandling.h"

#include <limits>

namespace modErrorHandling {

QString MessageText(std::int32_t number)
{
    // No program-defined number has a text of its own: the device model only
    // raises TrappedFailure, and its callers go by the source text.
    Q_UNUSED(number);
    return QStringLiteral("An unknown error has occurred!");
}

std::int32_t ProgramErrorCode(std::int32_t number)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(number) + ProgramErrorBase);
}

void Raise(std::int32_t number, const QString &source)
{
    throw ErrorRecord(ProgramErrorCode(number), source, MessageText(number));
}

std::int16_t ToInteger(std::int32_t value, const QString &source)
{
    if (value < std::numeric_limits<std::int16_t>::min() || value > std::numeric_limits<std::int16_t>::max())
        throw ErrorRecord(OverflowError, source, QStringLiteral("Overflow"));
    return static_cast<std::int16_t>(value);
}

void RaiseObjectNotSet(const QString &source)
{
    throw ErrorRecord(ObjectNotSetError, source, QStringLiteral("Object variable not set"));
}

} // namespace modErrorHandling
