#include "decode.h"

#include <algorithm>
#include <cstring>

namespace dsemu {
namespace {

inline float Sample(Encoding encoding, const BYTE* at) {
  switch (encoding) {
  case Encoding::U8:
    return (static_cast<int>(*at) - 128) * (1.0f / 128);
  case Encoding::S16: {
    int16_t value;
    std::memcpy(&value, at, 2);
    return value * (1.0f / 32768);
  }
  case Encoding::S24: {
    const int32_t value = static_cast<int32_t>((uint32_t{at[0]} << 8) | (uint32_t{at[1]} << 16) |
                                               (uint32_t{at[2]} << 24));
    return static_cast<float>(value >> 8) * (1.0f / 8388608);
  }
  case Encoding::S32: {
    int32_t value;
    std::memcpy(&value, at, 4);
    return static_cast<float>(value) * (1.0f / 2147483648.0f);
  }
  case Encoding::F32: {
    float value;
    std::memcpy(&value, at, 4);
    // Out-of-range and non-finite floats must not poison the mix.
    if (!(value >= -1.0f))
      return value < 0 ? -1.0f : (value != value ? 0.0f : -1.0f);
    return value > 1.0f ? 1.0f : value;
  }
  }
  return 0.0f;
}

// A straight run of frames inside the data.
template <Encoding E>
void DecodeRun(const BYTE* from, unsigned channels, unsigned blockAlign, size_t count, float* left,
               float* right) {
  const unsigned width = blockAlign / channels;
  if (channels == 1) {
    for (size_t i = 0; i < count; ++i)
      left[i] = Sample(E, from + i * blockAlign);
    if (right)
      std::memcpy(right, left, count * sizeof(float));
    return;
  }
  for (size_t i = 0; i < count; ++i) {
    left[i] = Sample(E, from + i * blockAlign);
    const float second = Sample(E, from + i * blockAlign + width);
    if (right)
      right[i] = second;
  }
}

// 16-bit data, the common case, in loops the compiler turns into vector code. The
// bytes are read as 16-bit values through a type that may alias them.
typedef int16_t __attribute__((may_alias, aligned(1))) UnalignedInt16;

void DecodeRun16(const BYTE* from, unsigned channels, size_t count, float* left, float* right) {
  const auto* values = reinterpret_cast<const UnalignedInt16*>(from);
  if (channels == 1) {
    for (size_t i = 0; i < count; ++i)
      left[i] = values[i] * (1.0f / 32768);
    if (right)
      std::memcpy(right, left, count * sizeof(float));
  } else if (right) {
    for (size_t i = 0; i < count; ++i) {
      left[i] = values[2 * i] * (1.0f / 32768);
      right[i] = values[2 * i + 1] * (1.0f / 32768);
    }
  } else {
    for (size_t i = 0; i < count; ++i)
      left[i] = values[2 * i] * (1.0f / 32768);
  }
}

void DecodeRun(const SampleFormat& format, const BYTE* from, size_t count, float* left,
               float* right) {
  switch (format.encoding) {
  case Encoding::U8:
    return DecodeRun<Encoding::U8>(from, format.channels, format.blockAlign, count, left, right);
  case Encoding::S16:
    return DecodeRun16(from, format.channels, count, left, right);
  case Encoding::S24:
    return DecodeRun<Encoding::S24>(from, format.channels, format.blockAlign, count, left, right);
  case Encoding::S32:
    return DecodeRun<Encoding::S32>(from, format.channels, format.blockAlign, count, left, right);
  case Encoding::F32:
    return DecodeRun<Encoding::F32>(from, format.channels, format.blockAlign, count, left, right);
  }
}

} // namespace

void DecodeFrames(const SampleFormat& format, const BYTE* data, size_t frames, bool looping,
                  int64_t first, size_t count, float* left, float* right) {
  size_t done = 0;
  while (done < count) {
    int64_t index = first + static_cast<int64_t>(done);
    size_t run;
    if (looping && frames > 0) {
      index %= static_cast<int64_t>(frames);
      if (index < 0)
        index += static_cast<int64_t>(frames);
      run = std::min(count - done, frames - static_cast<size_t>(index));
    } else if (index < 0 || index >= static_cast<int64_t>(frames)) {
      // Silence up to the data, or to the end of the request.
      run = index < 0 ? std::min<size_t>(count - done, static_cast<size_t>(-index)) : count - done;
      std::fill(left + done, left + done + run, 0.0f);
      if (right)
        std::fill(right + done, right + done + run, 0.0f);
      done += run;
      continue;
    } else {
      run = std::min(count - done, frames - static_cast<size_t>(index));
    }
    DecodeRun(format, data + static_cast<size_t>(index) * format.blockAlign, run, left + done,
              right ? right + done : nullptr);
    done += run;
  }
}

} // namespace dsemu
