// Threads, errors, time and the process priority class.
#include "kernel32.h"
#include "mmsystem.h"

#include "control.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <dirent.h>
#include <mutex>
#include <sys/resource.h>
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

// The classes above normal lower the nice value of every thread of the process (the
// device's mixing thread among them) below the one it started with; the others keep
// the starting value, so that a class can always be left again without privileges.
// Where the system refuses (an unprivileged user), the threads keep their value.
int NiceBelowStart(DWORD priorityClassValue) {
  switch (priorityClassValue) {
  case ABOVE_NORMAL_PRIORITY_CLASS:
    return 5;
  case HIGH_PRIORITY_CLASS:
    return 10;
  case REALTIME_PRIORITY_CLASS:
    return 15;
  default:
    return 0;
  }
}

int StartingNice() {
  static const int value = [] {
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, 0);
    return errno == 0 ? nice : 0;
  }();
  return value;
}

void SetThreadsNice(int nice) {
  DIR* tasks = opendir("/proc/self/task");
  if (!tasks)
    return;
  while (const dirent* entry = readdir(tasks)) {
    const int thread = std::atoi(entry->d_name);
    if (thread > 0)
      setpriority(PRIO_PROCESS, static_cast<id_t>(thread), nice);
  }
  closedir(tasks);
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

// The class is kept for the process, and the threads' nice values follow it where the
// system allows.
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
  case REALTIME_PRIORITY_CLASS: {
    static std::mutex changing;
    std::lock_guard guard(changing);
    const int start = StartingNice();
    if (priorityClass != newClass)
      SetThreadsNice(start - NiceBelowStart(newClass));
    priorityClass = newClass;
    return TRUE;
  }
  default:
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
}
