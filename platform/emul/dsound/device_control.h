// What hosts and tests may do with the software sound device beyond DirectSound's own
// interface: choose its clock and output, drive the manual clock, look at live buffers
// and make chosen calls fail.
#pragma once

#include "dsound.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace dsemu {

// Every device call that can be made to fail.
enum class Call {
  CreateDevice,  // CoCreateInstance / DirectSoundCreate of the device object itself
  Initialize,
  SetCooperativeLevel,
  CreateSoundBuffer,
  DuplicateSoundBuffer,
  SetFormat,
  Play,
  Stop,
  GetStatus,
  SetCurrentPosition,
  GetCurrentPosition,
  Lock,
  Unlock,
  SetVolume,
  SetPan,
  SetFrequency,
  Count_
};

// Fault injection. A failing call returns `result` and changes nothing.
void FailNext(Call call, HRESULT result);
void FailNth(Call call, unsigned n, HRESULT result);  // n = 1 is the next call
void FailAlways(Call call, HRESULT result);
void ClearFaults();
unsigned CallCount(Call call);  // calls made since the last ResetCallCounts
void ResetCallCounts();

struct BufferState {
  IDirectSoundBuffer* buffer;
  bool primary;
  DWORD size;  // bytes
  DWORD flags; // DSBCAPS_*
  WAVEFORMATEX format;
  DWORD frequency;
  LONG volume;
  LONG pan;
  bool playing;
  bool looping;
  DWORD position; // play cursor in bytes
  IDirectSoundBuffer* duplicateOf; // null for an original
  ULONG references;
};

std::vector<BufferState> LiveBuffers();
size_t LiveBufferCount();
size_t LiveDeviceCount();
bool QueryBuffer(IDirectSoundBuffer* buffer, BufferState* state);

// Where the mixed sound goes and what moves the play cursors. Chosen before the
// device object is created; ZA32_AUDIO=manual|null|live chooses it for any host.
enum class Output { Manual, Null, Live };
void SelectOutput(Output output);
Output SelectedOutput();

enum class Quality { Fast, High };
void SelectQuality(Quality quality);

// Manual clock: advance the device by `frames` output frames (44,100 a second),
// mixing into `out` (interleaved 16-bit stereo, 2 * frames values) when it is not null.
void AdvanceFrames(size_t frames, int16_t* out);

} // namespace dsemu
