// The host's view of the engine: its exported functions, the messages the host posts
// to the engine window, and the two records that cross the module boundary.
#pragma once

#include "../platform/win32.h"

#include <cstddef>
#include <cstdint>

// Messages posted by the host to the engine window. The word parameter is ignored;
// the long parameter carries a key code or key index in its low word and a value in
// its high word.
#define AM_NOTE (WM_USER + 32)          // 0x420: key code, velocity (0 is a note-off)
#define AM_BEND (WM_USER + 35)          // 0x423: ignored, new bend value
#define AM_LOOP (WM_USER + 36)          // 0x424
#define AM_BENDENABLE (WM_USER + 37)    // 0x425
#define AM_VELOCITYSENSE (WM_USER + 38) // 0x426
#define AM_MUTE (WM_USER + 39)          // 0x427
#define AM_HOLD (WM_USER + 40)          // 0x428
#define AM_NOTEPITCH (WM_USER + 41)     // 0x429
#define AM_FINETUNE (WM_USER + 42)      // 0x42A
#define AM_VOLUME (WM_USER + 43)        // 0x42B
#define AM_PAN (WM_USER + 44)           // 0x42C

#define ZA32_KEYS 25
#define ZA32_VOICES 25
#define ZA32_MAX_SAMPLES 26

// One key (pad), 312 bytes, laid out exactly as the host builds it.
struct KeyRecord {
  char SampleName[256]; // WAV file name; empty: no sample
  int32_t Voice;        // voice last started for this key, -1 when emptied (engine's)
  int32_t SampleNumber; // position of the key's sample in the sample list, -1 none (engine's)
  int32_t KeyCode;      // matched against the low word of AM_NOTE
  int32_t Volume;       // 0..127, -1 read as 127
  int32_t Pan;          // 0 left, 64 centre, 127 right
  int32_t Note;         // 0..143, 60 plays the sample at its own rate
  int32_t FineTune;     // 0..100, 50 no detune
  int32_t Loop;
  int32_t PitchBend;
  int32_t VelocitySense;
  int32_t Mute;
  int32_t Hold;
  int32_t Playing;  // engine's
  int32_t Released; // engine's
};

static_assert(sizeof(KeyRecord) == 312);
static_assert(offsetof(KeyRecord, SampleName) == 0);
static_assert(offsetof(KeyRecord, Voice) == 256);
static_assert(offsetof(KeyRecord, SampleNumber) == 260);
static_assert(offsetof(KeyRecord, KeyCode) == 264);
static_assert(offsetof(KeyRecord, Volume) == 268);
static_assert(offsetof(KeyRecord, Pan) == 272);
static_assert(offsetof(KeyRecord, Note) == 276);
static_assert(offsetof(KeyRecord, FineTune) == 280);
static_assert(offsetof(KeyRecord, Loop) == 284);
static_assert(offsetof(KeyRecord, PitchBend) == 288);
static_assert(offsetof(KeyRecord, VelocitySense) == 292);
static_assert(offsetof(KeyRecord, Mute) == 296);
static_assert(offsetof(KeyRecord, Hold) == 300);
static_assert(offsetof(KeyRecord, Playing) == 304);
static_assert(offsetof(KeyRecord, Released) == 308);

// The host's record for the song file functions; the engine uses its first 576 bytes.
struct SongFileRecord {
  char Path[280];
  char Directory[280];
  uint32_t Size;
  int32_t Reserved;
  int32_t AskUser;
  int32_t Exists;
};

static_assert(sizeof(SongFileRecord) == 576);
static_assert(offsetof(SongFileRecord, Path) == 0);
static_assert(offsetof(SongFileRecord, Directory) == 280);
static_assert(offsetof(SongFileRecord, Size) == 560);
static_assert(offsetof(SongFileRecord, Reserved) == 564);
static_assert(offsetof(SongFileRecord, AskUser) == 568);
static_assert(offsetof(SongFileRecord, Exists) == 572);

extern "C" {
LRESULT WINAPI AudioDLLWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
HWND WINAPI AudioInit(HINSTANCE instance, HWND hostWindow);
LONG WINAPI AudioTerm(LONG ignored);
LONG WINAPI StartAudition(LPCSTR fileName);
LONG WINAPI StopAudition(LONG ignored);
LONG WINAPI StartTest(LONG ignored, LONG seconds);
LONG WINAPI PassPointer(LPVOID songBuffer);
LONG WINAPI ReadFileContents(SongFileRecord* record);
LONG WINAPI WriteFileContents(SongFileRecord* record);
LONG WINAPI GetSongFileName(SongFileRecord* record);
LONG WINAPI GetSaveSongFileName(SongFileRecord* record);
LONG WINAPI InitialiseKeyMap(const KeyRecord* keys);
LONG WINAPI UpdateKey(const KeyRecord* key, LONG keyIndex);
LONG WINAPI GetSampleNumber(LONG keyIndex);
LONG WINAPI AllNotesOff(LONG ignored);
LONG WINAPI FindCD(LPSTR buffer);
LONG WINAPI GetDirectory(LPSTR buffer);
LONG WINAPI SetDirectory(LPCSTR path);
LONG WINAPI GetFileList(LPSTR buffer);

// Sized forms of ReadFileContents and GetFileList for hosts that pass their buffer's
// capacity: they never write past it (hostfiles/hostfiles.h tells their results).
LONG WINAPI ReadFileContentsEx(SongFileRecord* record, DWORD capacity);
LONG WINAPI GetFileListEx(LPSTR buffer, DWORD capacity);
}
