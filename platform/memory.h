#pragma once
// How the process's heap gives memory back to the system.

namespace platform {

// Keeps the memory of large blocks once freed for the next ones, up to a
// bound, instead of returning it to the system at once: an index page of a
// big folder builds megabytes of text for every answer, and memory taken
// afresh from the system costs a page fault for every 4 KiB touched.
void Memory_KeepFreedBlocks();

}  // namespace platform
