#include "ProcessMemory.h"

#include <malloc.h>

namespace ProcessMemory {

void returnLargeBlocksOnFree()
{
    // Setting the threshold at all turns its growth off; the value is the
    // C library's own starting value.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
}

} // namespace ProcessMemory
