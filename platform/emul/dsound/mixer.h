// The mixer: every playing secondary buffer of every device, resampled to the output
// rate, scaled by its volume and pan (and its device's primary buffer's) and summed:
// clipped into 16-bit stereo, or added unclipped into float buses.
#pragma once

#include "device_control.h"

#include <cstddef>
#include <cstdint>

namespace dsemu {

// Where a mix goes: interleaved 16-bit stereo (2 * frames values), or the float buses
// (each buffer into its own, or all into bus 0 when `buses->count` is 1), or nowhere
// (only the cursors move).
struct MixTarget {
  int16_t* interleaved = nullptr;
  const FloatBuses* buses = nullptr;
};

// Mixes output frames `firstFrame` onwards, `frames` of them, into `target`, applying
// each buffer command at its frame, and moves every cursor by them. StateLock() held.
void MixLocked(uint64_t firstFrame, size_t frames, MixTarget target, Quality quality);
inline void MixLocked(uint64_t firstFrame, size_t frames, int16_t* out, Quality quality) {
  MixLocked(firstFrame, frames, MixTarget{out, nullptr}, quality);
}

// Makes room in the mixer's scratch for any voice a chunk can play at the output rate,
// up to the fastest frequency a buffer may have, so that mixing allocates nothing.
void ReserveMixScratch();
// Gives the scratch's memory back. Only while nothing mixes.
void ReleaseMixScratch();

} // namespace dsemu
