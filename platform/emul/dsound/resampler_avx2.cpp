// The resamplers in AVX2 and FMA, chosen at run time on processors that have them; the
// rest of the build assumes no more than the baseline instruction set.
#include "resampler.h"

#include "formats.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

#define ZA32_AVX2 __attribute__((target("avx2,fma")))

namespace dsemu {
namespace {

constexpr float kInverseRate = 1.0f / kOutputRate;

ZA32_AVX2 inline float Sum(__m256 v) {
  const __m128 quad = _mm_add_ps(_mm256_castps256_ps128(v), _mm256_extractf128_ps(v, 1));
  const __m128 pair = _mm_add_ps(quad, _mm_movehl_ps(quad, quad));
  return _mm_cvtss_f32(_mm_add_ss(pair, _mm_movehdup_ps(pair)));
}

// Both sums at once: {sum(a), sum(b)} in the two low lanes.
ZA32_AVX2 inline __m128 SumPair(__m256 a, __m256 b) {
  const __m256 halves = _mm256_hadd_ps(a, b); // a01 a23 b01 b23 | a45 a67 b45 b67
  const __m128 quad = _mm_add_ps(_mm256_castps256_ps128(halves), _mm256_extractf128_ps(halves, 1));
  return _mm_hadd_ps(quad, quad); // sum(a) sum(b) sum(a) sum(b)
}

ZA32_AVX2 void EqualRateAvx2(const VoiceRun& run, const SincKernel*, float* outLeft,
                             float* outRight) {
  const float* left = run.left + run.start;
  const float* right = run.right + run.start;
  const __m256 gainLeft = _mm256_set1_ps(run.gainLeft);
  const __m256 gainRight = _mm256_set1_ps(run.gainRight);
  size_t k = 0;
  for (; k + 8 <= run.frames; k += 8) {
    _mm256_storeu_ps(outLeft + k, _mm256_fmadd_ps(gainLeft, _mm256_loadu_ps(left + k),
                                                  _mm256_loadu_ps(outLeft + k)));
    _mm256_storeu_ps(outRight + k, _mm256_fmadd_ps(gainRight, _mm256_loadu_ps(right + k),
                                                   _mm256_loadu_ps(outRight + k)));
  }
  for (; k < run.frames; ++k) {
    outLeft[k] += run.gainLeft * left[k];
    outRight[k] += run.gainRight * right[k];
  }
}

// Eight output frames at a time: their cursors are found exactly in integers held in
// floats (all below 2^24), their taps gathered, the cubic weights computed side by side.
ZA32_AVX2 void CubicAvx2(const VoiceRun& run, const SincKernel*, float* outLeft, float* outRight) {
  const bool mono = run.left == run.right;
  const uint32_t frequency = run.frequency;
  const __m256i steps = _mm256_mullo_epi32(_mm256_set1_epi32(static_cast<int>(frequency)),
                                           _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
  const __m256 rate = _mm256_set1_ps(float(kOutputRate));
  const __m256 inverse = _mm256_set1_ps(kInverseRate);
  const __m256 zero = _mm256_setzero_ps();
  const __m256 one = _mm256_set1_ps(1.0f);
  const __m256 gainLeft = _mm256_set1_ps(run.gainLeft);
  const __m256 gainRight = _mm256_set1_ps(run.gainRight);
  const float* left = run.left - 1;
  const float* right = run.right - 1;

  size_t index = run.start;
  uint32_t fraction = run.fraction;
  size_t k = 0;
  for (; k + 8 <= run.frames; k += 8) {
    const __m256 total =
        _mm256_cvtepi32_ps(_mm256_add_epi32(_mm256_set1_epi32(int(fraction)), steps));
    __m256 whole = _mm256_floor_ps(_mm256_mul_ps(total, inverse));
    __m256 rest = _mm256_fnmadd_ps(whole, rate, total);
    const __m256 under = _mm256_cmp_ps(rest, zero, _CMP_LT_OQ);
    whole = _mm256_sub_ps(whole, _mm256_and_ps(under, one));
    rest = _mm256_add_ps(rest, _mm256_and_ps(under, rate));
    const __m256 over = _mm256_cmp_ps(rest, rate, _CMP_GE_OQ);
    whole = _mm256_add_ps(whole, _mm256_and_ps(over, one));
    rest = _mm256_sub_ps(rest, _mm256_and_ps(over, rate));
    const __m256i at = _mm256_add_epi32(_mm256_set1_epi32(int(index)), _mm256_cvttps_epi32(whole));

    const __m256 t = _mm256_mul_ps(rest, inverse);
    const __m256 t2 = _mm256_mul_ps(t, t);
    const __m256 half = _mm256_set1_ps(0.5f);
    const __m256 cm1 =
        _mm256_mul_ps(t, _mm256_fmadd_ps(t, _mm256_fnmadd_ps(half, t, one), _mm256_set1_ps(-0.5f)));
    const __m256 c0 =
        _mm256_fmadd_ps(t2, _mm256_fmadd_ps(_mm256_set1_ps(1.5f), t, _mm256_set1_ps(-2.5f)), one);
    const __m256 c1 = _mm256_mul_ps(
        t,
        _mm256_fmadd_ps(t, _mm256_fnmadd_ps(_mm256_set1_ps(1.5f), t, _mm256_set1_ps(2.0f)), half));
    const __m256 c2 = _mm256_mul_ps(t2, _mm256_fmsub_ps(half, t, half));

    const __m256i at1 = _mm256_add_epi32(at, _mm256_set1_epi32(1));
    const __m256i at2 = _mm256_add_epi32(at, _mm256_set1_epi32(2));
    const __m256i at3 = _mm256_add_epi32(at, _mm256_set1_epi32(3));
    __m256 yl = _mm256_mul_ps(cm1, _mm256_i32gather_ps(left, at, 4));
    yl = _mm256_fmadd_ps(c0, _mm256_i32gather_ps(left, at1, 4), yl);
    yl = _mm256_fmadd_ps(c1, _mm256_i32gather_ps(left, at2, 4), yl);
    yl = _mm256_fmadd_ps(c2, _mm256_i32gather_ps(left, at3, 4), yl);
    __m256 yr = yl;
    if (!mono) {
      yr = _mm256_mul_ps(cm1, _mm256_i32gather_ps(right, at, 4));
      yr = _mm256_fmadd_ps(c0, _mm256_i32gather_ps(right, at1, 4), yr);
      yr = _mm256_fmadd_ps(c1, _mm256_i32gather_ps(right, at2, 4), yr);
      yr = _mm256_fmadd_ps(c2, _mm256_i32gather_ps(right, at3, 4), yr);
    }
    _mm256_storeu_ps(outLeft + k, _mm256_fmadd_ps(gainLeft, yl, _mm256_loadu_ps(outLeft + k)));
    _mm256_storeu_ps(outRight + k, _mm256_fmadd_ps(gainRight, yr, _mm256_loadu_ps(outRight + k)));

    const uint64_t moved = uint64_t{fraction} + 8ull * frequency;
    index += moved / kOutputRate;
    fraction = static_cast<uint32_t>(moved % kOutputRate);
  }
  if (k < run.frames) {
    VoiceRun tail = run;
    tail.start = index;
    tail.fraction = fraction;
    tail.frames = run.frames - k;
    PortableResamplers().cubic(tail, nullptr, outLeft + k, outRight + k);
  }
}

ZA32_AVX2 void SincAvx2(const VoiceRun& run, const SincKernel* kernel, float* outLeft,
                        float* outRight) {
  const bool mono = run.left == run.right;
  const unsigned taps = kernel->taps;
  const uint32_t whole = run.frequency / kOutputRate;
  const uint32_t part = run.frequency % kOutputRate;
  size_t index = run.start;
  uint32_t fraction = run.fraction;
  for (size_t k = 0; k < run.frames; ++k) {
    const uint32_t scaled = fraction * SincKernel::kPhases;
    const uint32_t phase = scaled / kOutputRate;
    const __m256 between = _mm256_set1_ps(float(scaled % kOutputRate) * kInverseRate);
    const float* row = kernel->rows.data() + size_t{phase} * taps;
    const float* delta = kernel->deltas.data() + size_t{phase} * taps;
    const float* l = run.left + index - (kernel->half - 1);
    const float* r = run.right + index - (kernel->half - 1);
    __m256 accLeft = _mm256_setzero_ps();
    if (mono) {
      for (unsigned j = 0; j < taps; j += 8) {
        const __m256 c =
            _mm256_fmadd_ps(between, _mm256_loadu_ps(delta + j), _mm256_loadu_ps(row + j));
        accLeft = _mm256_fmadd_ps(c, _mm256_loadu_ps(l + j), accLeft);
      }
      const float y = Sum(accLeft);
      outLeft[k] += run.gainLeft * y;
      outRight[k] += run.gainRight * y;
    } else {
      __m256 accRight = _mm256_setzero_ps();
      for (unsigned j = 0; j < taps; j += 8) {
        const __m256 c =
            _mm256_fmadd_ps(between, _mm256_loadu_ps(delta + j), _mm256_loadu_ps(row + j));
        accLeft = _mm256_fmadd_ps(c, _mm256_loadu_ps(l + j), accLeft);
        accRight = _mm256_fmadd_ps(c, _mm256_loadu_ps(r + j), accRight);
      }
      const __m128 sums = SumPair(accLeft, accRight);
      outLeft[k] += run.gainLeft * _mm_cvtss_f32(sums);
      outRight[k] += run.gainRight * _mm_cvtss_f32(_mm_movehdup_ps(sums));
    }
    index += whole;
    fraction += part;
    if (fraction >= kOutputRate) {
      fraction -= kOutputRate;
      ++index;
    }
  }
}

const Resamplers kAvx2{EqualRateAvx2, CubicAvx2, SincAvx2, "avx2"};

} // namespace

const Resamplers* Avx2Resamplers() {
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma"))
    return &kAvx2;
  return nullptr;
}

} // namespace dsemu

#else

namespace dsemu {
const Resamplers* Avx2Resamplers() {
  return nullptr;
}
} // namespace dsemu

#endif
