// The engine's records and the state every subsystem shares: one engine per process,
// every export and message works on this one set. Each global is defined in the file
// that owns it, named beside its declaration.
#pragma once

#include "za32.h"

// One loaded WAV file with its static sound buffer.
struct SampleRecord {
  BYTE* Data;
  DWORD DataSize;
  WAVEFORMATEX* Format;
  BOOL Looping;
  BOOL Playing;
  BOOL StickyFocus;
  IDirectSoundBuffer* Buffer;
  char Name[MAX_PATH];
  SampleRecord* Next;
};

// One voice slot: a duplicate of a sample's buffer while active.
struct VoiceRecord {
  int32_t SampleNumber;
  BOOL Active;
  int32_t Volume;
  int32_t Velocity;
  SampleRecord* Sample;
  IDirectSoundBuffer* Buffer;
};

extern KeyRecord KeyMap[ZA32_KEYS];         // performance/key_map.cpp
extern VoiceRecord VoiceTable[ZA32_VOICES]; // performance/notes.cpp
// Head of the sample list; not a sample. Its Format is PrimaryFormat and its Buffer
// is PrimaryBuffer (the device's); its Next is the first loaded sample.
extern SampleRecord SampleList;      // samples/sample_list.cpp
extern SampleRecord* AuditionSample; // performance/audition.cpp
extern int32_t BendValue;            // performance/parameter_messages.cpp
extern LPVOID SongBuffer;            // hostfiles/song_buffer.cpp

extern IDirectSound* SoundDevice; // engine/device.cpp
extern HWND EngineWindow;         // engine/window.cpp
extern HWND HostWindow;           // engine/window.cpp
extern HINSTANCE Instance;        // engine/window.cpp

// The caption of every message box, the window class name and the window title
// (engine/window.cpp).
extern const char EngineName[];
