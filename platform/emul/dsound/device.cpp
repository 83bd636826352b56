// IDirectSound: the device object, its co-operative level, buffer creation and
// duplication, and the factories that make it.
#include "buffer_commands.h"
#include "clock.h"
#include "factory.h"
#include "faults.h"
#include "objects.h"

#include <algorithm>
#include <memory>
#include <new>

namespace dsemu {
namespace {

// Every DSBCAPS_* flag DirectSound knows.
constexpr DWORD kKnownBufferFlags = 0x000FC3FF;
// Controls a primary buffer cannot have.
constexpr DWORD kSecondaryOnlyFlags = DSBCAPS_STATIC | DSBCAPS_CTRLFREQUENCY |
                                      DSBCAPS_CTRLPOSITIONNOTIFY | DSBCAPS_CTRLFX |
                                      DSBCAPS_LOCDEFER;

HRESULT CheckBufferFlags(DWORD flags) {
  if (flags & ~kKnownBufferFlags)
    return DSERR_INVALIDPARAM;
  const DWORD placement = flags & (DSBCAPS_LOCHARDWARE | DSBCAPS_LOCSOFTWARE | DSBCAPS_LOCDEFER);
  if (placement & (placement - 1)) // more than one placement
    return DSERR_INVALIDPARAM;
  if ((flags & DSBCAPS_CTRL3D) && (flags & DSBCAPS_CTRLPAN))
    return DSERR_INVALIDPARAM;
  if ((flags & DSBCAPS_PRIMARYBUFFER) && (flags & kSecondaryOnlyFlags))
    return DSERR_INVALIDPARAM;
  // A software device has no hardware buffers to place one in.
  if (flags & DSBCAPS_LOCHARDWARE)
    return DSERR_INVALIDCALL;
  return DS_OK;
}

} // namespace

HRESULT Device::QueryInterface(REFIID iid, void** object) {
  if (!object)
    return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IDirectSound) {
    AddRef();
    *object = static_cast<IDirectSound*>(this);
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG Device::AddRef() {
  std::lock_guard guard(StateLock());
  return ++references;
}

ULONG Device::Release() {
  bool wasInitialized;
  {
    std::unique_lock guard(StateLock());
    if (references == 0)
      return 0;
    if (--references != 0)
      return references;
    // What was commanded is mixed before the buffers fall silent: the last note is
    // not lost when the device closes.
    uint64_t lastCommand = 0;
    bool waiting = false;
    for (auto* list : {&LiveBufferList(), &RetiringBufferList()})
      for (Buffer* buffer : *list)
        if (buffer->device == this && !buffer->pending.empty()) {
          lastCommand = std::max(lastCommand, buffer->pending.back().frame);
          waiting = true;
        }
    if (waiting) {
      guard.unlock();
      WaitUntilMixed(lastCommand + 1);
      guard.lock();
    }
    auto& retiring = RetiringBufferList();
    std::erase_if(retiring, [this](Buffer* buffer) {
      if (buffer->device != this)
        return false;
      DestroyBuffer(buffer);
      return true;
    });
    // Buffers still held by the caller outlive the device as lost buffers: silent,
    // unplayable, but safe to release.
    for (Buffer* buffer : LiveBufferList())
      if (buffer->device == this) {
        buffer->device = nullptr;
        buffer->playing = false;
        buffer->pending.clear();
      }
    auto& list = LiveDeviceList();
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    wasInitialized = initialized;
  }
  if (wasInitialized)
    ClockRelease();
  delete this;
  return 0;
}

HRESULT Device::CreateSoundBuffer(LPCDSBUFFERDESC desc, LPDIRECTSOUNDBUFFER* out, LPUNKNOWN outer) {
  if (auto fault = InjectedFault(Call::CreateSoundBuffer)) {
    if (out)
      *out = nullptr;
    return *fault;
  }
  if (!out)
    return DSERR_INVALIDPARAM;
  *out = nullptr;
  std::lock_guard guard(StateLock());
  if (!initialized)
    return DSERR_UNINITIALIZED;
  if (!desc || (desc->dwSize != sizeof(DSBUFFERDESC1) && desc->dwSize != sizeof(DSBUFFERDESC)))
    return DSERR_INVALIDPARAM;
  if (outer)
    return DSERR_NOAGGREGATION;
  if (HRESULT checked = CheckBufferFlags(desc->dwFlags); checked != DS_OK)
    return checked;

  if (desc->dwFlags & DSBCAPS_PRIMARYBUFFER) {
    if (desc->dwBufferBytes != 0 || desc->lpwfxFormat)
      return DSERR_INVALIDPARAM;
    if (primary) { // one primary buffer a device: asking again gives the same one
      ++primary->references;
      *out = primary;
      return DS_OK;
    }
  } else {
    if (!desc->lpwfxFormat)
      return DSERR_INVALIDPARAM;
    if (desc->dwBufferBytes < DSBSIZE_MIN || desc->dwBufferBytes > DSBSIZE_MAX)
      return DSERR_INVALIDPARAM;
  }

  try {
    Buffer* buffer;
    if (desc->dwFlags & DSBCAPS_PRIMARYBUFFER) {
      const WAVEFORMATEX output = OutputFormat();
      SampleFormat format;
      CheckFormat(&output, &format);
      auto data = std::make_shared<SoundData>();
      data->bytes.assign(kPrimaryBytes, 0);
      buffer = new Buffer(this, true, desc->dwFlags, CopyFormatBlock(&output), format, data);
      primary = buffer;
    } else {
      SampleFormat format;
      if (HRESULT checked = CheckFormat(desc->lpwfxFormat, &format); checked != DS_OK)
        return checked;
      if (desc->dwBufferBytes % format.blockAlign != 0)
        return DSERR_INVALIDPARAM;
      auto data = std::make_shared<SoundData>();
      data->bytes.assign(desc->dwBufferBytes, format.encoding == Encoding::U8 ? 0x80 : 0);
      buffer = new Buffer(this, false, desc->dwFlags, CopyFormatBlock(desc->lpwfxFormat), format,
                          std::move(data));
    }
    LiveBufferList().push_back(buffer);
    *out = buffer;
    return DS_OK;
  } catch (const std::bad_alloc&) {
    return DSERR_OUTOFMEMORY;
  }
}

HRESULT Device::GetCaps(LPDSCAPS caps) {
  std::lock_guard guard(StateLock());
  if (!initialized)
    return DSERR_UNINITIALIZED;
  if (!caps || caps->dwSize != sizeof(DSCAPS))
    return DSERR_INVALIDPARAM;
  *caps = DSCAPS{};
  caps->dwSize = sizeof(DSCAPS);
  caps->dwFlags = DSCAPS_PRIMARYMONO | DSCAPS_PRIMARYSTEREO | DSCAPS_PRIMARY8BIT |
                  DSCAPS_PRIMARY16BIT | DSCAPS_CONTINUOUSRATE | DSCAPS_SECONDARYMONO |
                  DSCAPS_SECONDARYSTEREO | DSCAPS_SECONDARY8BIT | DSCAPS_SECONDARY16BIT;
  caps->dwMinSecondarySampleRate = DSBFREQUENCY_MIN;
  caps->dwMaxSecondarySampleRate = DSBFREQUENCY_MAX;
  caps->dwPrimaryBuffers = 1;
  return DS_OK;
}

HRESULT Device::DuplicateSoundBuffer(LPDIRECTSOUNDBUFFER original, LPDIRECTSOUNDBUFFER* out) {
  if (auto fault = InjectedFault(Call::DuplicateSoundBuffer)) {
    if (out)
      *out = nullptr;
    return *fault;
  }
  if (!out)
    return DSERR_INVALIDPARAM;
  *out = nullptr;
  std::lock_guard guard(StateLock());
  if (!initialized)
    return DSERR_UNINITIALIZED;
  Buffer* source = FindBuffer(original);
  if (!source)
    return DSERR_INVALIDPARAM;
  if (source->primary)
    return DSERR_INVALIDCALL;
  try {
    // Same data and settings, its own cursor and play state, stopped at the start.
    Buffer* copy = TakePooledBuffer();
    if (copy)
      copy->BecomeDuplicate(this, *source);
    else
      copy =
          new Buffer(this, false, source->flags, source->formatBlock, source->format, source->data);
    copy->original = source;
    const ShownState shown = Shown(*source);
    copy->frequency = shown.frequency;
    copy->volume = shown.volume;
    copy->pan = shown.pan;
    LiveBufferList().push_back(copy);
    *out = copy;
    return DS_OK;
  } catch (const std::bad_alloc&) {
    return DSERR_OUTOFMEMORY;
  }
}

HRESULT Device::SetCooperativeLevel(HWND newWindow, DWORD newLevel) {
  if (auto fault = InjectedFault(Call::SetCooperativeLevel))
    return *fault;
  std::lock_guard guard(StateLock());
  if (!initialized)
    return DSERR_UNINITIALIZED;
  if (!newWindow || newLevel < DSSCL_NORMAL || newLevel > DSSCL_WRITEPRIMARY)
    return DSERR_INVALIDPARAM;
  window = newWindow;
  level = newLevel;
  return DS_OK;
}

HRESULT Device::Compact() {
  std::lock_guard guard(StateLock());
  if (!initialized)
    return DSERR_UNINITIALIZED;
  if (level < DSSCL_PRIORITY)
    return DSERR_PRIOLEVELNEEDED;
  return DS_OK;
}

HRESULT Device::GetSpeakerConfig(LPDWORD config) {
  std::lock_guard guard(StateLock());
  if (!initialized)
    return DSERR_UNINITIALIZED;
  if (!config)
    return DSERR_INVALIDPARAM;
  *config = speakerConfig;
  return DS_OK;
}

HRESULT Device::SetSpeakerConfig(DWORD config) {
  std::lock_guard guard(StateLock());
  if (!initialized)
    return DSERR_UNINITIALIZED;
  const DWORD speakers = config & 0xFF;
  if (speakers < DSSPEAKER_HEADPHONE || speakers > DSSPEAKER_7POINT1)
    return DSERR_INVALIDPARAM;
  speakerConfig = config;
  return DS_OK;
}

HRESULT Device::Initialize(LPCGUID id) {
  if (auto fault = InjectedFault(Call::Initialize))
    return *fault;
  return InitializeDevice(id);
}

HRESULT Device::InitializeDevice(LPCGUID id) {
  {
    std::lock_guard guard(StateLock());
    if (initialized)
      return DSERR_ALREADYINITIALIZED;
    if (id && *id != GUID{} && *id != DSDEVID_DefaultPlayback &&
        *id != DSDEVID_DefaultVoicePlayback)
      return DSERR_NODRIVER;
    initialized = true;
  }
  if (!ClockAcquire()) {
    std::lock_guard guard(StateLock());
    initialized = false;
    return DSERR_NODRIVER;
  }
  return DS_OK;
}

namespace {

// A new device object, registered, not yet initialised.
HRESULT NewDevice(Device** out) {
  *out = nullptr;
  if (auto fault = InjectedFault(Call::CreateDevice))
    return *fault;
  try {
    auto device = std::make_unique<Device>();
    std::lock_guard guard(StateLock());
    LiveDeviceList().push_back(device.get());
    *out = device.release();
    return DS_OK;
  } catch (const std::bad_alloc&) {
    return DSERR_OUTOFMEMORY;
  }
}

} // namespace

HRESULT CreateDeviceObject(REFIID iid, void** object) {
  if (!object)
    return E_POINTER;
  *object = nullptr;
  Device* device;
  if (HRESULT created = NewDevice(&device); created != DS_OK)
    return created;
  HRESULT result = device->QueryInterface(iid, object);
  device->Release();
  return result;
}

} // namespace dsemu

extern "C" HRESULT WINAPI DirectSoundCreate(LPCGUID id, LPDIRECTSOUND* object, LPUNKNOWN outer) {
  if (!object)
    return DSERR_INVALIDPARAM;
  *object = nullptr;
  if (outer)
    return DSERR_NOAGGREGATION;
  dsemu::Device* device;
  if (HRESULT created = dsemu::NewDevice(&device); created != DS_OK)
    return created;
  if (HRESULT initialized = device->InitializeDevice(id); initialized != DS_OK) {
    device->Release();
    return initialized;
  }
  *object = device;
  return DS_OK;
}
