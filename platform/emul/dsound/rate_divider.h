// Division by the output rate by one multiplication, for the mixer's every-frame and
// every-block arithmetic: a sinc kernel's row, fraction * phases / rate, and a cursor's
// move over a short block.
#pragma once

#include <cstdint>

namespace dsemu {

// Exact for every numerator below 2^26 (a rate up to 192,000 < 2^18 times 256, or a
// fraction plus a block of under 256 frames at any frequency a buffer may have): the
// multiplier is rounded up from 2^44 / rate, which gives the floor for every numerator
// below 2^(44 - 18).
struct RateDivider {
  static constexpr uint32_t kExactBelow = uint32_t{1} << 26;
  constexpr explicit RateDivider(uint32_t divisor)
      : magic(((uint64_t{1} << 44) + divisor - 1) / divisor), rate(divisor) {}
  constexpr uint32_t Quotient(uint32_t scaled) const {
    return static_cast<uint32_t>((scaled * magic) >> 44);
  }
  uint64_t magic;
  uint32_t rate;
};

} // namespace dsemu
