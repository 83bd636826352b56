// The Windows global heap.
#include "platform/emul/control.h"
#include "platform/emul/kernel32.h"

#include <gtest/gtest.h>

#include <cstring>

class GlobalMemory : public ::testing::Test {
protected:
  void SetUp() override {
    emul::ClearFaults();
    before = emul::LiveGlobalBlocks();
  }
  void TearDown() override {
    emul::ClearFaults();
    EXPECT_EQ(emul::LiveGlobalBlocks(), before);
  }
  size_t before = 0;
};

TEST_F(GlobalMemory, FixedBlockIsItsOwnHandle) {
  HGLOBAL block = GlobalAlloc(GPTR, 100);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(emul::LiveGlobalBlocks(), before + 1);
  auto* bytes = static_cast<unsigned char*>(GlobalLock(block));
  EXPECT_EQ(bytes, block);
  for (int i = 0; i < 100; ++i)
    ASSERT_EQ(bytes[i], 0);
  EXPECT_EQ(GlobalHandle(bytes), block);
  EXPECT_EQ(GlobalSize(block), 100u);
  EXPECT_EQ(GlobalFree(block), nullptr);
}

TEST_F(GlobalMemory, MoveableBlockIsFoundAgainFromItsAddress) {
  HGLOBAL block = GlobalAlloc(GHND, 50);
  ASSERT_NE(block, nullptr);
  void* memory = GlobalLock(block);
  ASSERT_NE(memory, nullptr);
  EXPECT_NE(memory, block);
  EXPECT_EQ(GlobalHandle(memory), block);
  std::memset(memory, 0xAB, 50); // the whole size is usable
  EXPECT_EQ(GlobalLock(block), memory);
  EXPECT_TRUE(GlobalUnlock(block));  // still locked once
  EXPECT_FALSE(GlobalUnlock(block)); // now unlocked
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(GlobalFree(block), nullptr);
  // Freed: its handle and address are unknown, and a second free fails.
  EXPECT_EQ(GlobalHandle(memory), nullptr);
  EXPECT_EQ(GlobalLock(block), nullptr);
  EXPECT_EQ(GlobalFree(block), block);
}

TEST_F(GlobalMemory, InjectedFaultsFailAllocation) {
  emul::FailNth(emul::SystemCall::GlobalAlloc, 2);
  HGLOBAL first = GlobalAlloc(GHND, 8);
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(GlobalAlloc(GHND, 8), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
  HGLOBAL third = GlobalAlloc(GHND, 8);
  EXPECT_NE(third, nullptr);
  GlobalFree(first);
  GlobalFree(third);
  emul::FailAlways(emul::SystemCall::GlobalAlloc);
  EXPECT_EQ(GlobalAlloc(GPTR, 1), nullptr);
  EXPECT_EQ(GlobalAlloc(GPTR, 1), nullptr);
}
