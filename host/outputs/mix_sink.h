// Where a render puts the mix: a block of planar float frames, unclipped, beside the same
// block as the sound device's 16-bit step makes it (interleaved stereo).
#pragma once

#include <cstddef>
#include <cstdint>

struct MixBlock {
  const float* left;
  const float* right;
  const int16_t* device; // 2 * frames values
  size_t frames;
};

class MixSink {
public:
  virtual ~MixSink() = default;
  virtual void Write(const MixBlock& block) = 0;
};
