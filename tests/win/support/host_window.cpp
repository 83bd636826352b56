#include "host_window.h"

namespace {
const char kHostClass[] = "Za32TestHost";

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(window, message, wParam, lParam);
}

ATOM RegisterHostClass() {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = HostProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.lpszClassName = kHostClass;
  static ATOM atom = RegisterClassA(&windowClass);
  return atom;
}

bool destroySeen = false;

LRESULT CALLBACK FailingCreateProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CREATE)
    return -1;
  if (message == WM_DESTROY)
    destroySeen = true;
  return DefWindowProcA(window, message, wParam, lParam);
}
} // namespace

TestHostWindow::TestHostWindow() {
  RegisterHostClass();
  window_ = CreateWindowExA(0, kHostClass, "ZA32 test host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                            640, 480, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
}

TestHostWindow::~TestHostWindow() {
  Destroy();
}

void TestHostWindow::Destroy() {
  if (window_ && IsWindow(window_))
    DestroyWindow(window_);
  window_ = nullptr;
}

LoopResult PumpMessages(DWORD ms) {
  LoopResult result;
  PumpUntil([] { return false; }, ms, &result);
  return result;
}

bool PumpUntil(const std::function<bool()>& done, DWORD ms, LoopResult* result) {
  DWORD start = GetTickCount();
  for (;;) {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        if (result) {
          result->quit = true;
          result->exitCode = message.wParam;
        }
        return done();
      }
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
    if (done())
      return true;
    DWORD elapsed = GetTickCount() - start;
    if (elapsed >= ms)
      return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, ms - elapsed < 20 ? ms - elapsed : 20,
                              QS_ALLINPUT);
  }
}

bool DestroyFollowsFailedCreate() {
  static int answer = -1;
  if (answer < 0) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = FailingCreateProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "Za32CreateFailsProbe";
    RegisterClassA(&windowClass);
    destroySeen = false;
    HWND window = CreateWindowExA(0, windowClass.lpszClassName, "", WS_OVERLAPPEDWINDOW, 0, 0, 10,
                                  10, nullptr, nullptr, windowClass.hInstance, nullptr);
    if (window)
      DestroyWindow(window);
    UnregisterClassA(windowClass.lpszClassName, windowClass.hInstance);
    answer = destroySeen ? 1 : 0;
  }
  return answer == 1;
}
