// The test host's side of the engine: a main window as a host application has one,
// and the thread's message loop that dispatches what the host posts to the engine.
#pragma once

#include "engine/state.h"

#include <functional>

class TestHostWindow {
public:
  TestHostWindow();
  ~TestHostWindow();
  TestHostWindow(const TestHostWindow&) = delete;
  TestHostWindow& operator=(const TestHostWindow&) = delete;

  HWND hwnd() const { return window_; }
  // Destroys the window (and with it its children) now.
  void Destroy();

private:
  HWND window_ = nullptr;
};

struct LoopResult {
  bool quit = false;   // a WM_QUIT was taken from the queue
  WPARAM exitCode = 0; // its exit code
};

// Dispatches the thread's messages until the queue stays empty (for at most `ms`
// milliseconds in all). A WM_QUIT ends the loop and is reported.
LoopResult PumpMessages(DWORD ms = 200);

// Dispatches messages until `done` holds or `ms` milliseconds have passed.
bool PumpUntil(const std::function<bool()>& done, DWORD ms, LoopResult* result = nullptr);

// Whether this window system sends WM_DESTROY to a window whose WM_CREATE returned -1
// (Windows does; some versions of Wine do not).
bool DestroyFollowsFailedCreate();
