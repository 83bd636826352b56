// The float mix to the sound device's 16 bits, a block at a time: the device's own
// rounding and clipping (dsemu::ToSample), sample for sample, in vector steps.
#pragma once

#include <cstddef>
#include <cstdint>

// Writes 2 * frames interleaved samples of `left` and `right` into `out` and returns the
// largest magnitude among them, 0 to 32768.
int ToDeviceSamples(const float* left, const float* right, size_t frames, int16_t* out);
