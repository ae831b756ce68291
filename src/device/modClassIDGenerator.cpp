#include "modClassIDGenerator.h"

#include "DebugIdCounter.h"

#include <mutex>

namespace modClassIDGenerator {

namespace {
// The program's one piece of global mutable state in the device model. The
// window makes its device objects on one thread, but the service makes each
// thermostat's on that thermostat's own: one at a time.
std::mutex counterMutex;
DebugIdCounter counter;
} // namespace

std::int32_t NextID()
{
    std::lock_guard<std::mutex> lock(counterMutex);
    return counter.next();
}

} // namespace modClassIDGenerator
