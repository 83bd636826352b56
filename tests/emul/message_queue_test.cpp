// The per-thread posted-message queue.
#include "recording_window.h"

#include <atomic>
#include <optional>
#include <thread>

using MessageQueue = RecordingWindowTest;

TEST_F(MessageQueue, PostedMessagesArriveInOrderAndAreDispatchedToTheirWindow) {
  HWND window = Create();
  log.clear();
  ASSERT_TRUE(PostMessageA(window, WM_USER + 1, 10, 0x7FFF0001));
  ASSERT_TRUE(PostMessageA(window, WM_USER + 2, 20, -1));
  EXPECT_TRUE(log.empty()); // nothing runs until the message is taken
  MSG msg;
  ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), TRUE);
  EXPECT_EQ(msg.hwnd, window);
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 1));
  EXPECT_FALSE(TranslateMessage(&msg));
  DispatchMessageA(&msg);
  ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), TRUE);
  DispatchMessageA(&msg);
  EXPECT_EQ(log, (std::vector<LoggedMessage>{{window, WM_USER + 1, 10, 0x7FFF0001},
                                             {window, WM_USER + 2, 20, -1}}));
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_TRUE(DestroyWindow(window));
}

TEST_F(MessageQueue, QuitIsSeenOnlyAfterEveryOtherMessageAndOnlyOnce) {
  HWND window = Create();
  PostQuitMessage(3);
  PostMessageA(window, WM_USER, 0, 0);
  MSG msg;
  ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), TRUE);
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER));
  // Peeking without removal leaves the quit in place.
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), FALSE);
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(msg.wParam, 3u);
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_TRUE(DestroyWindow(window));
}

TEST_F(MessageQueue, FiltersSelectByWindowAndRange) {
  HWND parent = Create();
  HWND child = Create(parent, WS_CHILD);
  HWND other = Create();
  PostMessageA(other, WM_USER + 1, 0, 0);
  PostMessageA(child, WM_USER + 2, 0, 0);
  PostMessageA(nullptr, WM_USER + 3, 0, 0); // a message of the thread itself
  MSG msg;
  // A window filter takes its children's messages too.
  ASSERT_TRUE(PeekMessageA(&msg, parent, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.hwnd, child);
  ASSERT_TRUE(PeekMessageA(&msg, reinterpret_cast<HWND>(-1), 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.hwnd, nullptr);
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 3));
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_USER + 2, WM_USER + 3, PM_REMOVE));
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_USER, WM_USER + 1, PM_REMOVE));
  EXPECT_EQ(msg.hwnd, other);
  // A bad window filter is an error.
  EXPECT_FALSE(PeekMessageA(&msg, reinterpret_cast<HWND>(0x99), 0, 0, PM_REMOVE));
  EXPECT_EQ(GetMessageA(&msg, reinterpret_cast<HWND>(0x99), 0, 0), -1);
  EXPECT_TRUE(DestroyWindow(parent));
  EXPECT_TRUE(DestroyWindow(other));
}

TEST_F(MessageQueue, PostingToNoWindowFailsAndADestroyedWindowsMessagesAreDropped) {
  EXPECT_FALSE(PostMessageA(reinterpret_cast<HWND>(0x99), WM_USER, 0, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
  HWND window = Create();
  HWND keeper = Create();
  PostMessageA(window, WM_USER, 0, 0);
  PostMessageA(keeper, WM_USER + 1, 0, 0);
  EXPECT_TRUE(DestroyWindow(window));
  EXPECT_FALSE(PostMessageA(window, WM_USER, 0, 0));
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.hwnd, keeper);
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_TRUE(DestroyWindow(keeper));
  EXPECT_EQ(DispatchMessageA(&msg), 0); // its window is gone
}

TEST_F(MessageQueue, PumpDispatchesEverythingButLeavesTheQuit) {
  HWND window = Create();
  // A message posted while pumping is pumped as well.
  onMessage = [&](HWND w, UINT message, WPARAM, LPARAM) {
    if (message == WM_USER)
      PostMessageA(w, WM_USER + 1, 0, 0);
  };
  PostMessageA(window, WM_USER, 0, 0);
  PostQuitMessage(0);
  log.clear();
  EXPECT_EQ(emul::PumpMessages(), 2u);
  EXPECT_EQ(WindowsThatGot(WM_USER + 1), std::vector<HWND>{window});
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(emul::PumpMessages(), 0u);
  EXPECT_TRUE(DestroyWindow(window));
}

TEST_F(MessageQueue, AnotherThreadsPostReachesTheWindowsThreadAndWakesIt) {
  HWND window = Create();
  log.clear();
  std::thread poster([window] {
    // Gives the owner time to block in GetMessageA; correctness does not depend on it.
    Sleep(20);
    PostMessageA(window, WM_USER + 5, 1, 2);
    PostMessageA(window, WM_USER + 6, 3, 4);
  });
  MSG msg;
  ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), TRUE);
  DispatchMessageA(&msg);
  ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), TRUE);
  DispatchMessageA(&msg);
  poster.join();
  EXPECT_EQ(log,
            (std::vector<LoggedMessage>{{window, WM_USER + 5, 1, 2}, {window, WM_USER + 6, 3, 4}}));
  EXPECT_TRUE(DestroyWindow(window));
}

TEST_F(MessageQueue, EachThreadHasItsOwnQueueAndQuit) {
  HWND window = Create();
  std::atomic<bool> otherSawQuit{false};
  std::atomic<bool> otherSawOurMessage{false};
  PostMessageA(window, WM_USER, 0, 0);
  std::thread other([&] {
    PostQuitMessage(9);
    MSG msg;
    otherSawQuit = GetMessageA(&msg, nullptr, 0, 0) == FALSE && msg.wParam == 9;
    otherSawOurMessage = PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);
    // Nor may it destroy or dispatch to our window.
    EXPECT_FALSE(DestroyWindow(window));
    MSG ours{window, WM_USER + 9, 0, 0, 0, {0, 0}};
    EXPECT_EQ(DispatchMessageA(&ours), 0);
  });
  other.join();
  EXPECT_TRUE(otherSawQuit);
  EXPECT_FALSE(otherSawOurMessage);
  EXPECT_TRUE(WindowsThatGot(WM_USER + 9).empty());
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER));
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)); // no quit here
  EXPECT_TRUE(DestroyWindow(window));
}

TEST_F(MessageQueue, AMessagesDueFrameIsKnownOnlyWhileItsProcedureRuns) {
  HWND window = Create();
  std::vector<std::pair<UINT, std::optional<uint64_t>>> seen;
  onMessage = [&](HWND, UINT message, WPARAM, LPARAM) {
    uint64_t frame = 0;
    seen.emplace_back(message,
                      emul::DispatchingDueFrame(&frame) ? std::optional(frame) : std::nullopt);
  };
  ASSERT_TRUE(emul::PostMessageAtFrame(window, WM_USER + 1, 0, 0, 123456789012ull));
  ASSERT_TRUE(PostMessageA(window, WM_USER + 2, 0, 0));
  ASSERT_TRUE(emul::PostMessageAtFrame(window, WM_USER + 3, 0, 0, 7));
  emul::PumpMessages();
  onMessage = nullptr;
  uint64_t outside = 0;
  EXPECT_FALSE(emul::DispatchingDueFrame(&outside));
  EXPECT_EQ(seen,
            (std::vector<std::pair<UINT, std::optional<uint64_t>>>{
                {WM_USER + 1, 123456789012ull}, {WM_USER + 2, std::nullopt}, {WM_USER + 3, 7}}));
  EXPECT_TRUE(DestroyWindow(window));
}
