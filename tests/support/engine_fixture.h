// A test of the engine over the emulated platform. Every test starts with the records
// as they are when the module is loaded, no system or device faults, message boxes
// recorded instead of printed, the manual device clock and an empty message queue.
// At the end the fixture frees what the engine keeps until the process ends (voices,
// samples, the device and the windows) and checks that nothing else was left behind.
#pragma once

#include "engine/state.h"
#include "instance/engine_teardown.h"
#include "platform/emul/dsound/device_control.h"
#include "tests/support/message_boxes.h"

#include <gtest/gtest.h>

#include <vector>

class EngineTest : public ::testing::Test {
protected:
  static inline const HINSTANCE TestInstance = reinterpret_cast<HINSTANCE>(0x10000000);

  void SetUp() override;
  void TearDown() override;

  // A new top-level window standing for the host's main window; it answers every
  // message with the default processing. Destroyed at the end of the test.
  HWND CreateHostWindow();
  // AudioInit with TestInstance and a new host window (kept in `host`); the engine
  // window, or null when the set-up failed.
  HWND StartEngine();

  // Whether PostQuitMessage ran on this thread and its WM_QUIT still waits.
  bool QuitPosted(int* exitCode = nullptr);
  // Empties this thread's queue, WM_QUIT included, without dispatching.
  static void DiscardMessages();

  // Closes what the engine left open: samples and voices, the engine window and every
  // window this fixture made, the device, and the engine's window class; then puts
  // the records back as they are at load, so that a test may start the engine again.
  void ShutDownEngine();

  // No sound buffer or device object is alive, and there are no more global blocks than
  // when the test began. TearDown also checks that no window is left.
  void ExpectNothingLeft();

  MessageBoxRecorder boxes;
  HWND host = nullptr;
  size_t globalBlocksAtStart = 0;

private:
  std::vector<HWND> hostWindows_;
};
