// The host's parameter messages: each stores its value into the key (or the global
// bend) and re-applies what it affects to the key's voice while the key sounds. The
// device's answers to these calls are ignored: the key record holds the new value.
#include "voice_parameters.h"

#include "performance.h"
#include "voice_rules.h"

bool IsKeyIndex(int64_t key) {
  return key >= 0 && key < ZA32_KEYS;
}

void SetVoiceFrequency(int32_t key, int32_t bend) {
  const KeyRecord& record = KeyMap[key];
  VoiceRecord& voice = VoiceTable[record.Voice];
  DWORD frequency;
  if (KeyFrequency(voice.Sample->Format->nSamplesPerSec, record, bend, &frequency)) {
    voice.Buffer->SetFrequency(frequency);
  }
}

void SetVoiceVolume(LPARAM lParam) {
  const int32_t key = LOWORD(lParam);
  if (!IsKeyIndex(key) || !KeyMap[key].Playing) {
    return;
  }
  VoiceRecord& voice = VoiceTable[KeyMap[key].Voice];
  voice.Volume = LevelRule(voice.Velocity, KeyMap[key].Volume);
  // A muted voice keeps its silence; the level waits for the unmute.
  if (!KeyMap[key].Mute) {
    voice.Buffer->SetVolume(voice.Volume);
  }
}

void SetVoicePan(LPARAM lParam) {
  const int32_t key = LOWORD(lParam);
  const int32_t pan = PanRule(HIWORD(lParam));
  if (IsKeyIndex(key) && KeyMap[key].Playing) {
    VoiceTable[KeyMap[key].Voice].Buffer->SetPan(pan);
  }
}

void ApplyVoiceMute(int32_t key) {
  const VoiceRecord& voice = VoiceTable[KeyMap[key].Voice];
  voice.Buffer->SetVolume(KeyMap[key].Mute ? DSBVOLUME_MIN : voice.Volume);
}

void ApplyVoiceLoop(int32_t key) {
  // No repositioning: a sounding voice goes on from where it is.
  VoiceTable[KeyMap[key].Voice].Buffer->Play(0, 0, KeyMap[key].Loop ? DSBPLAY_LOOPING : 0);
}

namespace {

// The key named by a parameter message's low word, or null when it is no key index.
KeyRecord* MessageKey(LPARAM lParam) {
  const int32_t key = LOWORD(lParam);
  return IsKeyIndex(key) ? &KeyMap[key] : nullptr;
}

int32_t MessageValue(LPARAM lParam) {
  return HIWORD(lParam);
}

// Re-tunes a sounding key after a change of its pitch settings.
void RetuneKey(int32_t key) {
  if (KeyMap[key].Playing) {
    SetVoiceFrequency(key, KeyMap[key].PitchBend ? BendValue : 64);
  }
}

} // namespace

LRESULT BendMessage(LPARAM lParam) {
  BendValue = MessageValue(lParam);
  // Keys that ignore the bend are re-tuned too, to the frequency they already have.
  for (int32_t key = 0; key < ZA32_KEYS; ++key) {
    if (KeyMap[key].Playing) {
      SetVoiceFrequency(key, BendValue);
    }
  }
  return 0;
}

LRESULT LoopMessage(LPARAM lParam) {
  if (KeyRecord* key = MessageKey(lParam)) {
    key->Loop = MessageValue(lParam);
    if (key->Playing) {
      ApplyVoiceLoop(LOWORD(lParam));
    }
  }
  return 0;
}

LRESULT BendEnableMessage(LPARAM lParam) {
  if (KeyRecord* key = MessageKey(lParam)) {
    key->PitchBend = MessageValue(lParam);
    RetuneKey(LOWORD(lParam));
  }
  return 0;
}

LRESULT VelocitySenseMessage(LPARAM lParam) {
  // Read by the next note message; a sounding voice keeps its velocity.
  if (KeyRecord* key = MessageKey(lParam)) {
    key->VelocitySense = MessageValue(lParam);
  }
  return 0;
}

LRESULT MuteMessage(LPARAM lParam) {
  if (KeyRecord* key = MessageKey(lParam)) {
    key->Mute = MessageValue(lParam);
    if (key->Playing) {
      ApplyVoiceMute(LOWORD(lParam));
    }
  }
  return 0;
}

LRESULT NotePitchMessage(LPARAM lParam) {
  if (KeyRecord* key = MessageKey(lParam)) {
    key->Note = MessageValue(lParam);
    RetuneKey(LOWORD(lParam));
  }
  return 0;
}

LRESULT FineTuneMessage(LPARAM lParam) {
  if (KeyRecord* key = MessageKey(lParam)) {
    key->FineTune = MessageValue(lParam);
    RetuneKey(LOWORD(lParam));
  }
  return 0;
}

LRESULT VolumeMessage(LPARAM lParam) {
  if (KeyRecord* key = MessageKey(lParam)) {
    key->Volume = MessageValue(lParam);
    SetVoiceVolume(lParam);
  }
  return 0;
}

LRESULT PanMessage(LPARAM lParam) {
  if (KeyRecord* key = MessageKey(lParam)) {
    key->Pan = MessageValue(lParam);
    SetVoicePan(lParam);
  }
  return 0;
}
