#include "host/outputs/engine_session.h"

#include "host/files/kit_file.h"

#include "host/host_error.h"

#include "platform/emul/control.h"
#include "platform/emul/dsound/device_control.h"

#include <cstdio>
#include <cstdlib>
#include <set>

namespace {

const char kHostClass[] = "za32 host";
// The host's instance handle: any value that is its own.
char instanceTag;
HINSTANCE HostInstance() {
  return reinterpret_cast<HINSTANCE>(&instanceTag);
}

LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(window, message, wParam, lParam);
}

const char* BoxKind(UINT type) {
  switch (type & MB_ICONMASK) {
  case MB_ICONERROR:
    return "error";
  case MB_ICONWARNING:
    return "warning";
  case MB_ICONINFORMATION:
    return "note";
  default:
    return "message";
  }
}

// A box's text on one line: its line breaks become "; ".
std::string OneLine(const char* text) {
  std::string line;
  for (const char* p = text ? text : ""; *p; ++p) {
    if (*p == '\r')
      continue;
    if (*p == '\n')
      line += "; ";
    else
      line += *p;
  }
  return line;
}

dsemu::Output DeviceOutput(AudioOutput output) {
  switch (output) {
  case AudioOutput::Manual:
    return dsemu::Output::Manual;
  case AudioOutput::Null:
    return dsemu::Output::Null;
  case AudioOutput::Jack:
    return dsemu::Output::Jack;
  case AudioOutput::Live:
    break;
  }
  return dsemu::Output::Live;
}

} // namespace

EngineSession::EngineSession(AudioOutput output) {
  emul::SetMessageBoxHandler([this](HWND, const char* text, const char* caption, UINT type) {
    std::string line = OneLine(text);
    std::string shown = std::string(caption ? caption : "") + " " + BoxKind(type) + ": " + line;
    if (holdBoxes_)
      heldBoxes_.push_back(shown);
    else
      std::fprintf(stderr, "%s\n", shown.c_str());
    boxes_.push_back(line);
    return IDOK;
  });
  dsemu::SelectOutput(DeviceOutput(output));

  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = HostWindowProc;
  windowClass.hInstance = HostInstance();
  windowClass.lpszClassName = kHostClass;
  RegisterClassA(&windowClass);
  hostWindow_ = CreateWindowExA(0, kHostClass, "za32", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                CW_USEDEFAULT, 640, 480, nullptr, nullptr, HostInstance(), nullptr);
  if (!hostWindow_) {
    UnregisterClassA(kHostClass, HostInstance());
    emul::SetMessageBoxHandler(nullptr);
    throw HostError("cannot create the host window");
  }
  engineWindow_ = AudioInit(HostInstance(), hostWindow_);
  Pump();
  if (!engineWindow_) {
    DestroyWindow(hostWindow_);
    UnregisterClassA(kHostClass, HostInstance());
    Pump();
    emul::SetMessageBoxHandler(nullptr);
    if (output == AudioOutput::Jack)
      throw HostError("the sound engine could not open the JACK output (is a JACK server "
                      "running at 44,100 Hz?)");
    if (output == AudioOutput::Live)
      throw HostError("the sound engine could not open the audio output; `za32 render` "
                      "writes a WAV file instead");
    throw HostError("the sound engine could not start");
  }
}

EngineSession::~EngineSession() {
  AllNotesOff(0);
  AudioTerm(0);
  // The engine window goes with the host window, as it would on Windows.
  DestroyWindow(hostWindow_);
  Pump();
  UnregisterClassA(kHostClass, HostInstance());
  emul::SetMessageBoxHandler(nullptr);
}

size_t EngineSession::InstallKit(const Kit& kit) {
  CheckKitSamplesExist(kit);
  if (kit.keys.size() > ZA32_KEYS)
    throw HostError(kit.source + ": has " + std::to_string(kit.keys.size()) +
                    " keys; one engine plays " + std::to_string(ZA32_KEYS));
  KeyMapBytes records = ToKeyRecords(kit);
  // A sample the engine cannot load fails the command, with the engine's reason in the
  // one message; boxes of a load that worked all the same are shown as they are.
  boxes_.clear();
  heldBoxes_.clear();
  holdBoxes_ = true;
  InitialiseKeyMap(records.data());
  Pump();
  holdBoxes_ = false;
  for (size_t i = 0; i < kit.keys.size(); ++i) {
    if (kit.keys[i].sample.empty() || GetSampleNumber(static_cast<LONG>(i)) >= 0)
      continue;
    std::string why = boxes_.empty() ? "" : ": " + boxes_.front();
    throw HostError(kit.source + ": keys[" + std::to_string(i) + "]: the engine could not load " +
                    "the sample" + why);
  }
  for (const std::string& shown : heldBoxes_)
    std::fprintf(stderr, "%s\n", shown.c_str());
  return LoadedFileCount();
}

void EngineSession::Post(UINT message, LPARAM lParam) {
  PostMessageA(engineWindow_, message, 0, lParam);
}

void EngineSession::PostAt(UINT message, LPARAM lParam, uint64_t dueFrame) {
  emul::PostMessageAtFrame(engineWindow_, message, 0, lParam, dueFrame);
}

void EngineSession::Pump() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT)
      continue;
    DispatchMessageA(&message);
  }
}

AudioOutput PlayingOutput(bool nullOnCommandLine) {
  if (nullOnCommandLine)
    return AudioOutput::Null;
  const char* chosen = std::getenv("ZA32_AUDIO");
  std::string value = chosen ? chosen : "";
  if (value.empty() || value == "live" || value == "sdl")
    return AudioOutput::Live;
  if (value == "jack")
    return AudioOutput::Jack;
  if (value == "null" || value == "manual")
    return AudioOutput::Null;
  throw HostError("ZA32_AUDIO=" + value + ": unknown output (sdl, jack, null, live or manual)");
}

AudioOutput ChosenAudioOutput(const std::string& audio, bool nullOnCommandLine) {
  if (audio == "jack")
    return AudioOutput::Jack;
  if (audio == "sdl")
    return AudioOutput::Live;
  return PlayingOutput(nullOnCommandLine || audio == "null");
}

size_t LoadedFileCount() {
  std::set<LONG> numbers;
  for (LONG key = 0; key < ZA32_KEYS; ++key)
    if (GetSampleNumber(key) >= 0)
      numbers.insert(GetSampleNumber(key));
  return numbers.size();
}

size_t SoundingVoices() {
  size_t sounding = 0;
  for (const dsemu::BufferState& state : dsemu::LiveBuffers())
    sounding += state.duplicateOf != nullptr && state.playing;
  return sounding;
}
