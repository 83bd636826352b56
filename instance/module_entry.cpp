// The engine module as an instance runs it: compiled only into libza32instance.so. It
// drives its own copy of the engine as a host would (a host window, AudioInit, messages
// to the engine window), on the manual clock of its own copy of the device, mixing into
// the owner's float buses at the owner's rate. It changes nothing of the process: it
// never sets the working directory, reads no environment (the output is chosen
// explicitly), prints nothing and hands every message box to the owner.
#include "instance/engine_instance.h"
#include "instance/engine_teardown.h"
#include "instance/module_interface.h"

#include "engine/device.h"
#include "engine/state.h"
#include "performance/key_map.h"
#include "performance/voice_rules.h"
#include "platform/emul/control.h"
#include "platform/emul/dsound/device_control.h"
#include "platform/emul/dsound/sinc_kernel.h"
#include "samples/samples.h"

#include <algorithm>
#include <cstring>

namespace {

const HINSTANCE kModuleInstance = reinterpret_cast<HINSTANCE>(0x10000000);
constexpr char kHostClass[] = "ZA32InstanceHost";
// Duplicates kept ready: a voice for every key, and some to spare while one is let go.
constexpr unsigned kPooledVoices = ZA32_VOICES + 7;

struct ModuleState {
  Za32BoxFunction box = nullptr;
  void* owner = nullptr;
  HWND host = nullptr;
  HWND engine = nullptr;
  uint32_t rate = 0;
  uint8_t buses[ZA32_KEYS] = {};
};
ModuleState state;

int ShowBox(HWND, const char* text, const char* caption, UINT type) {
  if (state.box)
    state.box(state.owner, text ? text : "", caption ? caption : "", type);
  return IDOK;
}

// Samples that no key names and that are not being auditioned.
void UnloadUnusedSamples() {
  bool unloaded = false;
  for (SampleRecord* sample = SampleList.Next; sample;) {
    SampleRecord* next = sample->Next;
    bool used = sample == AuditionSample;
    for (const KeyRecord& key : KeyMap)
      used = used || (key.SampleName[0] != '\0' && lstrcmpiA(key.SampleName, sample->Name) == 0);
    if (!used) {
      ReleaseSampleBuffer(sample);
      UnloadSample(sample, &SampleList);
      unloaded = true;
    }
    sample = next;
  }
  if (unloaded)
    RenumberKeys();
}

// The pool of duplicates, the mixer's scratch and a sinc kernel for every frequency a
// key can play at, bent all the way down or up, so that render allocates nothing.
void PrepareKeys() {
  dsemu::PrepareForRealTime(kPooledVoices, state.rate, state.rate);
  for (const KeyRecord& key : KeyMap) {
    const SampleRecord* sample = SampleAt(key.SampleNumber);
    if (!sample || !sample->Format)
      continue;
    DWORD lowest = DSBFREQUENCY_MAX;
    DWORD highest = DSBFREQUENCY_MIN;
    for (int32_t bend : {0, 64, 127, static_cast<int>(BendValue)}) {
      DWORD frequency;
      if (KeyFrequency(sample->Format->nSamplesPerSec, key, bend, &frequency)) {
        lowest = std::min(lowest, frequency);
        highest = std::max(highest, frequency);
      }
    }
    if (lowest <= highest)
      dsemu::PrepareForRealTime(kPooledVoices, lowest, highest);
  }
}

// Each playing key's voice plays into the key's bus.
void TagBuses() {
  for (int32_t k = 0; k < ZA32_KEYS; ++k) {
    const KeyRecord& key = KeyMap[k];
    if (!key.Playing || key.Voice < 0 || key.Voice >= ZA32_VOICES)
      continue;
    const VoiceRecord& voice = VoiceTable[key.Voice];
    if (voice.Active && voice.Buffer)
      dsemu::SetBufferBus(voice.Buffer, state.buses[k]);
  }
}

void Advance(uint32_t frames, uint32_t done, const Za32ModuleBuses& out) {
  if (frames == 0)
    return;
  dsemu::FloatBuses buses;
  buses.count = std::clamp(out.count, 1u, dsemu::kMaxBuses);
  for (unsigned b = 0; b < buses.count; ++b)
    if (out.left[b] && out.right[b]) {
      buses.left[b] = out.left[b] + done;
      buses.right[b] = out.right[b] + done;
    }
  dsemu::AdvanceFramesInto(frames, buses);
}

LRESULT CALLBACK HostProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(window, message, wParam, lParam);
}

