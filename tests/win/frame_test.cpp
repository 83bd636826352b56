// The engine frame on the real window system and DirectSound: AudioInit, the hidden
// engine window, its message dispatch, AudioTerm and the end of the host window.
#include "support/engine_test.h"

using Frame = EngineTest;

namespace {
std::string ClassName(HWND window) {
  char name[64] = "";
  GetClassNameA(window, name, sizeof name);
  return name;
}
} // namespace

TEST_F(Frame, AudioInitMakesAHiddenChildOfTheHostWindow) {
  EXPECT_EQ(ClassName(engine), "ZA32");
  char title[16] = "";
  GetWindowTextA(engine, title, sizeof title);
  EXPECT_STREQ(title, "ZA32");

  EXPECT_EQ(GetClassLongA(engine, GCL_STYLE), 0x0203u);
  EXPECT_EQ(GetClassLongA(engine, GCL_HBRBACKGROUND), COLOR_MENU + 1);
  EXPECT_EQ(GetClassLongA(engine, GCL_WNDPROC),
            static_cast<DWORD>(reinterpret_cast<uintptr_t>(Za32().AudioDLLWndProc)));
  EXPECT_EQ(GetClassLongA(engine, GCL_CBCLSEXTRA), 0u);
  EXPECT_EQ(GetClassLongA(engine, GCL_CBWNDEXTRA), 0u);
  EXPECT_EQ(GetClassLongA(engine, GCL_HICON), 0u);
  EXPECT_EQ(GetClassLongA(engine, GCL_HCURSOR),
            static_cast<DWORD>(reinterpret_cast<uintptr_t>(LoadCursorA(nullptr, IDC_ARROW))));

  LONG style = GetWindowLongA(engine, GWL_STYLE);
  LONG wanted = WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX;
  EXPECT_EQ(style & wanted, wanted);
  EXPECT_EQ(style & WS_VISIBLE, 0);
  EXPECT_NE(GetWindowLongA(engine, GWL_EXSTYLE) & WS_EX_CLIENTEDGE, 0);
  EXPECT_EQ(reinterpret_cast<HINSTANCE>(GetWindowLongA(engine, GWL_HINSTANCE)), instance);
  RECT rect;
  ASSERT_TRUE(GetWindowRect(engine, &rect));
  EXPECT_EQ(rect.right - rect.left, 530);
  EXPECT_EQ(rect.bottom - rect.top, 406);

  EXPECT_EQ(GetAncestor(engine, GA_PARENT), host.hwnd());
  EXPECT_EQ(GetFocus(), host.hwnd());
  EXPECT_EQ(boxes.engineWindowsCreated().size(), 1u);

  ASSERT_NE(Engine().EngineWindow, nullptr) << "no engine state in the symbol table";
  EXPECT_EQ(*Engine().EngineWindow, engine);
  EXPECT_EQ(*Engine().HostWindow, host.hwnd());
  EXPECT_EQ(*Engine().Instance, instance);
}

// The device as DirectSound has it: a primary buffer playing, looping, in the format
// the engine asked for.
TEST_F(Frame, AudioInitOpensThePrimaryBufferAt44100HzStereo16Bit) {
  ASSERT_NE(Engine().SoundDevice, nullptr) << "no engine state in the symbol table";
  EXPECT_NE(*Engine().SoundDevice, nullptr);
  IDirectSoundBuffer* primary = Engine().SampleList->Buffer;
  ASSERT_NE(primary, nullptr);
  const WAVEFORMATEX* asked = Engine().SampleList->Format;
  ASSERT_NE(asked, nullptr);
  EXPECT_EQ(asked->wFormatTag, WAVE_FORMAT_PCM);
  EXPECT_EQ(asked->nChannels, 2);
  EXPECT_EQ(asked->nSamplesPerSec, 44100u);
  EXPECT_EQ(asked->nAvgBytesPerSec, 176400u);
  EXPECT_EQ(asked->nBlockAlign, 4);
  EXPECT_EQ(asked->wBitsPerSample, 16);
  EXPECT_EQ(asked->cbSize, 0);

  DWORD status = 0;
  ASSERT_EQ(primary->GetStatus(&status), DS_OK);
  EXPECT_NE(status & DSBSTATUS_PLAYING, 0u);
  EXPECT_NE(status & DSBSTATUS_LOOPING, 0u);
  WAVEFORMATEX actual{};
  DWORD written = 0;
  ASSERT_EQ(primary->GetFormat(&actual, sizeof actual, &written), DS_OK);
  EXPECT_EQ(actual.nSamplesPerSec, 44100u);
  EXPECT_EQ(actual.nChannels, 2);
  EXPECT_EQ(actual.wBitsPerSample, 16);
}

