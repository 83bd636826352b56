// Applying a key's settings to the voice that sounds it. The device's answers to these
// calls are ignored: the key record holds the value.
#include "voice_parameters.h"

#include "key_map.h"
#include "voice_rules.h"

void SetVoiceFrequency(int32_t key, int32_t bend) {
  const KeyRecord& record = KeyMap[key];
  VoiceRecord& voice = VoiceTable[record.Voice];
  DWORD frequency;
  if (KeyFrequency(voice.Sample->Format->nSamplesPerSec, record, bend, &frequency)) {
    voice.Buffer->SetFrequency(frequency);
  }
}

void SetVoiceVolume(int32_t key) {
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

void SetVoicePan(int32_t key) {
  if (IsKeyIndex(key) && KeyMap[key].Playing) {
    VoiceTable[KeyMap[key].Voice].Buffer->SetPan(PanRule(KeyMap[key].Pan));
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
