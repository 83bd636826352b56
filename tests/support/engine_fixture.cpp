#include "engine_fixture.h"

#include "engine/device.h"
#include "engine/za32.h"
#include "engine_reset.h"

namespace {

constexpr const char* HostClassName = "ZA32TestHost";

} // namespace

void EngineTest::SetUp() {
  ResetEngineState();
  emul::ClearFaults();
  dsemu::ClearFaults();
  dsemu::ResetCallCounts();
  dsemu::SelectOutput(dsemu::Output::Manual);
  DiscardMessages();
  globalBlocksAtStart = emul::LiveGlobalBlocks();
}

void EngineTest::TearDown() {
  ShutDownEngine();
  ExpectNothingLeft();
  EXPECT_EQ(emul::LiveWindows(), 0u) << "windows left";
  emul::ClearFaults();
  dsemu::ClearFaults();
  ResetEngineState();
}

HWND EngineTest::CreateHostWindow() {
  WNDCLASSA wc{};
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = TestInstance;
  wc.lpszClassName = HostClassName;
  RegisterClassA(&wc); // already there after the first host
  HWND window = CreateWindowExA(0, HostClassName, "Host", WS_OVERLAPPEDWINDOW, 0, 0, 640, 480,
                                nullptr, nullptr, TestInstance, nullptr);
  EXPECT_NE(window, nullptr);
  hostWindows_.push_back(window);
  return window;
}

HWND EngineTest::StartEngine() {
  host = CreateHostWindow();
  return AudioInit(TestInstance, host);
}

bool EngineTest::QuitPosted(int* exitCode) {
  MSG msg;
  if (!PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE))
    return false;
  if (exitCode)
    *exitCode = static_cast<int>(msg.wParam);
  return true;
}

void EngineTest::DiscardMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
  }
}

void EngineTest::ShutDownEngine() {
  FreeSamplesAndVoices();
  // Destroying a host destroys the engine window with it, which closes the device.
  for (HWND window : hostWindows_)
    if (IsWindow(window))
      DestroyWindow(window);
  hostWindows_.clear();
  host = nullptr;
  if (EngineWindow && IsWindow(EngineWindow))
    DestroyWindow(EngineWindow);
  CloseDevice();
  UnregisterClassA(EngineName, TestInstance);
  UnregisterClassA(HostClassName, TestInstance);
  DiscardMessages();
  ResetEngineState();
}

void EngineTest::ExpectNothingLeft() {
  EXPECT_EQ(dsemu::LiveBufferCount(), 0u) << "sound buffers left";
  EXPECT_EQ(dsemu::LiveDeviceCount(), 0u) << "device objects left";
  EXPECT_EQ(emul::LiveGlobalBlocks(), globalBlocksAtStart) << "global memory blocks left";
}
