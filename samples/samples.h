// The sample store: the WAV reader, the list of loaded samples, each with its static
// sound buffer, and the global memory they live in. What the key map, the voices, the
// audition and the rate test use.
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

// A locked block of global memory allocated with `flags`, null when there is none; a
// block allocated but not lockable is freed again.
void* AllocateGlobalBlock(SIZE_T bytes, UINT flags);

// Unlocks and frees the block holding `memory`, as AllocateGlobalBlock gave it.
void FreeGlobalBlock(void* memory);

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

// Empties the list, leaving its records as they are: voices may still play them.
void ForgetSamples();

// The number of samples after the head.
LONG CountSamples(const SampleRecord* head);

// The sample at `number` (its position after the head), null when there is none.
SampleRecord* SampleAt(int32_t number);

// The position of the first, or the last, sample called `name`; -1 when none is.
int32_t FirstSampleNamed(LPCSTR name);
int32_t LastSampleNamed(LPCSTR name);

// True when the record is one of the list's samples.
bool IsLoadedSample(const SampleRecord* record);

// Unlinks the record and frees it with its format and data blocks; its buffer must be
// released first. A record not in the list is left alone. Returns 0. The keys must be
// renumbered afterwards.
LONG UnloadSample(SampleRecord* record, SampleRecord* head);

// Starts the sample's own buffer from its beginning, looping when its Looping is set.
// A buffer that plays already is only moved back to its start. 0, or the result of the
// failing device call; failures of the position and of Play are shown in plain boxes
// owned by `window`.
HRESULT PlaySample(HWND window, SampleRecord* sample);

// Frees a record that is in no list, with its format and data blocks; its buffer must be
// released first.
void FreeSampleRecord(SampleRecord* record);

// Stops the record's own buffer if it is playing. A failing stop is shown in a plain box
// owned by `window` and returned, leaving Playing set.
HRESULT StopSample(HWND window, SampleRecord* record);
