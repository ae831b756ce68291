#include "modClassIDGenerator.h"

#include "DebugIdCounter.h"

namespace modClassIDGenerator {

namespace {
// The program's one piece of global mutable state in the device model; all
// access is from the user-interface thread.
DebugIdCounter counter;
} // namespace

std::int32_t NextID()
{
    return counter.next();
}

} // namespace modClassIDGenerator
