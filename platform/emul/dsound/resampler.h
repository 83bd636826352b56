// The resamplers: from a buffer's frequency to the output rate, scaled and added into
// the mix.
//
// The cursor is a whole frame and a fraction in output-rate-ths of a frame (see Cursor);
// each output frame moves it by exactly frequency / rate frames, in integers, so it never
// drifts. The fraction t = fraction / rate picks the interpolation:
//
// - equal rate (frequency = output rate, fraction 0): a copy, sample for sample;
// - fast: 4-point cubic Hermite (Catmull-Rom) through the frames x[-1], x[0], x[1], x[2]
//   around the cursor:
//     y = x[0] + t/2 (x[1] - x[-1]) + t^2 (x[-1] - 5/2 x[0] + 2 x[1] - 1/2 x[2])
//         + t^3 (3/2 (x[0] - x[1]) + 1/2 (x[2] - x[-1]))
//   Its images and aliases, for content at a given share of the buffer's own rate, are
//   down by: 1/4: 23 dB, 0.18: 32 dB, 1/10: 50 dB, 1/20: 70 dB (measured, and held by
//   the tests);
// - high: the windowed sinc of sinc_kernel.h, at least 32 taps.
//
// Each comes portable and in AVX2 and AVX-512; the set is chosen once at run time from
// what the processor has, so the build itself assumes only the baseline instruction set.
// The vector sets give the same results to within float rounding (the tests hold them to
// 2e-5 of full scale).
#pragma once

#include "formats.h"
#include "rate_divider.h"
#include "sinc_kernel.h"

#include <cstddef>
#include <cstdint>

namespace dsemu {

// One voice's share of a block of output.
struct VoiceRun {
  const float* left;  // the buffer decoded; index 0 is the first decoded frame
  const float* right; // the same as `left` for a mono buffer
  size_t start;       // where the cursor's whole frame is in the decoded run
  uint32_t fraction;  // the cursor's fraction, 0 .. rate - 1
  uint32_t frequency; // the buffer's frequency
  size_t frames;      // output frames to make
  float gainLeft;
  float gainRight;
  uint32_t rate = kOutputRate; // the output rate
};

// Each adds `run.frames` resampled and scaled frames to outLeft and outRight.
using MixFunction = void (*)(const VoiceRun& run, const SincKernel* kernel, float* outLeft,
                             float* outRight);

// Decodes `count` frames of interleaved 16-bit stereo into planar floats, full scale 1.0.
using DecodeStereo16Function = void (*)(const void* from, size_t count, float* left, float* right);

// As a MixFunction, reading 16-bit stereo where it lies instead of a decoded run: frame i
// of the run is at `frames` + 4 i (run.left and run.right are not read), and the frames up
// to kRunPadding past the last one the run needs must be there to read. The same sums as
// decoding first, bit for bit.
using Stereo16MixFunction = void (*)(const VoiceRun& run, const void* frames, float* outLeft,
                                     float* outRight);

// One of the runs an AddScaledFunction adds: frames at the output rate and their gains.
struct ScaledRun {
  const float* left;
  const float* right;
  float gainLeft;
  float gainRight;
};

// Adds `count` runs of `frames` frames each, scaled, into outLeft and outRight, one after
// another: the sums of equalRate on each run in turn, bit for bit, with each output frame
// read and written once for all of them.
using AddScaledFunction = void (*)(const ScaledRun* runs, size_t count, size_t frames,
                                   float* outLeft, float* outRight);

struct Resamplers {
  MixFunction equalRate; // frequency equal to the output rate and fraction 0 only
  MixFunction cubic;
  MixFunction sinc; // needs the kernel for run.frequency
  const char* name; // the instruction set the functions were chosen for
  DecodeStereo16Function decodeStereo16;
  Stereo16MixFunction cubicStereo16; // null: decode, then `cubic`
  AddScaledFunction addScaled;
};

// The fastest set this processor runs, chosen once at run time.
const Resamplers& ChosenResamplers();
// The portable set, for any processor.
const Resamplers& PortableResamplers();
// The AVX2 set, or null when the processor lacks AVX2 and FMA.
const Resamplers* Avx2Resamplers();
// The AVX-512 set, or null when the processor lacks AVX-512F.
const Resamplers* Avx512Resamplers();

// Where the interpolators read, relative to the cursor's whole frame: frames
// `cursor - before` up to `cursor + after` of the last output frame.
inline constexpr unsigned kRunPadding = 32;
inline constexpr unsigned kCubicBefore = 1;
inline constexpr unsigned kCubicAfter = 2;

// How many frames ahead of where they read 16-bit frames in place the vector loops ask for
// them (a prefetch, which never faults, so it may reach past a buffer's end). For one
// chunk, a voice reads only a few kB of its buffer before the next voice takes over. That
// is too brief for the processor's own prefetching to learn each stream, and a busy
// device's buffers are more than the caches hold. Without it, 25 voices' cubic spent a
// third of its time waiting for frames; 2 kB ahead did as well as any distance farther.
inline constexpr size_t kPrefetchFrames = 512;

} // namespace dsemu
