// A sample's static sound buffer: made once at load time holding a copy of the data,
// duplicated by the voices, played (by the audition and the rate test), stopped and
// released here.
#include "samples.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr DWORD SampleBufferFlags = DSBCAPS_STATIC | DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN |
                                    DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLPOSITIONNOTIFY |
                                    DSBCAPS_GETCURRENTPOSITION2;
static_assert(SampleBufferFlags == 0x101E2);

void ReportPlayingFailure(HWND window, const char* text) {
  MessageBoxA(window, text, EngineName, MB_OK);
}

// The lock of the whole buffer from offset 0 comes back as one region of the buffer's
// size; should a device split it, the data goes on into the second region, never past
// the lengths the device gave.
struct Locked {
  LPVOID first = nullptr;
  DWORD firstBytes = 0;
  LPVOID second = nullptr;
  DWORD secondBytes = 0;
};

void CopyIntoRegions(const SampleRecord& record, Locked& regions) {
  DWORD toFirst = std::min(record.DataSize, regions.firstBytes);
  if (toFirst > 0)
    std::memcpy(regions.first, record.Data, toFirst);
  DWORD toSecond = regions.second ? std::min(record.DataSize - toFirst, regions.secondBytes) : 0;
  if (toSecond > 0)
    std::memcpy(regions.second, record.Data + toFirst, toSecond);
  // Unlock with what was written: the first region and, only when used, the second.
  regions.firstBytes = toFirst;
  regions.secondBytes = toSecond;
  if (toSecond == 0)
    regions.second = nullptr;
}

HRESULT FillBuffer(SampleRecord& record) {
  Locked regions;
  HRESULT result = record.Buffer->Lock(0, record.DataSize, &regions.first, &regions.firstBytes,
                                       &regions.second, &regions.secondBytes, 0);
  if (result != DS_OK)
    return result;
  CopyIntoRegions(record, regions);
  result =
      record.Buffer->Unlock(regions.first, regions.firstBytes, regions.second, regions.secondBytes);
  if (result != DS_OK) {
    // Still locked: one more try with the same arguments before the buffer goes.
    record.Buffer->Unlock(regions.first, regions.firstBytes, regions.second, regions.secondBytes);
    return result;
  }
  if ((result = record.Buffer->SetVolume(DSBVOLUME_MAX)) != DS_OK)
    return result;
  return record.Buffer->SetPan(DSBPAN_CENTER);
}

} // namespace

HRESULT CreateSampleBuffer(SampleRecord* record) {
  // Without an open device there is nothing to make the buffer on.
  if (!SoundDevice)
    return DSERR_UNINITIALIZED;

  DSBUFFERDESC description{};
  description.dwSize = sizeof(DSBUFFERDESC1);
  description.dwFlags = SampleBufferFlags | (record->StickyFocus ? DSBCAPS_STICKYFOCUS : 0);
  description.dwBufferBytes = record->DataSize;
  description.dwReserved = 0;
  description.lpwfxFormat = record->Format;
  HRESULT result = SoundDevice->CreateSoundBuffer(&description, &record->Buffer, nullptr);
  if (FAILED(result)) {
    // No buffer was made, whatever the field holds now.
    record->Buffer = nullptr;
    return result;
  }
  if (result == DS_OK)
    result = FillBuffer(*record);
  // Any result but DS_OK fails, a success code with a new buffer among them.
  if (result != DS_OK)
    ReleaseSampleBuffer(record);
  return result;
}

LONG ReleaseSampleBuffer(SampleRecord* record) {
  // A closed device took its buffers with it; only the pointer is left to forget.
  if (record->Buffer && SoundDevice)
    record->Buffer->Release();
  record->Buffer = nullptr;
  return 0;
}

HRESULT PlaySample(HWND window, SampleRecord* sample) {
  if (!sample->Buffer)
    return DSERR_UNINITIALIZED;
  const DWORD flags = sample->Looping ? DSBPLAY_LOOPING : 0;
  if (sample->Buffer->SetCurrentPosition(0) != DS_OK)
    ReportPlayingFailure(window, "Cannot set current position");
  DWORD status = 0;
  if (HRESULT result = sample->Buffer->GetStatus(&status); result != DS_OK)
    return result;
  // Already playing: it carries on from the start it was just moved to.
  if (status & DSBSTATUS_PLAYING)
    return 0;
  if (HRESULT result = sample->Buffer->Play(0, 0, flags); result != DS_OK) {
    ReportPlayingFailure(window, "Cannot start playing");
    return result;
  }
  sample->Playing = 1;
  return 0;
}

HRESULT StopSample(HWND window, SampleRecord* record) {
  if (!record->Playing)
    return 0;
  // A record whose buffer is gone, or went with the closed device, has nothing left to
  // stop.
  if (!record->Buffer || !SoundDevice) {
    record->Playing = 0;
    return 0;
  }
  HRESULT result = record->Buffer->Stop();
  if (result != DS_OK) {
    ReportPlayingFailure(window, "Cannot stop the sound");
    return result;
  }
  record->Playing = 0;
  return 0;
}
