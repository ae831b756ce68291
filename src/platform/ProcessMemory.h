#pragma once

// How the process hands memory back to the system.
namespace ProcessMemory {

// Large blocks (128 KiB and more) are mapped on their own and returned to
// the system as soon as they are freed. By default the C library raises
// that limit to the largest block freed so far and keeps freed blocks below
// it in the heap: the connection status box, one line that only grows, is
// laid out again on every plug, each time in larger temporary buffers, and
// after a few thousand replugs the process kept megabytes it no longer used.
void returnLargeBlocksOnFree();

} // namespace ProcessMemory
