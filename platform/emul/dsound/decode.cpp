#include "decode.h"

#include "resampler.h"

#include <algorithm>
#include <cstring>

namespace dsemu {
namespace {

// Out-of-range and non-finite floats must not poison the mix.
inline float Limited(float value) {
  if (value != value)
    return 0.0f;
  return value < -1.0f ? -1.0f : (value > 1.0f ? 1.0f : value);
}

// One reader a sample encoding: a sample's bytes to a float, full scale 1.0.
struct ReadU8 {
  float operator()(const BYTE* at) const { return (static_cast<int>(*at) - 128) * (1.0f / 128); }
};

struct ReadS16 {
  float operator()(const BYTE* at) const {
    int16_t value;
    std::memcpy(&value, at, 2);
    return value * (1.0f / 32768);
  }
};

// Signed integers of any size: the bytes go to the top of 64 bits, so that one scale
// serves every size; the conversion to float rounds once.
inline float SignedSample(const BYTE* at, unsigned bytes) {
  uint64_t bits = 0;
  for (unsigned i = 0; i < bytes; ++i)
    bits |= uint64_t{at[i]} << (64 - 8 * (bytes - i));
  return static_cast<float>(static_cast<int64_t>(bits)) * 0x1p-63f;
}

template <unsigned Bytes> struct ReadSigned {
  float operator()(const BYTE* at) const { return SignedSample(at, Bytes); }
};

struct ReadWideSigned {
  unsigned bytes;
  float operator()(const BYTE* at) const { return SignedSample(at, bytes); }
};

struct ReadF16 {
  float operator()(const BYTE* at) const {
    const uint32_t half = uint32_t{at[0]} | uint32_t{at[1]} << 8;
    const uint32_t sign = (half & 0x8000u) << 16;
    const uint32_t exponent = (half >> 10) & 0x1F;
    const uint32_t mantissa = half & 0x3FF;
    if (exponent == 0) { // zero or subnormal: exact as a float
      const float value = mantissa * 0x1p-24f;
      return sign ? -value : value;
    }
    const uint32_t bits =
        sign | (exponent == 0x1F ? 0xFFu << 23 : (exponent + 112) << 23) | mantissa << 13;
    float value;
    std::memcpy(&value, &bits, 4);
    return Limited(value);
  }
};

struct ReadF32 {
  float operator()(const BYTE* at) const {
    float value;
    std::memcpy(&value, at, 4);
    return Limited(value);
  }
};

struct ReadF64 {
  float operator()(const BYTE* at) const {
    double value;
    std::memcpy(&value, at, 8);
    return Limited(static_cast<float>(value));
  }
};

// A straight run of frames inside the data. More than two channels fold to stereo
// with the format's weights (channel_fold.h).
template <typename Read>
void DecodeRun(Read read, const SampleFormat& format, const BYTE* from, size_t count, float* left,
               float* right) {
  const unsigned channels = format.channels;
  const unsigned blockAlign = format.blockAlign;
  if (channels == 1) {
    for (size_t i = 0; i < count; ++i)
      left[i] = read(from + i * blockAlign);
    if (right)
      std::memcpy(right, left, count * sizeof(float));
    return;
  }
  if (channels == 2) {
    const unsigned width = format.sampleBytes;
    for (size_t i = 0; i < count; ++i) {
      left[i] = read(from + i * blockAlign);
      if (right)
        right[i] = read(from + i * blockAlign + width);
    }
    return;
  }
  const float* toLeft = format.foldLeft.data();
  const float* toRight = format.foldRight.data();
  for (size_t i = 0; i < count; ++i) {
    const BYTE* frame = from + i * blockAlign;
    float sumLeft = 0.0f;
    float sumRight = 0.0f;
    for (unsigned channel = 0; channel < channels; ++channel) {
      const float value = read(frame + channel * format.sampleBytes);
      sumLeft += toLeft[channel] * value;
      sumRight += toRight[channel] * value;
    }
    left[i] = sumLeft;
    if (right)
      right[i] = sumRight;
  }
}

// 16-bit mono and stereo, the common case, in loops the compiler turns into vector
// code, stereo by the processor's own instruction set. The bytes are read as 16-bit values through
// a type that may alias them.
typedef int16_t __attribute__((may_alias, aligned(1))) UnalignedInt16;

void DecodeRun16(const BYTE* from, unsigned channels, size_t count, float* left, float* right) {
  const auto* values = reinterpret_cast<const UnalignedInt16*>(from);
  if (channels == 1) {
    for (size_t i = 0; i < count; ++i)
      left[i] = values[i] * (1.0f / 32768);
    if (right)
      std::memcpy(right, left, count * sizeof(float));
  } else if (right) {
    ChosenResamplers().decodeStereo16(from, count, left, right);
  } else {
    for (size_t i = 0; i < count; ++i)
      left[i] = values[2 * i] * (1.0f / 32768);
  }
}

void DecodeRun(const SampleFormat& format, const BYTE* from, size_t count, float* left,
               float* right) {
  switch (format.encoding) {
  case Encoding::U8:
    return DecodeRun(ReadU8{}, format, from, count, left, right);
  case Encoding::S16:
    if (format.channels <= 2)
      return DecodeRun16(from, format.channels, count, left, right);
    return DecodeRun(ReadS16{}, format, from, count, left, right);
  case Encoding::SignedInt:
    if (format.sampleBytes == 3)
      return DecodeRun(ReadSigned<3>{}, format, from, count, left, right);
    if (format.sampleBytes == 4)
      return DecodeRun(ReadSigned<4>{}, format, from, count, left, right);
    return DecodeRun(ReadWideSigned{format.sampleBytes}, format, from, count, left, right);
  case Encoding::F16:
    return DecodeRun(ReadF16{}, format, from, count, left, right);
  case Encoding::F32:
    return DecodeRun(ReadF32{}, format, from, count, left, right);
  case Encoding::F64:
    return DecodeRun(ReadF64{}, format, from, count, left, right);
  case Encoding::Undefined:
    std::fill(left, left + count, 0.0f);
    if (right)
      std::fill(right, right + count, 0.0f);
    return;
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
