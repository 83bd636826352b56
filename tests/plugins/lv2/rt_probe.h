// Counts what a thread does that a real-time thread must not: allocations (malloc and
// its family, which operator new uses), files opened, and waits for a mutex another
// thread holds (each lock is tried first: a lock taken at once costs what an atomic
// operation costs, one held elsewhere makes the thread wait). The test
// program's own definitions of those functions come first in symbol lookup, so they also
// see what the plugin and the engine copies it loads do. Sanitizer builds replace the
// same functions: there the probe is off.
#pragma once

#include <cstdint>

struct RtCounts {
  uint64_t allocations = 0;
  uint64_t opens = 0;
  uint64_t locks = 0; // of any mutex
  uint64_t waits = 0; // for one another thread held
};

// False where the probe cannot count (sanitizer builds).
bool RtProbeAvailable();
// Counting on the calling thread between Begin and End.
void RtProbeBegin();
RtCounts RtProbeEnd();
// Not counting while the caller runs its own code inside a counted stretch (a host's
// callback): Pause returns whether it was counting, for Resume.
bool RtProbePause();
void RtProbeResume(bool wasCounting);
