// The device clock: what moves the play cursors and where the mixed sound goes.
#pragma once

namespace dsemu {

// A device object was initialised / is gone. The first starts the clock chosen by
// SelectOutput, the last stops it. Called without StateLock() held.
void ClockAcquire();
void ClockRelease();

} // namespace dsemu
