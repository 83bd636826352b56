#include "host/outputs/device_samples.h"

#include "platform/emul/dsound/sample_conversion.h"

#include <algorithm>
#include <cstdlib>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

#if defined(__SSE2__)
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
#endif

} // namespace

int ToDeviceSamples(const float* left, const float* right, size_t frames, int16_t* out) {
  size_t i = 0;
  int highest = 0;
  int lowest = 0;
#if defined(__SSE2__)
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
  highest = *std::max_element(highs, highs + 8);
  lowest = *std::min_element(lows, lows + 8);
#endif
  for (; i < frames; ++i) {
    out[2 * i] = dsemu::ToSample(left[i]);
    out[2 * i + 1] = dsemu::ToSample(right[i]);
    highest = std::max({highest, int(out[2 * i]), int(out[2 * i + 1])});
    lowest = std::min({lowest, int(out[2 * i]), int(out[2 * i + 1])});
  }
  return std::max(highest, -lowest);
}
