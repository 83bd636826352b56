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
  CreateDevice, // CoCreateInstance / DirectSoundCreate of the device object itself
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
void FailNth(Call call, unsigned n, HRESULT result); // n = 1 is the next call
void FailAlways(Call call, HRESULT result);
void ClearFaults();
unsigned CallCount(Call call); // calls made since the last ResetCallCounts
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
  DWORD position;                  // play cursor in bytes
  IDirectSoundBuffer* duplicateOf; // null for an original
  ULONG references;
};

std::vector<BufferState> LiveBuffers();
size_t LiveBufferCount();
size_t LiveDeviceCount();
bool QueryBuffer(IDirectSoundBuffer* buffer, BufferState* state);

// Where the mixed sound goes and what moves the play cursors. Chosen before the
// device object is created; ZA32_AUDIO=manual|null|sdl|jack chooses it for any host
// ("live" is the same as "sdl"). Live is the system's audio output through SDL2; Jack
// a client "za32" of the running JACK server (as JACK_DEFAULT_SERVER names it) with
// ports out_1 and out_2, connected to the server's playback ports.
enum class Output { Manual, Null, Live, Jack };
void SelectOutput(Output output);
Output SelectedOutput();
// Output frames a real-time period asks for (SDL and null; JACK takes the server's);
// 0 for the default, kDefaultPeriodFrames. Takes effect at the next start.
void SelectPeriod(unsigned frames);
inline constexpr unsigned kDefaultPeriodFrames = 128;
// The period of the running output, in frames; 0 while none runs.
unsigned RunningPeriod();

enum class Quality { Fast, High };
void SelectQuality(Quality quality);

// The output rate the device mixes at, 22,050 to 192,000 Hz (44,100 unless chosen). The
// engine still sees its 44,100 Hz primary buffer; every buffer is resampled from its
// frequency to this rate, so it keeps its pitch and length. Chosen before the first
// device is initialised: false, changing nothing, while one is or for a rate out of range.
inline constexpr uint32_t kMinOutputRate = 22050;
inline constexpr uint32_t kMaxOutputRate = 192000;
bool SelectOutputRate(uint32_t rate);
uint32_t OutputRate();

// Manual clock: advance the device by `frames` output frames (OutputRate() a second),
// mixing into `out` (interleaved 16-bit stereo, 2 * frames values) when it is not null.
void AdvanceFrames(size_t frames, int16_t* out);

// The float mix, before the 16-bit step: planar, unclipped, full scale 1.0. Each buffer
// plays into a bus (SetBufferBus, 0 by default); with `count` 1 every bus is summed into
// left[0] and right[0], else bus b goes to left[b] and right[b], and a bus whose pair is
// null (or at or past `count`) is not mixed. Converted by ToSample (sample_conversion.h),
// the sum of every bus is AdvanceFrames' mix, sample for sample.
inline constexpr unsigned kMaxBuses = 16;
struct FloatBuses {
  unsigned count = 1;
  float* left[kMaxBuses] = {};
  float* right[kMaxBuses] = {};
};
// Manual clock: advance by `frames` frames, adding the mix into `out` (frames values in
// each channel given).
void AdvanceFramesInto(size_t frames, const FloatBuses& out);
// The bus (0 .. kMaxBuses - 1) a live buffer plays into from now on; false when the
// buffer is not live or the bus is out of range.
bool SetBufferBus(IDirectSoundBuffer* buffer, unsigned bus);

// For a private copy of the device that one thread at a time uses, on the manual clock
// (an engine instance): the device takes no lock from now on. Only before any device or
// buffer exists (false otherwise, changing nothing); for good.
bool SelectUnguardedState();

// Readies the device for mixing in real time without allocating: `voices` duplicates
// pooled, the live-buffer list and the mixer's scratch reserved for the output rate, and
// the sinc kernels built for every frequency from `lowest` to `highest`. Call with a
// device initialised, off the audio thread.
void PrepareForRealTime(unsigned voices, DWORD lowest, DWORD highest);
// Gives back what PrepareForRealTime and the mixing keep (pool, scratch, kernels), once
// no device is left; for a private copy of the device about to be unloaded.
void ReleaseRealTimeMemory();

// The clock running now, with the output it really uses (Live falls back to Null where
// no audio device can be opened); false while no device is initialised. The output and
// quality chosen take effect when the first device is initialised. Without a choice the
// manual clock renders at High quality; the real-time clocks start at High and drop to
// Fast for good if a period takes more than half its length to mix.
bool RunningOutput(Output* output);

// Output frames the running clock has moved the devices by since it started.
uint64_t ClockFrames();

// Sample-accurate timing. Each buffer command (Play, Stop, SetCurrentPosition,
// SetVolume, SetPan, SetFrequency) is stamped with an output frame: the due frame of the
// message being dispatched (emul::PostMessageAtFrame) or else the output clock's
// position when the call is made. On a real-time output the mixer applies it exactly
// CommandLatency() frames after its stamp (one period), or at the next frame it mixes
// when that is already past (a late command). On the manual clock commands take effect
// at once, at the frame the clock stands at.
//
// The output clock's position now, in frames since the output started: the frame being
// heard, as well as the output can tell (JACK exactly, the others from the wall clock
// since the last period).
uint64_t OutputFrameNow();
unsigned CommandLatency();
// Commands applied later than their stamp asked for, since the output started.
uint64_t LateCommands();
// The output frame of a JACK frame time (jack_last_frame_time + an event's offset) while
// the JACK output runs; false otherwise. It takes the device's lock, which the mixing
// holds for a period: call it from the host's thread, with times a process callback
// noted, rather than from the callback itself.
bool OutputFrameOfJackTime(uint32_t jackFrameTime, uint64_t* frame);

// Waits until the running clock has moved the devices by `frames` more frames; false if
// `timeoutMilliseconds` passes first.
bool WaitForFrames(size_t frames, unsigned timeoutMilliseconds);

// Every frame mixed from now on, by any clock, is also written to a 16-bit stereo
// 44,100 Hz WAV file at `path` until StopWavCapture. False when the file cannot be made;
// StopWavCapture is false when the file could not be finished.
bool StartWavCapture(const char* path);
bool StopWavCapture();

} // namespace dsemu
