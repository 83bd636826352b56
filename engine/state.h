// The engine's records and global state: one engine per process, every export and
// message works on this one set.
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

extern KeyRecord KeyMap[ZA32_KEYS];
extern VoiceRecord VoiceTable[ZA32_VOICES];
// Head of the sample list; not a sample. Its Format is PrimaryFormat and its Buffer
// is PrimaryBuffer; its Next is the first loaded sample.
extern SampleRecord SampleList;

extern HWND EngineWindow;
extern HWND HostWindow;
extern HINSTANCE Instance;
extern IDirectSound* SoundDevice;
extern IDirectSoundBuffer*& PrimaryBuffer; // SampleList.Buffer
extern WAVEFORMATEX*& PrimaryFormat;       // SampleList.Format
extern int32_t BendValue;
extern SampleRecord* AuditionSample;
extern LPVOID SongBuffer;

// The size of a song file that the host was told of (GetSongFileName) or wrote from its
// song buffer (WriteFileContents): the buffer then holds at least that many bytes, so a
// later ReadFileContents of the same path never reads more into it. Known is 0 until then.
struct SongSizeRecord {
  char Path[280];
  DWORD Size;
  BOOL Known;
};
extern SongSizeRecord KnownSongSize;

extern const float SemitoneRatios[12];
extern const float OctaveFactors[12];

// The caption of every message box, the window class name and the window title.
extern const char EngineName[];

// Puts every record and value back as it is when the module is loaded. For tests and
// fuzzing only: it frees nothing and releases nothing.
void ResetEngineState();
