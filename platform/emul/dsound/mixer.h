// The mixer: every playing secondary buffer of every device, resampled to 44,100 Hz,
// scaled by its volume and pan (and its device's primary buffer's), summed and clipped
// into 16-bit stereo.
#pragma once

#include "device_control.h"

#include <cstddef>
#include <cstdint>

namespace dsemu {

// Mixes output frames `firstFrame` onwards, `frames` of them, into `out` (interleaved
// 16-bit stereo), applying each buffer command at its frame, and moves every cursor by
// them. With `out` null only the cursors move. StateLock() held.
void MixLocked(uint64_t firstFrame, size_t frames, int16_t* out, Quality quality);

} // namespace dsemu
