#include "test_sample.h"

#include <gtest/gtest.h>

namespace {

void* AllocateLocked(SIZE_T bytes) {
  return GlobalLock(GlobalAlloc(GHND, bytes));
}

} // namespace

SampleRecord* AddTestSample(const char* name) {
  auto* record = static_cast<SampleRecord*>(AllocateLocked(sizeof(SampleRecord)));
  record->Format = static_cast<WAVEFORMATEX*>(AllocateLocked(sizeof(WAVEFORMATEX)));
  *record->Format = WAVEFORMATEX{WAVE_FORMAT_PCM, 1, 22050, 44100, 2, 16, 0};
  record->DataSize = 4410;
  record->Data = static_cast<BYTE*>(AllocateLocked(record->DataSize));
  record->StickyFocus = TRUE;
  lstrcpyA(record->Name, name);

  DSBUFFERDESC description{};
  description.dwSize = sizeof(DSBUFFERDESC);
  description.dwFlags = DSBCAPS_STATIC | DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN |
                        DSBCAPS_CTRLVOLUME | DSBCAPS_STICKYFOCUS;
  description.dwBufferBytes = record->DataSize;
  description.lpwfxFormat = record->Format;
  EXPECT_EQ(SoundDevice->CreateSoundBuffer(&description, &record->Buffer, nullptr), DS_OK);

  SampleRecord** end = &SampleList.Next;
  while (*end)
    end = &(*end)->Next;
  *end = record;
  return record;
}

void AssignTestKey(int key, int keyCode) {
  KeyRecord& record = KeyMap[key];
  lstrcpyA(record.SampleName, SampleList.Next->Name);
  record.SampleNumber = 0;
  record.KeyCode = keyCode;
  record.Volume = 127;
  record.Pan = 64;
  record.Note = 60;
  record.FineTune = 50;
  record.VelocitySense = TRUE;
}
