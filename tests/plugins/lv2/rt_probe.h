// Counts what a thread does that a real-time thread must not: allocations (malloc and
// its family, which operator new uses), files opened and blocking mutex locks. The test
// program's own definitions of those functions come first in symbol lookup, so they also
// see what the plugin and the engine copies it loads do. Sanitizer builds replace the
// same functions: there the probe is off.
#pragma once

#include <cstdint>

struct RtCounts {
  uint64_t allocations = 0;
  uint64_t opens = 0;
  uint64_t locks = 0;
};

// False where the probe cannot count (sanitizer builds).
bool RtProbeAvailable();
// Counting on the calling thread between Begin and End.
void RtProbeBegin();
RtCounts RtProbeEnd();
