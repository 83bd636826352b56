// Where a render puts what the device mixes: interleaved 16-bit frames.
#pragma once

#include <cstdint>
#include <span>

class FrameSink {
public:
  virtual ~FrameSink() = default;
  virtual void Write(std::span<const int16_t> samples) = 0;
};
