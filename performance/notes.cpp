// Note messages, hold messages and the voices they start and stop. A failure box runs
// a modal loop in which the host's messages are handled, so every change to a key and
// its voice is complete before a box is shown.
#include "notes.h"

#include "../samples/samples.h"
#include "key_map.h"
#include "performance.h"
#include "voice_parameters.h"
#include "voice_rules.h"

VoiceRecord VoiceTable[ZA32_VOICES];

namespace {

void ReportPlayingFailure(const char* text) {
  MessageBoxA(EngineWindow, text, EngineName, MB_OK);
}

VoiceRecord* FreeVoice(int32_t* index) {
  for (int32_t v = 0; v < ZA32_VOICES; ++v) {
    if (!VoiceTable[v].Active) {
      *index = v;
      return &VoiceTable[v];
    }
  }
  return nullptr;
}

} // namespace

void ReportStopFailure() {
  ReportPlayingFailure("Error stopping playback");
}

void NoteOn(int32_t key, int32_t velocity) {
  if (!IsKeyIndex(key)) {
    return;
  }
  KeyRecord& record = KeyMap[key];
  if (record.SampleNumber == -1) {
    return;
  }
  int32_t voiceIndex;
  VoiceRecord* voice = FreeVoice(&voiceIndex);
  if (!voice) {
    return;
  }
  SampleRecord* sample = SampleAt(record.SampleNumber);
  if (!sample) {
    return;
  }
  // Samples outlive a closed device; without one there is nothing to duplicate on.
  IDirectSoundBuffer* duplicate = nullptr;
  const HRESULT duplicated = SoundDevice
                                 ? SoundDevice->DuplicateSoundBuffer(sample->Buffer, &duplicate)
                                 : DSERR_UNINITIALIZED;
  if (duplicated != DS_OK || !duplicate) {
    if (duplicate) {
      duplicate->Release(); // a success code other than DS_OK still counts as a failure
    }
    ReportPlayingFailure("Cannot create duplicate buffer");
    return;
  }

  voice->SampleNumber = record.SampleNumber;
  voice->Buffer = duplicate;
  voice->Sample = sample;
  voice->Active = TRUE;
  record.Voice = voiceIndex;
  record.Playing = TRUE;
  record.Released = FALSE;

  SetVoiceFrequency(key, BendValue);
  voice->Volume = LevelRule(velocity, record.Volume);
  voice->Velocity = velocity;
  duplicate->SetVolume(record.Mute ? DSBVOLUME_MIN : voice->Volume);
  duplicate->SetPan(PanRule(record.Pan));

  // From here on a failure leaves the key playing without sound until its note-off.
  if (duplicate->SetCurrentPosition(0) != DS_OK) {
    ReportPlayingFailure("Cannot set current position");
    return;
  }
  DWORD status = 0;
  if (duplicate->GetStatus(&status) != DS_OK || (status & DSBSTATUS_PLAYING)) {
    return;
  }
  if (duplicate->Play(0, 0, record.Loop ? DSBPLAY_LOOPING : 0) != DS_OK) {
    record.Playing = FALSE;
    voice->Active = FALSE;
    voice->Buffer = nullptr;
    duplicate->Release();
    ReportPlayingFailure("Cannot start playing");
  }
}

HRESULT StopVoice(VoiceRecord& voice) {
  IDirectSoundBuffer* duplicate = voice.Buffer;
  voice.Active = FALSE;
  voice.Buffer = nullptr;
  // Once the device is closed its buffers are gone with it: nothing is left to stop.
  if (!duplicate || !SoundDevice) {
    return DS_OK;
  }
  const HRESULT stopped = duplicate->Stop();
  duplicate->Release();
  return stopped;
}

HRESULT StopKeyVoice(int32_t key) {
  if (!IsKeyIndex(key)) {
    return DS_OK;
  }
  KeyRecord& record = KeyMap[key];
  // A silent key has no voice of its own: its Voice may name a slot another key took.
  if (record.SampleNumber == -1 || !record.Playing) {
    return DS_OK;
  }
  record.Released = TRUE;
  record.Playing = FALSE;
  return StopVoice(VoiceTable[record.Voice]);
}

void NoteOff(int32_t key) {
  if (StopKeyVoice(key) != DS_OK) {
    ReportStopFailure();
  }
}

LRESULT NoteMessage(int32_t keyCode, int32_t velocity) {
  int32_t key = 0;
  while (key < ZA32_KEYS && KeyMap[key].KeyCode != keyCode) {
    ++key;
  }
  if (key == ZA32_KEYS) {
    return 0;
  }
  KeyRecord& record = KeyMap[key];
  if (record.Hold) {
    if (velocity == 0) {
      record.Released = TRUE; // latched: the voice keeps sounding
      return 0;
    }
    if (record.Playing) {
      velocity = 0; // a second press of a held key stops it
    }
  }
  if (velocity != 0 && !record.VelocitySense) {
    velocity = 127;
  }
  if (velocity != 0 && !record.Playing) {
    NoteOn(key, velocity);
  } else if (velocity == 0 && record.Playing) {
    NoteOff(key);
  }
  return 0;
}

LRESULT HoldMessage(int32_t key, int32_t hold) {
  if (!IsKeyIndex(key)) {
    return 0;
  }
  KeyRecord& record = KeyMap[key];
  record.Hold = hold;
  // A held key whose note-off already came stops as soon as hold is switched off.
  if (record.Playing && record.Released && !record.Hold) {
    NoteOff(key);
  }
  return 0;
}

LONG WINAPI AllNotesOff(LONG) {
  for (int32_t key = 0; key < ZA32_KEYS; ++key) {
    if (KeyMap[key].Playing) {
      NoteOff(key);
    }
  }
  return 0;
}
