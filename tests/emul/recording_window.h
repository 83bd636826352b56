// A window class for the emulation's tests whose procedure logs every message and can
// be told how to answer creation.
#pragma once

#include "platform/emul/control.h"
#include "platform/emul/kernel32.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

struct LoggedMessage {
  HWND window;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  bool operator==(const LoggedMessage&) const = default;
};

class RecordingWindowTest : public ::testing::Test {
protected:
  static constexpr const char* ClassName = "EmulTestWindow";
  static inline const HINSTANCE TestInstance = reinterpret_cast<HINSTANCE>(0x400000);

  void SetUp() override;
  void TearDown() override;

  // A window of the recording class; parent may be null.
  HWND Create(HWND parent = nullptr, DWORD style = 0);
  // The logged messages of one kind, in order.
  std::vector<HWND> WindowsThatGot(UINT message) const;

  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  static inline std::vector<LoggedMessage> log;
  static inline LRESULT createResult = 0;   // what WM_CREATE answers
  static inline LRESULT ncCreateResult = 1; // what WM_NCCREATE answers
  static inline CREATESTRUCTA seenCreate{};
  // Runs inside the procedure after the message was logged.
  static inline std::function<void(HWND, UINT, WPARAM, LPARAM)> onMessage;
};

// Empties the calling thread's queue, quit flag included, without dispatching.
void DiscardQueue();
