// The device clock: what moves the play cursors and where the mixed sound goes.
#pragma once

#include <cstdint>
#include <optional>

namespace dsemu {

// A device object was initialised / is gone. The first starts the clock chosen by
// SelectOutput, the last stops it, after the output has played all that was mixed.
// ClockAcquire is false, having said why on standard error, when the chosen output
// cannot run. Called without StateLock() held.
bool ClockAcquire();
void ClockRelease();

// The output frame at which a buffer command made now takes effect; none when it takes
// effect at once (the manual clock). StateLock() held.
std::optional<uint64_t> CommandFrameLocked();

// Waits until the running clock has mixed every frame before `frame`, or a second has
// passed; at once without a real-time clock. Called without StateLock() held.
void WaitUntilMixed(uint64_t frame);

} // namespace dsemu
