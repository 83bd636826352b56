#include "recording_window.h"

void DiscardQueue() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
  }
}

void RecordingWindowTest::SetUp() {
  emul::ClearFaults();
  DiscardQueue();
  log.clear();
  createResult = 0;
  ncCreateResult = 1;
  onMessage = nullptr;
  WNDCLASSA wc{};
  wc.lpfnWndProc = Procedure;
  wc.hInstance = TestInstance;
  wc.lpszClassName = ClassName;
  ASSERT_NE(RegisterClassA(&wc), 0);
}

void RecordingWindowTest::TearDown() {
  onMessage = nullptr;
  emul::ClearFaults();
  DiscardQueue();
  EXPECT_EQ(emul::LiveWindows(), 0u) << "a test left windows behind";
  EXPECT_TRUE(UnregisterClassA(ClassName, TestInstance));
}

HWND RecordingWindowTest::Create(HWND parent, DWORD style) {
  return CreateWindowExA(0, ClassName, "test", style, 0, 0, 10, 10, parent, nullptr, TestInstance,
                         nullptr);
}

std::vector<HWND> RecordingWindowTest::WindowsThatGot(UINT message) const {
  std::vector<HWND> result;
  for (const LoggedMessage& m : log)
    if (m.message == message)
      result.push_back(m.window);
  return result;
}

LRESULT CALLBACK RecordingWindowTest::Procedure(HWND window, UINT message, WPARAM wParam,
                                                LPARAM lParam) {
  log.push_back({window, message, wParam, lParam});
  if (onMessage)
    onMessage(window, message, wParam, lParam);
  switch (message) {
  case WM_NCCREATE:
    seenCreate = *reinterpret_cast<CREATESTRUCTA*>(lParam);
    return ncCreateResult;
  case WM_CREATE:
    return createResult;
  default:
    return DefWindowProcA(window, message, wParam, lParam);
  }
}
