// Installing the host's keys and keeping each key's sample loaded, once per file name.
#include "key_map.h"

#include "../samples/samples.h"
#include "notes.h"

#include <cstring>

// Before the host installs its keys no key names a sample, so none may stand for one:
// a zero sample number would let a note for key code 0 play whatever sample came
// first (an audition's), on a key that nothing stops when that sample goes.
#define KEY_WITHOUT_SAMPLE                                                                         \
  { {0}, 0, -1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0 }
KeyRecord KeyMap[ZA32_KEYS] = {
    KEY_WITHOUT_SAMPLE, KEY_WITHOUT_SAMPLE, KEY_WITHOUT_SAMPLE, KEY_WITHOUT_SAMPLE,
    KEY_WITHOUT_SAMPLE, KEY_WITHOUT_SAMPLE, KEY_WITHOUT_SAMPLE, KEY_WITHOUT_SAMPLE,
    KEY_WITHOUT_SAMPLE, KEY_WITHOUT_SAMPLE, KEY_WITHOUT_SAMPLE, KEY_WITHOUT_SAMPLE,
    KEY_WITHOUT_SAMPLE, KEY_WITHOUT_SAMPLE, KEY_WITHOUT_SAMPLE, KEY_WITHOUT_SAMPLE,
    KEY_WITHOUT_SAMPLE, KEY_WITHOUT_SAMPLE, KEY_WITHOUT_SAMPLE, KEY_WITHOUT_SAMPLE,
    KEY_WITHOUT_SAMPLE, KEY_WITHOUT_SAMPLE, KEY_WITHOUT_SAMPLE, KEY_WITHOUT_SAMPLE,
    KEY_WITHOUT_SAMPLE};
#undef KEY_WITHOUT_SAMPLE
static_assert(ZA32_KEYS == 25, "one initialiser a key");
namespace {

bool SameFile(LPCSTR a, LPCSTR b) {
  return lstrcmpA(a, b) == 0;
}

// Takes a host record in. A name filling all 256 bytes is read as its first 255
// characters. The key's voice was stopped before, so whatever the host passed as
// Playing, the key is silent; its sample number is worked out afresh.
void CopyKeyIn(KeyRecord& key, const KeyRecord& host) {
  std::memmove(&key, &host, sizeof key);
  key.SampleName[sizeof key.SampleName - 1] = '\0';
  key.SampleNumber = -1;
  key.Playing = FALSE;
}

} // namespace

bool IsKeyIndex(int64_t key) {
  return key >= 0 && key < ZA32_KEYS;
}

bool KeyNamesFile(LPCSTR name, int32_t except) {
  for (int32_t key = 0; key < ZA32_KEYS; ++key) {
    if (key != except && SameFile(KeyMap[key].SampleName, name)) {
      return true;
    }
  }
  return false;
}

LONG LoadKeySample(int32_t key) {
  KeyRecord& record = KeyMap[key];
  if (record.SampleName[0] == '\0') {
    return -1;
  }
  int32_t position = FirstSampleNamed(record.SampleName);
  if (position != -1) {
    record.SampleNumber = position;
    return 0;
  }
  const LONG loaded = LoadSample(record.SampleName);
  if (loaded == -1) {
    record.SampleNumber = -1;
    return -1;
  }
  record.SampleNumber = FirstSampleNamed(record.SampleName);
  return loaded;
}

LONG UnloadKeySample(int32_t key) {
  KeyRecord& record = KeyMap[key];
  if (record.SampleNumber == -1) {
    return -1;
  }
  if (SampleRecord* sample = SampleAt(FirstSampleNamed(record.SampleName))) {
    ReleaseSampleBuffer(sample);
    UnloadSample(sample, &SampleList);
  }
  record.SampleNumber = -1;
  return 1;
}

void RenumberKeys() {
  for (KeyRecord& key : KeyMap) {
    // A later sample of the same name wins.
    key.SampleNumber = key.SampleName[0] != '\0' ? LastSampleNamed(key.SampleName) : -1;
  }
}

LONG WINAPI InitialiseKeyMap(const KeyRecord* keys) {
  if (!keys) {
    return 0;
  }
  // Voices of the old map would sound for ever once their keys are replaced: stop them
  // all first, and report failed stops only once the new map is in place.
  int failedStops = 0;
  for (int32_t key = 0; key < ZA32_KEYS; ++key) {
    if (StopKeyVoice(key) != DS_OK) {
      ++failedStops;
    }
  }
  for (VoiceRecord& voice : VoiceTable) {
    if (voice.Active && StopVoice(voice) != DS_OK) {
      ++failedStops;
    }
    voice.Active = FALSE;
  }
  for (int32_t key = 0; key < ZA32_KEYS; ++key) {
    CopyKeyIn(KeyMap[key], keys[key]);
  }
  for (int i = 0; i < failedStops; ++i) {
    ReportStopFailure();
  }
  for (int32_t key = 0; key < ZA32_KEYS; ++key) {
    LoadKeySample(key);
  }
  RenumberKeys();
  return 0;
}

LONG WINAPI UpdateKey(const KeyRecord* newKey, LONG keyIndex) {
  if (!newKey || !IsKeyIndex(keyIndex)) {
    return -1;
  }
  const int32_t k = keyIndex;
  KeyRecord& key = KeyMap[k];
  char oldName[sizeof key.SampleName];
  lstrcpyA(oldName, key.SampleName);

  const HRESULT stopped = StopKeyVoice(k);
  // The other keys are compared as they stand, before the new record comes in.
  if (oldName[0] != '\0' && !KeyNamesFile(oldName, k) &&
      !(AuditionSample && SameFile(oldName, AuditionSample->Name))) {
    UnloadKeySample(k);
    RenumberKeys();
  }
  // The key is on its way out: a note handled while a box is open must not start it.
  key.SampleNumber = -1;
  if (stopped != DS_OK) {
    ReportStopFailure();
  }

  CopyKeyIn(key, *newKey);
  if (key.SampleName[0] == '\0') {
    key.Voice = -1;
    key.Released = FALSE;
    RenumberKeys();
    return 0;
  }
  const LONG result = LoadKeySample(k);
  if (result == -1) {
    // Back to the old file, keeping the new record's other settings.
    lstrcpyA(key.SampleName, oldName);
    key.Voice = -1;
    key.SampleNumber = -1;
    key.Playing = FALSE;
    key.Released = FALSE;
    LoadKeySample(k);
  }
  RenumberKeys();
  return result;
}

LONG WINAPI GetSampleNumber(LONG keyIndex) {
  return IsKeyIndex(keyIndex) ? KeyMap[keyIndex].SampleNumber : -1;
}
