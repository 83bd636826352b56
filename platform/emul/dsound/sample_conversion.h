// The device's one conversion of its float mix to 16-bit samples, shared with the hosts
// that take the float mix and want the same samples the device would have made.
#pragma once

#include <cstdint>
#include <cstring>

namespace dsemu {

// Full scale 1.0 to 16 bits, clipped, rounded to nearest (ties to even): adding
// 1.5 * 2^23 leaves the rounded integer in the low bits of the float. No branches, so a
// loop of it vectorises.
inline int16_t ToSample(float value) {
  float scaled = value * 32768.0f;
  scaled = scaled < -32768.0f ? -32768.0f : scaled;
  scaled = scaled > 32767.0f ? 32767.0f : scaled;
  const float shifted = scaled + 12582912.0f;
  int32_t bits;
  std::memcpy(&bits, &shifted, sizeof bits);
  return static_cast<int16_t>(bits - 0x4B400000);
}

} // namespace dsemu
