// How play cursors move with the output clock.
#pragma once

#include "objects.h"

#include <cstdint>

namespace dsemu {

// Output frames mixed at a time by the real-time clocks; the write cursor runs this far
// ahead of the play cursor.
inline constexpr unsigned kPeriodFrames = 256;

// Moves a playing buffer's cursor by `outputFrames` frames of the output. A looping buffer
// wraps; a one-shot buffer stops at its end with the cursor back at 0. Returns the cursor
// as it leaves it, in registers: read back from the buffer at once, the load would wait
// for the stores just made. StateLock() held.
Cursor MoveCursor(Buffer& buffer, uint64_t outputFrames);

// How many of the next `outputFrames` output frames a playing buffer sounds for: all of
// them when it loops, up to its end when it plays once. Changes nothing.
uint64_t SoundingFrames(const Buffer& buffer, uint64_t outputFrames);

// The write cursor, in bytes: where data may be written without being played before the
// next period. StateLock() held.
DWORD WriteCursorBytes(const Buffer& buffer);

} // namespace dsemu
