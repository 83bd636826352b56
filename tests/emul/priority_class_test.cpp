// The process priority class: kept for the process, and followed by the nice value of
// every thread where the system lets the process raise it.
#include "platform/emul/kernel32.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

namespace {

int NiceOf(pid_t thread) {
  errno = 0;
  return getpriority(PRIO_PROCESS, static_cast<id_t>(thread));
}

TEST(PriorityClass, IsKeptAndRefusedForOtherProcessesOrUnknownClasses) {
  HANDLE self = GetCurrentProcess();
  ASSERT_TRUE(SetPriorityClass(self, BELOW_NORMAL_PRIORITY_CLASS));
  EXPECT_EQ(GetPriorityClass(self), static_cast<DWORD>(BELOW_NORMAL_PRIORITY_CLASS));
  EXPECT_FALSE(SetPriorityClass(self, 0x12345));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(SetPriorityClass(reinterpret_cast<HANDLE>(4), HIGH_PRIORITY_CLASS));
  EXPECT_EQ(GetPriorityClass(reinterpret_cast<HANDLE>(4)), 0u);
  EXPECT_EQ(GetPriorityClass(self), static_cast<DWORD>(BELOW_NORMAL_PRIORITY_CLASS));
  ASSERT_TRUE(SetPriorityClass(self, NORMAL_PRIORITY_CLASS));
}

TEST(PriorityClass, HighRaisesEveryThreadWhereAllowedAndNormalPutsItBack) {
  HANDLE self = GetCurrentProcess();
  ASSERT_TRUE(SetPriorityClass(self, NORMAL_PRIORITY_CLASS));
  std::atomic<pid_t> otherId{0};
  std::atomic<bool> done{false};
  std::thread other([&] {
    otherId = static_cast<pid_t>(syscall(SYS_gettid));
    while (!done)
      std::this_thread::yield();
  });
  while (otherId == 0)
    std::this_thread::yield();
  const pid_t me = static_cast<pid_t>(syscall(SYS_gettid));
  const int start = NiceOf(me);

  // Never fails, whatever the system allows.
  EXPECT_TRUE(SetPriorityClass(self, HIGH_PRIORITY_CLASS));
  EXPECT_EQ(GetPriorityClass(self), static_cast<DWORD>(HIGH_PRIORITY_CLASS));
  const bool raised = NiceOf(me) < start;
  if (raised)
    EXPECT_EQ(NiceOf(otherId), NiceOf(me)) << "every thread follows";
  else
    EXPECT_EQ(NiceOf(otherId), start) << "not allowed: nothing changes";

  EXPECT_TRUE(SetPriorityClass(self, NORMAL_PRIORITY_CLASS));
  EXPECT_EQ(NiceOf(me), start);
  EXPECT_EQ(NiceOf(otherId), start);
  done = true;
  other.join();
  if (!raised)
    GTEST_SKIP() << "this user may not raise the priority";
}

} // namespace
