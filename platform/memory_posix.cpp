#include "platform/memory.h"

#include <malloc.h>

namespace platform {

namespace {

// Blocks below this size come from the heap rather than from a mapping of
// their own, and this much free memory at the heap's top is kept. The
// allocator's own defaults (128 KiB, raised as big blocks are freed) let
// each page of a folder of 10,000 entries map and fault in its memory anew.
constexpr int kKeptBytes = 32 * 1024 * 1024;

}  // namespace

void Memory_KeepFreedBlocks() {
  ::mallopt(M_MMAP_THRESHOLD, kKeptBytes);
  ::mallopt(M_TRIM_THRESHOLD, kKeptBytes);
}

}  // namespace platform