void Close() {
  if (state.engine)
    AllNotesOff(0);
  FreeSamplesAndVoices();
  AudioTerm(0);
  if (state.host && IsWindow(state.host))
    DestroyWindow(state.host);
  if (EngineWindow && IsWindow(EngineWindow))
    DestroyWindow(EngineWindow);
  CloseDevice();
  UnregisterClassA(EngineName, kModuleInstance);
  UnregisterClassA(kHostClass, kModuleInstance);
  dsemu::ReleaseRealTimeMemory();
  emul::SetMessageBoxHandler({});
  state = ModuleState{};
}

int Open(uint32_t rate, Za32BoxFunction box, void* owner) {
  state.box = box;
  state.owner = owner;
  state.rate = rate;
  emul::SetMessageBoxHandler(ShowBox);
  dsemu::SelectOutput(dsemu::Output::Manual);
  dsemu::SelectUnguardedState(); // this copy's device is this owner's alone
  if (!dsemu::SelectOutputRate(rate))
    return 0;
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = HostProcedure;
  windowClass.hInstance = kModuleInstance;
  windowClass.lpszClassName = kHostClass;
  RegisterClassA(&windowClass);
  state.host = CreateWindowExA(0, kHostClass, "Instance", WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, nullptr,
                               nullptr, kModuleInstance, nullptr);
  if (state.host)
    state.engine = AudioInit(kModuleInstance, state.host);
  if (!state.engine || !SoundDevice) {
    Close();
    return 0;
  }
  PrepareKeys();
  return 1;
}

LONG InstallKeys(const KeyRecord* keys, const uint8_t* buses) {
  std::memcpy(state.buses, buses, sizeof state.buses);
  for (uint8_t& bus : state.buses)
    bus = std::min<uint8_t>(bus, dsemu::kMaxBuses - 1);
  const LONG result = InitialiseKeyMap(keys);
  UnloadUnusedSamples();
  PrepareKeys();
  return result;
}

void ReadKeys(KeyRecord* keys) {
  std::memcpy(keys, KeyMap, sizeof KeyMap);
}

bool IsEngineMessage(UINT message) {
  return message >= AM_NOTE && message <= AM_PAN;
}

void Render(uint32_t frames, const Za32ModuleEvent* events, size_t count,
            const Za32ModuleBuses* out) {
  uint32_t done = 0;
  for (size_t i = 0; i < count; ++i) {
    const uint32_t at = std::clamp(events[i].frame, done, frames);
    Advance(at - done, done, *out);
    done = at;
    if (IsEngineMessage(events[i].message)) {
      AudioDLLWndProc(state.engine, events[i].message, 0, events[i].lParam);
      TagBuses();
    } else if (events[i].message == za32::kAllNotesOff) {
      AllNotesOff(0);
    }
  }
  Advance(frames - done, done, *out);
}

unsigned SoundingVoices() {
  unsigned sounding = 0;
  for (const VoiceRecord& voice : VoiceTable) {
    DWORD status = 0;
    if (voice.Active && voice.Buffer && voice.Buffer->GetStatus(&status) == DS_OK &&
        (status & DSBSTATUS_PLAYING))
      ++sounding;
  }
  return sounding;
}

void ShareKernels(void* slots, size_t count) {
  dsemu::ShareSincKernels(static_cast<std::atomic<void*>*>(slots), count);
}

const Za32InstanceModule kModule{ZA32_INSTANCE_MODULE_VERSION,
                                 Open,
                                 InstallKeys,
                                 ReadKeys,
                                 Render,
                                 SoundingVoices,
                                 Close,
                                 ShareKernels};

} // namespace

extern "C" const Za32InstanceModule* za32_instance_module(void) {
  return &kModule;
}
