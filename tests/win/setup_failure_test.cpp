// Set-up failures on the real window system: the engine reports the failure, its
// window is not created, the failed window's WM_DESTROY closes the device (class
// unregistered, quit message posted), and a later AudioInit tries again.
#include "support/engine_test.h"

#include <cstring>

namespace {
bool ClassRegistered(HINSTANCE instance) {
  WNDCLASSA windowClass;
  return GetClassInfoA(instance, "ZA32", &windowClass) != 0;
}
} // namespace

class SetupFailure : public ::testing::Test {
protected:
  // Windows sends WM_DESTROY to a window whose WM_CREATE returned -1, and the engine
  // relies on it; where the window system leaves it out, the host delivers it.
  void SetUp() override {
    ZA32_REQUIRE_EXPORTS("AudioInit", "AudioTerm", "AudioDLLWndProc");
    boxes.CompleteFailedCreations();
  }

  // The state after a failed set-up, once the failed window's WM_DESTROY has run.
  void ExpectClosedAfterFailure(HWND result) {
    EXPECT_EQ(result, nullptr);
    ASSERT_EQ(boxes.engineWindowsCreated().size(), 1u);
    EXPECT_FALSE(IsWindow(boxes.engineWindowsCreated().back()));
    if (Engine().SoundDevice) {
      EXPECT_EQ(*Engine().EngineWindow, nullptr);
      EXPECT_EQ(*Engine().SoundDevice, nullptr);
      EXPECT_EQ(Engine().SampleList->Buffer, nullptr);
      EXPECT_EQ(Engine().SampleList->Format, nullptr);
    }
    LoopResult loop = PumpMessages();
    EXPECT_TRUE(loop.quit) << "no quit message after the failed set-up";
    EXPECT_EQ(loop.exitCode, 0u);
  }

  MessageBoxWatcher boxes;
  TestHostWindow host;
  HINSTANCE instance = GetModuleHandleA(nullptr);
};

// COM already initialised for the multithreaded apartment on this thread makes the
// engine's CoInitialize fail.
TEST_F(SetupFailure, ComLibraryThatCannotStartFailsAudioInit) {
  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
  HWND result = Za32().AudioInit(instance, host.hwnd());
  ASSERT_EQ(boxes.boxes().size(), 1u) << boxes.boxes();
  const MessageBoxSeen& box = boxes.boxes()[0];
  EXPECT_EQ(box.text, "Failed to initialize COM library.\nPlease Restart Zandoria.");
  EXPECT_EQ(box.caption, "ZA32");
  EXPECT_EQ(box.icon, BoxIcon::Error);
  ASSERT_FALSE(boxes.engineWindowsCreated().empty());
  EXPECT_EQ(box.owner, boxes.engineWindowsCreated()[0]);
  EXPECT_NE(GetFocus(), boxes.engineWindowsCreated()[0]);
  ExpectClosedAfterFailure(result);

  // With COM usable again, the next AudioInit creates the window anew. (The window
  // system keeps a class registered while a window of it exists, so the class that the
  // failed window's WM_DESTROY tried to unregister may still be there.)
  CoUninitialize();
  boxes.clear();
  HWND engine = Za32().AudioInit(instance, host.hwnd());
  ASSERT_NE(engine, nullptr) << boxes.boxes();
  EXPECT_EQ(boxes.engineWindowsCreated().size(), 2u);
  EXPECT_TRUE(ClassRegistered(instance));
  EXPECT_EQ(GetAncestor(engine, GA_PARENT), host.hwnd());
  EXPECT_TRUE(boxes.boxes().empty()) << boxes.boxes();
  EXPECT_EQ(Za32().AudioTerm(0), 0);
}

// Without a sound driver (the test runs with Wine's audio endpoint library switched
// off) the DirectSound object exists but cannot be initialised; it is released again.
TEST_F(SetupFailure, NoSoundDriver) {
  char overrides[256] = "";
  GetEnvironmentVariableA("WINEDLLOVERRIDES", overrides, sizeof overrides);
  if (!strstr(overrides, "mmdevapi"))
    GTEST_SKIP() << "needs WINEDLLOVERRIDES=mmdevapi=d";
  HWND result = Za32().AudioInit(instance, host.hwnd());
  ASSERT_EQ(boxes.boxes().size(), 1u) << boxes.boxes();
  const MessageBoxSeen& box = boxes.boxes()[0];
  EXPECT_EQ(box.text, "Cannot Initialize DirectSound");
  EXPECT_EQ(box.caption, "ZA32");
  EXPECT_EQ(box.icon, BoxIcon::Error);
  ASSERT_FALSE(boxes.engineWindowsCreated().empty());
  EXPECT_EQ(box.owner, boxes.engineWindowsCreated()[0]);
  ExpectClosedAfterFailure(result);
}
