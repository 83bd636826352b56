// The sample store: the WAV reader and the list of loaded samples, each with its
// static sound buffer. What the key map, the voices, the audition and the rate test use.
#pragma once

#include "../engine/state.h"

// Results of ReadWaveFile besides 0 (success) and the multimedia I/O layer's own error
// codes (MMIOERR_*), which it passes on.
constexpr DWORD WaveErrBufferState = 1;    // taking the I/O buffer state failed
constexpr DWORD WaveErrNoMemory = 0xE000;  // no memory for the format or the data block
constexpr DWORD WaveErrOpen = 0xE100;      // the file cannot be opened
constexpr DWORD WaveErrNotWave = 0xE101;   // not RIFF "WAVE", or a short "fmt " chunk
constexpr DWORD WaveErrRead = 0xE102;      // the format fields cannot be read
constexpr DWORD WaveErrTruncated = 0xE103; // the file ends inside the "data" chunk

// Reads a RIFF "WAVE" file into a format block (WAVEFORMATEX, 18 + cbSize bytes) and a
// data block holding the "data" chunk verbatim, both fixed global memory that the caller
// frees. The outputs are 0/null on entry and on every failure; nothing stays allocated
// and no file stays open when it fails.
DWORD ReadWaveFile(LPCSTR fileName, DWORD* dataSize, WAVEFORMATEX** format, BYTE** data);

// Reads the file, makes its sound buffer and appends it to SampleList. 1 when loaded;
// -1 when it failed, which was already shown to the user. The focus returns to
// HostWindow either way. The name is kept exactly as given; it is not looked up first.
LONG LoadSample(LPCSTR fileName);

// Creates the record's static buffer (flags 0x101E2, plus sticky focus when asked)
// holding a copy of its data, at full volume and centre pan. 0, or the failing device
// call's result with Buffer null.
HRESULT CreateSampleBuffer(SampleRecord* record);

// Releases the record's buffer, if any. Returns 0.
LONG ReleaseSampleBuffer(SampleRecord* record);

// Links the record at the end of the list, not playing. Returns 0.
LONG AppendSample(SampleRecord* head, SampleRecord* record);

// The number of samples after the head.
LONG CountSamples(const SampleRecord* head);

// Unlinks the record and frees it with its format and data blocks; its buffer must be
// released first. A record not in the list is left alone. Returns 0. The keys must be
// renumbered afterwards.
LONG UnloadSample(SampleRecord* record, SampleRecord* head);

// Stops the record's own buffer if it is playing. A failing stop is shown in a plain box
// owned by `window` and returned, leaving Playing set.
HRESULT StopSample(HWND window, SampleRecord* record);
