// Threads, errors, time and the process priority class.
#include "kernel32.h"
#include "mmsystem.h"

#include "control.h"

#include <atomic>
#include <chrono>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

namespace {

thread_local DWORD lastError = 0;
DWORD priorityClass = NORMAL_PRIORITY_CLASS;
const auto clockStart = std::chrono::steady_clock::now();

DWORD MillisecondsSinceStart() {
  using namespace std::chrono;
  return static_cast<DWORD>(duration_cast<milliseconds>(steady_clock::now() - clockStart).count());
}

// A stepped timer moves by the step at every reading instead of following the clock.
std::atomic<DWORD> timerStep{0};
std::atomic<DWORD> steppedTime{0};

DWORD TimerMilliseconds() {
  const DWORD step = timerStep.load();
  if (step == 0)
    return MillisecondsSinceStart();
  return steppedTime.fetch_add(step) + step;
}

} // namespace

extern "C" DWORD WINAPI GetLastError(void) {
  return lastError;
}
extern "C" void WINAPI SetLastError(DWORD code) {
  lastError = code;
}

extern "C" DWORD WINAPI GetCurrentThreadId(void) {
  return static_cast<DWORD>(syscall(SYS_gettid));
}

extern "C" void WINAPI Sleep(DWORD milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

extern "C" DWORD WINAPI GetTickCount(void) {
  return TimerMilliseconds();
}
extern "C" DWORD WINAPI timeGetTime(void) {
  return TimerMilliseconds();
}

void emul::SetTimerStep(DWORD milliseconds) {
  // The stepped timer goes on from where the real one stands.
  if (milliseconds != 0 && timerStep.load() == 0)
    steppedTime = MillisecondsSinceStart();
  timerStep = milliseconds;
}

// The pseudo-handle of the current process, as Windows gives it.
extern "C" HANDLE WINAPI GetCurrentProcess(void) {
  return reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1));
}

extern "C" DWORD WINAPI GetPriorityClass(HANDLE process) {
  if (process != GetCurrentProcess()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  return priorityClass;
}

// The class is kept for the process; the real scheduling priority is left alone, as
// raising it needs privileges a user may not have.
extern "C" BOOL WINAPI SetPriorityClass(HANDLE process, DWORD newClass) {
  if (process != GetCurrentProcess()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  switch (newClass) {
  case IDLE_PRIORITY_CLASS:
  case BELOW_NORMAL_PRIORITY_CLASS:
  case NORMAL_PRIORITY_CLASS:
  case ABOVE_NORMAL_PRIORITY_CLASS:
  case HIGH_PRIORITY_CLASS:
  case REALTIME_PRIORITY_CLASS:
    priorityClass = newClass;
    return TRUE;
  default:
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
}
