// The engine's hidden window: AudioInit creates it (opening the sound device while it
// is being created), AudioTerm closes the device, and its procedure turns the host's
// messages into calls of the note and parameter handlers.
#include "device.h"

#include "../performance/performance.h"

HWND EngineWindow;
HWND HostWindow;
HINSTANCE Instance;
const char EngineName[] = "ZA32";

namespace {

using MessageHandler = LRESULT (*)(int32_t key, int32_t value);

struct HostMessage {
  UINT message;
  MessageHandler handler;
};

// Each handler gets the long parameter split into its two words.
constexpr HostMessage HostMessages[] = {
    {AM_NOTE, NoteMessage},
    {AM_BEND, BendMessage},
    {AM_LOOP, LoopMessage},
    {AM_BENDENABLE, BendEnableMessage},
    {AM_VELOCITYSENSE, VelocitySenseMessage},
    {AM_MUTE, MuteMessage},
    {AM_HOLD, HoldMessage},
    {AM_NOTEPITCH, NotePitchMessage},
    {AM_FINETUNE, FineTuneMessage},
    {AM_VOLUME, VolumeMessage},
    {AM_PAN, PanMessage},
};

constexpr UINT EngineClassStyle = CS_VREDRAW | CS_HREDRAW | CS_NOCLOSE;
constexpr DWORD EngineWindowStyle = WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX;

bool RegisterEngineClass() {
  WNDCLASSA windowClass{};
  windowClass.style = EngineClassStyle;
  windowClass.lpfnWndProc = AudioDLLWndProc;
  windowClass.cbClsExtra = 0;
  windowClass.cbWndExtra = 0;
  windowClass.hInstance = Instance;
  windowClass.hIcon = nullptr;
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<uintptr_t>(COLOR_MENU + 1));
  windowClass.lpszMenuName = nullptr;
  windowClass.lpszClassName = EngineName;
  if (RegisterClassA(&windowClass))
    return true;
  // A window whose creation failed cannot unregister its class while it is being
  // destroyed, so the class of an earlier attempt may still be there: it is this one.
  return GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

// Creating the window opens the device; a failure there makes the creation fail and
// leaves EngineWindow null.
void CreateEngineWindow() {
  InitCommonControls();
  if (!RegisterEngineClass())
    return;
  EngineWindow = CreateWindowExA(WS_EX_CLIENTEDGE, EngineName, EngineName, EngineWindowStyle, 0, 0,
                                 530, 406, nullptr, nullptr, Instance, nullptr);
  if (EngineWindow)
    ShowWindow(EngineWindow, SW_HIDE);
}

void CloseEngine() {
  CloseDevice();
  // Fails while the engine window still exists, as it does during its WM_DESTROY;
  // AudioInit copes with the class left registered.
  UnregisterClassA(EngineName, Instance);
}

} // namespace

extern "C" HWND WINAPI AudioInit(HINSTANCE instance, HWND hostWindow) {
  Instance = instance;
  HostWindow = hostWindow;
  if (!EngineWindow)
    CreateEngineWindow();
  if (EngineWindow) {
    SetParent(EngineWindow, HostWindow);
    // After AudioTerm the window is still there but the device is not.
    if (SoundDevice)
      SoundDevice->SetCooperativeLevel(HostWindow, DSSCL_PRIORITY);
    SetFocus(HostWindow);
  }
  return EngineWindow;
}

// Leaves the window, the voices, the samples and the key map as they are.
extern "C" LONG WINAPI AudioTerm(LONG) {
  CloseEngine();
  return 0;
}

extern "C" LRESULT WINAPI AudioDLLWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
  case WM_CREATE:
    // The device's set-up already speaks of the window being created.
    EngineWindow = window;
    if (OpenDevice(window) == 0)
      return 0;
    EngineWindow = nullptr;
    return -1;
  case WM_DESTROY:
    CloseEngine();
    PostQuitMessage(0);
    return 0;
  case WM_PAINT: {
    PAINTSTRUCT paint;
    BeginPaint(window, &paint);
    EndPaint(window, &paint);
    return 0;
  }
  default:
    break;
  }
  for (const HostMessage& entry : HostMessages) {
    if (entry.message != message)
      continue;
    // Without a device (after AudioTerm) the voices' buffers are gone with it, so
    // the host's messages have nothing to act on.
    if (SoundDevice)
      entry.handler(LOWORD(lParam), HIWORD(lParam));
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}
