// The WAV file that mixed frames may also be written to (StartWavCapture).
#pragma once

#include <cstddef>
#include <cstdint>

namespace dsemu {

// True while a capture file is open; cheap, for deciding whether to mix at all.
bool WavCaptureOpen();
// Appends interleaved 16-bit stereo frames to the capture file, if one is open.
void WriteToWavCapture(const int16_t* frames, size_t count);

} // namespace dsemu
