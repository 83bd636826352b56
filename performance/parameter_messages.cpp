// The host's parameter messages: each stores its value into the key (or the global
// bend) and re-applies what it affects to the key's voice while the key sounds.
#include "key_map.h"
#include "performance.h"
#include "voice_parameters.h"

int32_t BendValue = 64;

namespace {

// The key a parameter message names, or null when it is no key index.
KeyRecord* MessageKey(int32_t key) {
  return IsKeyIndex(key) ? &KeyMap[key] : nullptr;
}

// Re-tunes a sounding key after a change of its pitch settings.
void RetuneKey(int32_t key) {
  if (KeyMap[key].Playing) {
    SetVoiceFrequency(key, KeyMap[key].PitchBend ? BendValue : 64);
  }
}

} // namespace

LRESULT BendMessage(int32_t, int32_t value) {
  BendValue = value;
  // Keys that ignore the bend are re-tuned too, to the frequency they already have.
  for (int32_t key = 0; key < ZA32_KEYS; ++key) {
    if (KeyMap[key].Playing) {
      SetVoiceFrequency(key, BendValue);
    }
  }
  return 0;
}

LRESULT LoopMessage(int32_t key, int32_t value) {
  if (KeyRecord* record = MessageKey(key)) {
    record->Loop = value;
    if (record->Playing) {
      ApplyVoiceLoop(key);
    }
  }
  return 0;
}

LRESULT BendEnableMessage(int32_t key, int32_t value) {
  if (KeyRecord* record = MessageKey(key)) {
    record->PitchBend = value;
    RetuneKey(key);
  }
  return 0;
}

LRESULT VelocitySenseMessage(int32_t key, int32_t value) {
  // Read by the next note message; a sounding voice keeps its velocity.
  if (KeyRecord* record = MessageKey(key)) {
    record->VelocitySense = value;
  }
  return 0;
}

LRESULT MuteMessage(int32_t key, int32_t value) {
  if (KeyRecord* record = MessageKey(key)) {
    record->Mute = value;
    if (record->Playing) {
      ApplyVoiceMute(key);
    }
  }
  return 0;
}

LRESULT NotePitchMessage(int32_t key, int32_t value) {
  if (KeyRecord* record = MessageKey(key)) {
    record->Note = value;
    RetuneKey(key);
  }
  return 0;
}

LRESULT FineTuneMessage(int32_t key, int32_t value) {
  if (KeyRecord* record = MessageKey(key)) {
    record->FineTune = value;
    RetuneKey(key);
  }
  return 0;
}

LRESULT VolumeMessage(int32_t key, int32_t value) {
  if (KeyRecord* record = MessageKey(key)) {
    record->Volume = value;
    SetVoiceVolume(key);
  }
  return 0;
}

LRESULT PanMessage(int32_t key, int32_t value) {
  if (KeyRecord* record = MessageKey(key)) {
    record->Pan = value;
    SetVoicePan(key);
  }
  return 0;
}
