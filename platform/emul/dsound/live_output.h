// The system's audio output, through SDL2 (ALSA, PulseAudio, PipeWire, ...).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace dsemu {

// Calls `fill` from the audio thread for each period of at most 256 frames of 44,100 Hz
// 16-bit stereo. False, with the reason, when no output device can be opened.
bool OpenLiveOutput(void (*fill)(int16_t* frames, size_t count), std::string* reason);
// Stops the calls and closes the device. Must not be called with a lock `fill` takes.
void CloseLiveOutput();

} // namespace dsemu
