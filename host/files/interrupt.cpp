#include "host/files/interrupt.h"

#include <climits>
#include <csignal>
#include <cstring>

#include <unistd.h>

namespace {

volatile std::sig_atomic_t interrupted = 0;

// Only what a signal handler may touch: fixed buffers and a flag a slot.
constexpr int kSlots = 8;
char temporaryPaths[kSlots][PATH_MAX];
volatile std::sig_atomic_t slotUsed[kSlots];

void OnSignal(int) {
  if (!interrupted) {
    interrupted = 1;
    return;
  }
  for (int i = 0; i < kSlots; ++i)
    if (slotUsed[i])
      unlink(temporaryPaths[i]);
  _exit(kInterruptedStatus);
}

} // namespace

void CatchInterrupts() {
  struct sigaction action {};
  action.sa_handler = OnSignal;
  action.sa_flags = SA_RESTART; // a write in progress goes on; the loops see the flag
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

bool Interrupted() {
  return interrupted != 0;
}

void RegisterTemporaryFile(const char* path) {
  if (std::strlen(path) >= PATH_MAX)
    return;
  for (int i = 0; i < kSlots; ++i)
    if (!slotUsed[i]) {
      std::strcpy(temporaryPaths[i], path);
      slotUsed[i] = 1;
      return;
    }
}

void UnregisterTemporaryFile(const char* path) {
  for (int i = 0; i < kSlots; ++i)
    if (slotUsed[i] && std::strcmp(temporaryPaths[i], path) == 0) {
      slotUsed[i] = 0;
      return;
    }
}
