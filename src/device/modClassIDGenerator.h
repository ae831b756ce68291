#pragma once

#include <cstdint>

// Debug identity numbers for the device model's objects. One counter for
// the whole process, starting at 0 and never reset, so the n-th object
// created in a run shows n as its ClassDebugID.
namespace modClassIDGenerator {

// The next identity: 1 for the first call of a run. Fails with an overflow
// (code 6, "Overflow") once 2147483647 has been handed out.
std::int32_t NextID();

} // namespace modClassIDGenerator