TEST_F(Frame, ASecondAudioInitMovesTheSameWindowToTheNewHost) {
  TestHostWindow second;
  EXPECT_EQ(Za32().AudioInit(instance, second.hwnd()), engine);
  EXPECT_EQ(GetAncestor(engine, GA_PARENT), second.hwnd());
  EXPECT_EQ(GetFocus(), second.hwnd());
  EXPECT_EQ(boxes.engineWindowsCreated().size(), 1u);
  if (Engine().HostWindow) {
    EXPECT_EQ(*Engine().HostWindow, second.hwnd());
  }
  // Back to the first host before the second one goes.
  EXPECT_EQ(Za32().AudioInit(instance, host.hwnd()), engine);
  EXPECT_EQ(GetAncestor(engine, GA_PARENT), host.hwnd());
}

TEST_F(Frame, MessagesOutsideTheTableGetDefaultProcessing) {
  EXPECT_EQ(SendMessageA(engine, 0x421, 7, 0x12345678), 0);
  EXPECT_EQ(SendMessageA(engine, 0x422, 7, 0x12345678), 0);
  // Only default processing answers with the window's title.
  EXPECT_EQ(SendMessageA(engine, WM_GETTEXTLENGTH, 0, 0), 4);
  char title[16] = "";
  EXPECT_EQ(SendMessageA(engine, WM_GETTEXT, sizeof title, reinterpret_cast<LPARAM>(title)), 4);
  EXPECT_STREQ(title, "ZA32");
  EXPECT_EQ(SendMessageA(engine, WM_PAINT, 0, 0), 0);
  EXPECT_TRUE(IsWindow(engine));
  EXPECT_FALSE(PumpMessages().quit);
}

TEST_F(Frame, AudioTermClosesTheDeviceAndKeepsTheWindow) {
  EXPECT_EQ(Za32().AudioTerm(0), 0);
  EXPECT_TRUE(IsWindow(engine));
  if (Engine().SoundDevice) {
    EXPECT_EQ(*Engine().SoundDevice, nullptr);
    EXPECT_EQ(Engine().SampleList->Buffer, nullptr);
    EXPECT_EQ(Engine().SampleList->Format, nullptr);
    EXPECT_EQ(*Engine().EngineWindow, engine);
  }
  // A second call finds nothing left to close.
  EXPECT_EQ(Za32().AudioTerm(0), 0);
  EXPECT_FALSE(PumpMessages().quit);
}

TEST_F(Frame, DestroyingTheHostWindowClosesTheEngineAndEndsTheLoop) {
  host.Destroy();
  EXPECT_FALSE(IsWindow(engine));
  if (Engine().SoundDevice) {
    EXPECT_EQ(*Engine().SoundDevice, nullptr);
    EXPECT_EQ(Engine().SampleList->Buffer, nullptr);
    EXPECT_EQ(Engine().SampleList->Format, nullptr);
  }
  LoopResult loop = PumpMessages();
  EXPECT_TRUE(loop.quit);
  EXPECT_EQ(loop.exitCode, 0u);
}
