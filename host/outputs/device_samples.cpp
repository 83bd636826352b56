#include "host/outputs/device_samples.h"

#include "platform/emul/dsound/sample_conversion.h"

#include <algorithm>
#include <cstdlib>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

#if defined(__x86_64__)
// Four samples as dsemu::ToSample makes them, in the low 16 bits of each lane, sign
// extended. maxps and minps return their second operand when either is not a number, as
// the scalar comparisons leave the value.
__m128i FourSamples(__m128 value) {
  __m128 scaled = _mm_mul_ps(value, _mm_set1_ps(32768.0f));
  scaled = _mm_max_ps(_mm_set1_ps(-32768.0f), scaled);
  scaled = _mm_min_ps(_mm_set1_ps(32767.0f), scaled);
  const __m128i bits = _mm_castps_si128(_mm_add_ps(scaled, _mm_set1_ps(12582912.0f)));
  const __m128i sample = _mm_sub_epi32(bits, _mm_set1_epi32(0x4B400000));
  // The scalar step keeps the low 16 bits (a value that is not a number leaves others).
  return _mm_srai_epi32(_mm_slli_epi32(sample, 16), 16);
}

// Eight at a time, as FourSamples does.
__attribute__((target("avx2"))) __m256i EightSamples(__m256 value) {
  __m256 scaled = _mm256_mul_ps(value, _mm256_set1_ps(32768.0f));
  scaled = _mm256_max_ps(_mm256_set1_ps(-32768.0f), scaled);
  scaled = _mm256_min_ps(_mm256_set1_ps(32767.0f), scaled);
  const __m256i bits = _mm256_castps_si256(_mm256_add_ps(scaled, _mm256_set1_ps(12582912.0f)));
  const __m256i sample = _mm256_sub_epi32(bits, _mm256_set1_epi32(0x4B400000));
  return _mm256_srai_epi32(_mm256_slli_epi32(sample, 16), 16);
}

// Sixteen frames a step. Packing and unpacking work within each half of a register, so
// the low unpack holds frames 0 to 7 and the high one frames 8 to 15.
__attribute__((target("avx2"))) size_t SixteenAtATime(const float* left, const float* right,
                                                      size_t frames, int16_t* out, int* highest,
                                                      int* lowest) {
  __m256i high = _mm256_setzero_si256();
  __m256i low = _mm256_setzero_si256();
  size_t i = 0;
  for (; i + 16 <= frames; i += 16) {
    const __m256i l = _mm256_packs_epi32(EightSamples(_mm256_loadu_ps(left + i)),
                                         EightSamples(_mm256_loadu_ps(left + i + 8)));
    const __m256i r = _mm256_packs_epi32(EightSamples(_mm256_loadu_ps(right + i)),
                                         EightSamples(_mm256_loadu_ps(right + i + 8)));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 2 * i), _mm256_unpacklo_epi16(l, r));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 2 * i + 16), _mm256_unpackhi_epi16(l, r));
    high = _mm256_max_epi16(high, _mm256_max_epi16(l, r));
    low = _mm256_min_epi16(low, _mm256_min_epi16(l, r));
  }
  alignas(32) int16_t highs[16];
  alignas(32) int16_t lows[16];
  _mm256_store_si256(reinterpret_cast<__m256i*>(highs), high);
  _mm256_store_si256(reinterpret_cast<__m256i*>(lows), low);
  *highest = std::max(*highest, int(*std::max_element(highs, highs + 16)));
  *lowest = std::min(*lowest, int(*std::min_element(lows, lows + 16)));
  return i;
}
#endif

} // namespace

int ToDeviceSamples(const float* left, const float* right, size_t frames, int16_t* out) {
  size_t i = 0;
  int highest = 0;
  int lowest = 0;
#if defined(__x86_64__)
  static const bool avx2 = __builtin_cpu_supports("avx2");
  if (avx2)
    i = SixteenAtATime(left, right, frames, out, &highest, &lowest);
  __m128i high = _mm_setzero_si128();
  __m128i low = _mm_setzero_si128();
  for (; i + 8 <= frames; i += 8) {
    const __m128i l = _mm_packs_epi32(FourSamples(_mm_loadu_ps(left + i)),
                                      FourSamples(_mm_loadu_ps(left + i + 4)));
    const __m128i r = _mm_packs_epi32(FourSamples(_mm_loadu_ps(right + i)),
                                      FourSamples(_mm_loadu_ps(right + i + 4)));
    const __m128i first = _mm_unpacklo_epi16(l, r);
    const __m128i second = _mm_unpackhi_epi16(l, r);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * i), first);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * i + 8), second);
    high = _mm_max_epi16(high, _mm_max_epi16(l, r));
    low = _mm_min_epi16(low, _mm_min_epi16(l, r));
  }
  alignas(16) int16_t highs[8];
  alignas(16) int16_t lows[8];
  _mm_store_si128(reinterpret_cast<__m128i*>(highs), high);
  _mm_store_si128(reinterpret_cast<__m128i*>(lows), low);
  highest = std::max(highest, int(*std::max_element(highs, highs + 8)));
  lowest = std::min(lowest, int(*std::min_element(lows, lows + 8)));
#endif
  for (; i < frames; ++i) {
    out[2 * i] = dsemu::ToSample(left[i]);
    out[2 * i + 1] = dsemu::ToSample(right[i]);
    highest = std::max({highest, int(out[2 * i]), int(out[2 * i + 1])});
    lowest = std::min({lowest, int(out[2 * i]), int(out[2 * i + 1])});
  }
  return std::max(highest, -lowest);
}
