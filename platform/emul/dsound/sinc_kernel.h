// The windowed-sinc kernels of the high-quality resampler.
//
// A kernel is a Kaiser-windowed sinc (beta 6.76, about 70 dB of stop-band rejection) whose
// cut-off is the lower of the two Nyquist frequencies: the buffer's when it is played at
// or below the output rate, the output's when it is played faster. Played at or below the
// output rate it has 32 taps; played faster by a ratio r it is widened to 32 k taps with
// its cut-off lowered by k, k being r rounded up to 24 steps an octave (so no more than
// 3 % of the band is given up to the rounding). The transition band spans 0.865 to 1.135
// of the cut-off, so whatever lies below 0.865 of the output's Nyquist frequency comes out
// with its images and aliases at least 60 dB down (70 dB by design).
//
// The unwidened kernel is tabulated at 256 fractional positions with 257 rows; between
// rows the coefficients are interpolated linearly, which stays 80 dB below the signal. A
// kernel widened by k is k times smoother, so 256 / k positions (rounded up) keep its
// interpolation as far down: every table is then about as large, some 33 kB, and the
// tables of many voices played faster than the output stay in the cache together.
#pragma once

#include "dsound.h"
#include "formats.h"

#include <atomic>
#include <vector>

namespace dsemu {

struct SincKernel {
  static constexpr unsigned kPhases = 256; // the most positions a kernel has
  unsigned phases;                         // fractional positions: kPhases / k, rounded up
  unsigned taps;                           // a multiple of 8
  unsigned half;   // taps / 2: the kernel reads half - 1 frames before the cursor
  double widening; // k
  // (phases + 1) rows of `taps` coefficients, t = row / phases, starting on a cache line.
  const float* Rows() const { return storage.data() + offset; }

  std::vector<float> storage;
  size_t offset;
};

// The kernel for a buffer played at `frequency` into an output at `rate`; built on first
// use, then shared (it depends only on their ratio).
const SincKernel& SincKernelFor(DWORD frequency, DWORD rate = kOutputRate);

// Kernels depend on nothing but the grid step, so that private copies of the device in
// one process can share them: from now on a kernel is taken from `slots` (a table of
// `count` entries owned by the caller, null until filled, kept as long as the process),
// or made and put there for good. Called before mixing.
void ShareSincKernels(std::atomic<void*>* slots, size_t count);

// The taps of that kernel, without building it.
unsigned SincKernelTaps(DWORD frequency, DWORD rate);

// Every kernel built goes. Only while nothing mixes: a copy of the device that is
// about to be unloaded gives its memory back.
void ReleaseSincKernels();

// The ideal the tables approximate: the kernel's value at distance `distance` (in frames
// of the buffer) from the cursor, before the per-row normalisation. For tests.
double SincKernelValue(const SincKernel& kernel, double distance);

} // namespace dsemu
