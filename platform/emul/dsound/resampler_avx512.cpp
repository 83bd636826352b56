// The resamplers in AVX-512, chosen at run time on processors that have it.
#include "resampler.h"

#include "formats.h"

#if defined(__x86_64__)
// GCC 12 warns of the undefined "don't care" operands inside its own AVX-512 headers.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#endif
#include <immintrin.h>

#define ZA32_AVX512 __attribute__((target("avx512f,avx512dq,avx2,fma")))

namespace dsemu {
namespace {

// {sum(a), sum(b)} in the two low lanes.
ZA32_AVX512 inline __m128 SumPair(__m512 a, __m512 b) {
  // Fold each to eight lanes: [a0..a7 + a8..a15 | b0..b7 + b8..b15].
  const __m512 folded =
      _mm512_add_ps(_mm512_shuffle_f32x4(a, b, 0x44), _mm512_shuffle_f32x4(a, b, 0xEE));
  const __m256 low = _mm512_castps512_ps256(folded);
  const __m256 high = _mm512_castps512_ps256(_mm512_shuffle_f32x4(folded, folded, 0xEE));
  const __m256 halves = _mm256_hadd_ps(low, high); // a01 a23 b01 b23 | a45 a67 b45 b67
  const __m128 quad = _mm_add_ps(_mm256_castps256_ps128(halves), _mm256_extractf128_ps(halves, 1));
  return _mm_hadd_ps(quad, quad);
}

ZA32_AVX512 void EqualRateAvx512(const VoiceRun& run, const SincKernel*, float* outLeft,
                                 float* outRight) {
  const float* left = run.left + run.start;
  const float* right = run.right + run.start;
  const __m512 gainLeft = _mm512_set1_ps(run.gainLeft);
  const __m512 gainRight = _mm512_set1_ps(run.gainRight);
  for (size_t k = 0; k < run.frames; k += 16) {
    const __mmask16 mask =
        run.frames - k >= 16 ? __mmask16(0xFFFF) : __mmask16((1u << (run.frames - k)) - 1);
    _mm512_mask_storeu_ps(outLeft + k, mask,
                          _mm512_fmadd_ps(gainLeft, _mm512_maskz_loadu_ps(mask, left + k),
                                          _mm512_maskz_loadu_ps(mask, outLeft + k)));
    _mm512_mask_storeu_ps(outRight + k, mask,
                          _mm512_fmadd_ps(gainRight, _mm512_maskz_loadu_ps(mask, right + k),
                                          _mm512_maskz_loadu_ps(mask, outRight + k)));
  }
}

// EqualRateAvx512's steps, every run's in turn on each sixteen frames.
ZA32_AVX512 void AddScaledAvx512(const ScaledRun* runs, size_t count, size_t frames, float* outLeft,
                                 float* outRight) {
  for (size_t k = 0; k < frames; k += 16) {
    const __mmask16 mask =
        frames - k >= 16 ? __mmask16(0xFFFF) : __mmask16((1u << (frames - k)) - 1);
    __m512 left = _mm512_maskz_loadu_ps(mask, outLeft + k);
    __m512 right = _mm512_maskz_loadu_ps(mask, outRight + k);
    for (size_t r = 0; r < count; ++r) {
      left = _mm512_fmadd_ps(_mm512_set1_ps(runs[r].gainLeft),
                             _mm512_maskz_loadu_ps(mask, runs[r].left + k), left);
      right = _mm512_fmadd_ps(_mm512_set1_ps(runs[r].gainRight),
                              _mm512_maskz_loadu_ps(mask, runs[r].right + k), right);
    }
    _mm512_mask_storeu_ps(outLeft + k, mask, left);
    _mm512_mask_storeu_ps(outRight + k, mask, right);
  }
}

// The cursors of sixteen output frames side by side, kept exactly from one sixteen to the
// next: lane 0's as the scalar cursor (a whole frame and a fraction in rate-ths), and each
// lane's fraction (an integer in a float, below the rate) and whole frame counted from
// lane 0's. Moving on costs an addition and a carry a lane. Finding them afresh each time
// (a division and two corrections) put a long chain ahead of every tap and weight, and
// that held the loop to about half its speed.
struct SixteenCursors {
  size_t index;      // lane 0's whole frame
  uint32_t fraction; // lane 0's fraction, 0 .. rate - 1
  __m512 rest;       // each lane's fraction, 0 .. rate - 1
  __m512i offset;    // each lane's whole frame less lane 0's
  // Sixteen frames' move, found once: whole frames and the rest in rate-ths.
  uint64_t stepWhole;
  uint32_t stepPart;
  uint32_t outputRate;
  __m512 part;
  __m512 rate;

  // The sixteen frames from the run's cursor on, each frequency rate-ths of a frame after
  // the last (all below 2^24, so exact in floats).
  ZA32_AVX512 static SixteenCursors From(const VoiceRun& run) {
    const __m512 steps = _mm512_cvtepi32_ps(_mm512_mullo_epi32(
        _mm512_set1_epi32(static_cast<int>(run.frequency)),
        _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15)));
    const __m512 rate = _mm512_set1_ps(float(run.rate));
    const __m512 inverse = _mm512_set1_ps(1.0f / float(run.rate));
    const __m512 one = _mm512_set1_ps(1.0f);
    const __m512 total = _mm512_add_ps(_mm512_set1_ps(float(run.fraction)), steps);
    __m512 whole = _mm512_roundscale_ps(_mm512_mul_ps(total, inverse),
                                        _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
    __m512 rest = _mm512_fnmadd_ps(whole, rate, total);
    const __mmask16 under = _mm512_cmp_ps_mask(rest, _mm512_setzero_ps(), _CMP_LT_OQ);
    whole = _mm512_mask_sub_ps(whole, under, whole, one);
    rest = _mm512_mask_add_ps(rest, under, rest, rate);
    const __mmask16 over = _mm512_cmp_ps_mask(rest, rate, _CMP_GE_OQ);
    whole = _mm512_mask_add_ps(whole, over, whole, one);
    rest = _mm512_mask_sub_ps(rest, over, rest, rate);
    const auto stepPart = static_cast<uint32_t>(16ull * run.frequency % run.rate);
    return {run.start,
            run.fraction,
            rest,
            _mm512_cvttps_epi32(whole),
            16ull * run.frequency / run.rate,
            stepPart,
            run.rate,
            _mm512_set1_ps(float(stepPart)),
            rate};
  }

  // Sixteen frames on. Each lane's fraction grows by what sixteen frames move beyond whole
  // frames and carries a frame where it reaches the rate; lane 0's carry is the scalar
  // cursor's, taken off every lane's offset.
  ZA32_AVX512 void Advance() {
    index += stepWhole;
    fraction += stepPart;
    const bool carried = fraction >= outputRate;
    if (carried) {
      fraction -= outputRate;
      ++index;
    }
    rest = _mm512_add_ps(rest, part);
    const __mmask16 carries = _mm512_cmp_ps_mask(rest, rate, _CMP_GE_OQ);
    rest = _mm512_mask_sub_ps(rest, carries, rest, rate);
    offset = _mm512_sub_epi32(_mm512_mask_add_epi32(offset, carries, offset, _mm512_set1_epi32(1)),
                              _mm512_set1_epi32(carried));
  }

  // Lane 8's whole frame less lane 0's: where the second eight frames read from.
  ZA32_AVX512 uint32_t Ninth() const {
    return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm512_extracti32x4_epi32(offset, 2)));
  }
};

// Sixteen output frames at a time, their cursors side by side (SixteenCursors). When the sixteen
// frames' taps lie within 32 frames of the buffer, as they do up to about 1.8 times the output
// rate, the taps are picked out of two registers by permutation; up to about 4 times, each eight
// frames' taps out of two registers of their own; beyond that they are gathered.
ZA32_AVX512 void CubicAvx512(const VoiceRun& run, const SincKernel*, float* outLeft,
                             float* outRight) {
  const bool mono = run.left == run.right;
  const uint32_t frequency = run.frequency;
  const uint32_t outputRate = run.rate;
  const __m512 inverse = _mm512_set1_ps(1.0f / float(outputRate));
  const __m512 half = _mm512_set1_ps(0.5f);
  const __m512 one = _mm512_set1_ps(1.0f);
  const __m512 gainLeft = _mm512_set1_ps(run.gainLeft);
  const __m512 gainRight = _mm512_set1_ps(run.gainRight);
  const __m512i oneTap = _mm512_set1_epi32(1);
  const uint64_t reach = (uint64_t{15} * frequency + outputRate - 1) / outputRate + 4;
  const uint64_t halfReach = (uint64_t{7} * frequency + outputRate - 1) / outputRate + 4;

  SixteenCursors cursors = SixteenCursors::From(run);
  size_t k = 0;
  for (; k + 16 <= run.frames; k += 16) {
    const __m512i at0 = cursors.offset; // x[-1] of each frame, from `from`
    const __m512i at1 = _mm512_add_epi32(at0, oneTap);
    const __m512i at2 = _mm512_add_epi32(at1, oneTap);
    const __m512i at3 = _mm512_add_epi32(at2, oneTap);

    const __m512 t = _mm512_mul_ps(cursors.rest, inverse);
    const __m512 t2 = _mm512_mul_ps(t, t);
    const __m512 cm1 =
        _mm512_mul_ps(t, _mm512_fmadd_ps(t, _mm512_fnmadd_ps(half, t, one), _mm512_set1_ps(-0.5f)));
    const __m512 c0 =
        _mm512_fmadd_ps(t2, _mm512_fmadd_ps(_mm512_set1_ps(1.5f), t, _mm512_set1_ps(-2.5f)), one);
    const __m512 c1 = _mm512_mul_ps(
        t,
        _mm512_fmadd_ps(t, _mm512_fnmadd_ps(_mm512_set1_ps(1.5f), t, _mm512_set1_ps(2.0f)), half));
    const __m512 c2 = _mm512_mul_ps(t2, _mm512_fmsub_ps(half, t, half));

    // Beyond one window's reach, each half of the frames picks from a window of its own,
    // from the ninth frame's x[-1] on.
    const uint32_t ninth = cursors.Ninth();
    const __m512i fromNinth = _mm512_set1_epi32(static_cast<int>(ninth));
    auto interpolate = [&](const float* from) ZA32_AVX512 {
      __m512 x0, x1, x2, x3;
      if (reach <= 32) {
        const __m512 low = _mm512_loadu_ps(from);
        const __m512 high = _mm512_loadu_ps(from + 16);
        x0 = _mm512_permutex2var_ps(low, at0, high);
        x1 = _mm512_permutex2var_ps(low, at1, high);
        x2 = _mm512_permutex2var_ps(low, at2, high);
        x3 = _mm512_permutex2var_ps(low, at3, high);
      } else if (halfReach <= 32) {
        const __m512 low = _mm512_loadu_ps(from);
        const __m512 high = _mm512_loadu_ps(from + 16);
        const __m512 secondLow = _mm512_loadu_ps(from + ninth);
        const __m512 secondHigh = _mm512_loadu_ps(from + ninth + 16);
        auto pick = [&](__m512i at) ZA32_AVX512 {
          const __m512i second = _mm512_sub_epi32(at, fromNinth);
          return _mm512_mask_blend_ps(0xFF00, _mm512_permutex2var_ps(low, at, high),
                                      _mm512_permutex2var_ps(secondLow, second, secondHigh));
        };
        x0 = pick(at0);
        x1 = pick(at1);
        x2 = pick(at2);
        x3 = pick(at3);
      } else {
        x0 = _mm512_i32gather_ps(at0, from, 4);
        x1 = _mm512_i32gather_ps(at1, from, 4);
        x2 = _mm512_i32gather_ps(at2, from, 4);
        x3 = _mm512_i32gather_ps(at3, from, 4);
      }
      return _mm512_fmadd_ps(
          c2, x3, _mm512_fmadd_ps(c1, x2, _mm512_fmadd_ps(c0, x1, _mm512_mul_ps(cm1, x0))));
    };
    const __m512 yl = interpolate(run.left + cursors.index - 1);
    const __m512 yr = mono ? yl : interpolate(run.right + cursors.index - 1);
    _mm512_storeu_ps(outLeft + k, _mm512_fmadd_ps(gainLeft, yl, _mm512_loadu_ps(outLeft + k)));
    _mm512_storeu_ps(outRight + k, _mm512_fmadd_ps(gainRight, yr, _mm512_loadu_ps(outRight + k)));

    cursors.Advance();
  }
  if (k < run.frames) {
    VoiceRun tail = run;
    tail.start = cursors.index;
    tail.fraction = cursors.fraction;
    tail.frames = run.frames - k;
    PortableResamplers().cubic(tail, nullptr, outLeft + k, outRight + k);
  }
}

// One output frame's dot products of both sides with the kernel's row for its fraction
// (interpolated between two rows), still spread over sixteen lanes each.
struct SincFrame {
  __m512 left;
  __m512 right;
};

// Taps is the kernel's width when it is known when compiling (the common widths, so
// that the loop over its blocks unrolls), else 0 and `taps` says.
template <bool Mono, unsigned Taps>
ZA32_AVX512 inline SincFrame SincProducts(const float* row, unsigned taps, float between,
                                          const float* l, const float* r) {
  if (Taps)
    taps = Taps;
  const unsigned fullBlocks = taps / 16;
  const __mmask16 lastMask = taps % 16 ? __mmask16(0x00FF) : __mmask16(0xFFFF);
  const __m512 b = _mm512_set1_ps(between);
  const float* next = row + taps;
  __m512 accLeft = _mm512_setzero_ps();
  __m512 accRight = _mm512_setzero_ps();
  unsigned j = 0;
  for (unsigned block = 0; block < fullBlocks; ++block, j += 16) {
    const __m512 here = _mm512_loadu_ps(row + j);
    const __m512 c = _mm512_fmadd_ps(b, _mm512_sub_ps(_mm512_loadu_ps(next + j), here), here);
    accLeft = _mm512_fmadd_ps(c, _mm512_loadu_ps(l + j), accLeft);
    if (!Mono)
      accRight = _mm512_fmadd_ps(c, _mm512_loadu_ps(r + j), accRight);
  }
  if (lastMask != 0xFFFF) {
    const __m512 here = _mm512_maskz_loadu_ps(lastMask, row + j);
    const __m512 c =
        _mm512_fmadd_ps(b, _mm512_sub_ps(_mm512_maskz_loadu_ps(lastMask, next + j), here), here);
    accLeft = _mm512_fmadd_ps(c, _mm512_maskz_loadu_ps(lastMask, l + j), accLeft);
    if (!Mono)
      accRight = _mm512_fmadd_ps(c, _mm512_maskz_loadu_ps(lastMask, r + j), accRight);
  }
  return {accLeft, Mono ? accLeft : accRight};
}

// Sixteen vectors' lane sums in one vector, by a tree of lane-crossing additions: far
// fewer shuffles than summing each vector on its own. The sums come out in an order of
// the tree's making; SumOrder() says which vector's sum each lane holds.
ZA32_AVX512 inline __m512 SumSixteen(const __m512* v) {
  __m512 eight[8];
  for (int i = 0; i < 8; ++i) {
    const __m512 a = v[2 * i];
    const __m512 b = v[2 * i + 1];
    eight[i] = _mm512_add_ps(_mm512_shuffle_f32x4(a, b, 0x44), _mm512_shuffle_f32x4(a, b, 0xEE));
  }
  __m512 four[4];
  for (int i = 0; i < 4; ++i) {
    const __m512 a = eight[2 * i];
    const __m512 b = eight[2 * i + 1];
    four[i] = _mm512_add_ps(_mm512_shuffle_f32x4(a, b, 0x88), _mm512_shuffle_f32x4(a, b, 0xDD));
  }
  __m512 two[2];
  for (int i = 0; i < 2; ++i)
    two[i] = _mm512_add_ps(_mm512_unpacklo_ps(four[2 * i], four[2 * i + 1]),
                           _mm512_unpackhi_ps(four[2 * i], four[2 * i + 1]));
  return _mm512_add_ps(
      _mm512_castpd_ps(_mm512_unpacklo_pd(_mm512_castps_pd(two[0]), _mm512_castps_pd(two[1]))),
      _mm512_castpd_ps(_mm512_unpackhi_pd(_mm512_castps_pd(two[0]), _mm512_castps_pd(two[1]))));
}

// The permutation that puts SumSixteen's lanes back in input order, found by summing
// vectors whose lanes hold their own index.
ZA32_AVX512 __m512i SumOrder() {
  __m512 v[16];
  for (int i = 0; i < 16; ++i)
    v[i] = _mm512_set1_ps(float(i));
  alignas(64) float sums[16];
  _mm512_store_ps(sums, SumSixteen(v));
  alignas(64) int32_t order[16];
  for (int lane = 0; lane < 16; ++lane)
    order[static_cast<int>(sums[lane]) / 16] = lane;
  return _mm512_load_si512(order);
}

template <bool Mono, unsigned Taps>
ZA32_AVX512 void SincAvx512Of(const VoiceRun& run, const SincKernel* kernel, float* outLeft,
                              float* outRight) {
  static const __m512i kOrder = SumOrder();
  const unsigned taps = Taps ? Taps : kernel->taps;
  const uint32_t outputRate = run.rate;
  const float inverseRate = 1.0f / float(outputRate);
  const RateDivider divider(outputRate);
  const uint32_t whole = run.frequency / outputRate;
  const uint32_t part = run.frequency % outputRate;
  const float* rows = kernel->Rows();
  const uint32_t phases = kernel->phases;
  const float* left = run.left - (kernel->half - 1);
  const float* right = run.right - (kernel->half - 1);
  size_t index = run.start;
  uint32_t fraction = run.fraction;
  auto products = [&]() ZA32_AVX512 {
    const uint32_t scaled = fraction * phases;
    const uint32_t phase = divider.Quotient(scaled);
    const float between = float(scaled - phase * outputRate) * inverseRate;
    const SincFrame frame = SincProducts<Mono, Taps>(rows + size_t{phase} * taps, taps, between,
                                                     left + index, right + index);
    index += whole;
    fraction += part;
    if (fraction >= outputRate) {
      fraction -= outputRate;
      ++index;
    }
    return frame;
  };
  // Eight frames at a time, their sixteen sums found together: [left x8 | right x8].
  const __m512 gains =
      _mm512_mask_blend_ps(0xFF00, _mm512_set1_ps(run.gainLeft), _mm512_set1_ps(run.gainRight));
  size_t k = 0;
  for (; k + 8 <= run.frames; k += 8) {
    __m512 sums[16];
#pragma GCC unroll 8
    for (int f = 0; f < 8; ++f) {
      const SincFrame frame = products();
      sums[f] = frame.left;
      sums[8 + f] = frame.right;
    }
    const __m512 y = _mm512_permutexvar_ps(kOrder, SumSixteen(sums));
    const __m512 out = _mm512_insertf32x8(_mm512_castps256_ps512(_mm256_loadu_ps(outLeft + k)),
                                          _mm256_loadu_ps(outRight + k), 1);
    const __m512 mixed = _mm512_fmadd_ps(gains, y, out);
    _mm256_storeu_ps(outLeft + k, _mm512_castps512_ps256(mixed));
    _mm256_storeu_ps(outRight + k, _mm512_extractf32x8_ps(mixed, 1));
  }
  for (; k < run.frames; ++k) {
    const SincFrame frame = products();
    const __m128 sums = SumPair(frame.left, frame.right);
    outLeft[k] += run.gainLeft * _mm_cvtss_f32(sums);
    outRight[k] += run.gainRight * _mm_cvtss_f32(_mm_movehdup_ps(sums));
  }
}

template <bool Mono>
ZA32_AVX512 void SincAvx512Dispatch(const VoiceRun& run, const SincKernel* kernel, float* outLeft,
                                    float* outRight) {
  switch (kernel->taps) {
  case 32: // at or below the output rate
    return SincAvx512Of<Mono, 32>(run, kernel, outLeft, outRight);
  case 40:
    return SincAvx512Of<Mono, 40>(run, kernel, outLeft, outRight);
  case 48:
    return SincAvx512Of<Mono, 48>(run, kernel, outLeft, outRight);
  case 56:
    return SincAvx512Of<Mono, 56>(run, kernel, outLeft, outRight);
  case 64: // up to twice the output rate
    return SincAvx512Of<Mono, 64>(run, kernel, outLeft, outRight);
  default:
    return SincAvx512Of<Mono, 0>(run, kernel, outLeft, outRight);
  }
}

ZA32_AVX512 void SincAvx512(const VoiceRun& run, const SincKernel* kernel, float* outLeft,
                            float* outRight) {
  if (run.left == run.right)
    SincAvx512Dispatch<true>(run, kernel, outLeft, outRight);
  else
    SincAvx512Dispatch<false>(run, kernel, outLeft, outRight);
}

// Sixteen frames at a time, as in the AVX2 set; the last few under a mask.
ZA32_AVX512 void DecodeStereo16Avx512(const void* from, size_t count, float* left, float* right) {
  const auto* bytes = static_cast<const BYTE*>(from);
  const __m512 scale = _mm512_set1_ps(1.0f / 32768);
  for (size_t i = 0; i < count; i += 16) {
    const __mmask16 mask = count - i >= 16 ? __mmask16(0xFFFF) : __mmask16((1u << (count - i)) - 1);
    _mm_prefetch(reinterpret_cast<const char*>(bytes + 4 * (i + kPrefetchFrames)), _MM_HINT_T0);
    const __m512i frames = _mm512_maskz_loadu_epi32(mask, bytes + 4 * i);
    const __m512i l = _mm512_srai_epi32(_mm512_slli_epi32(frames, 16), 16);
    const __m512i r = _mm512_srai_epi32(frames, 16);
    _mm512_mask_storeu_ps(left + i, mask, _mm512_mul_ps(_mm512_cvtepi32_ps(l), scale));
    _mm512_mask_storeu_ps(right + i, mask, _mm512_mul_ps(_mm512_cvtepi32_ps(r), scale));
  }
}

// A 16-bit stereo frame held in a 32-bit lane: its left and its right sample as floats.
ZA32_AVX512 inline __m512 LeftOf(__m512i pairs) {
  return _mm512_cvtepi32_ps(_mm512_srai_epi32(_mm512_slli_epi32(pairs, 16), 16));
}
ZA32_AVX512 inline __m512 RightOf(__m512i pairs) {
  return _mm512_cvtepi32_ps(_mm512_srai_epi32(pairs, 16));
}

// The cubic of CubicAvx512 on 16-bit stereo read where it lies: each frame is one 32-bit
// lane, its left sample in the low half; a window's frames are split into two float
// vectors, left and right, then picked from as the float cubic picks from its run. The
// full scale (1 / 32768, a power of two) goes into the gains, so the sums are the float
// cubic's on the decoded run, bit for bit.
ZA32_AVX512 void CubicStereo16Avx512(const VoiceRun& run, const void* data, float* outLeft,
                                     float* outRight) {
  const auto* frames = static_cast<const int32_t*>(data);
  const uint32_t frequency = run.frequency;
  const uint32_t outputRate = run.rate;
  const __m512 inverse = _mm512_set1_ps(1.0f / float(outputRate));
  const __m512 half = _mm512_set1_ps(0.5f);
  const __m512 one = _mm512_set1_ps(1.0f);
  const __m512 gainLeft = _mm512_set1_ps(run.gainLeft * (1.0f / 32768));
  const __m512 gainRight = _mm512_set1_ps(run.gainRight * (1.0f / 32768));
  const __m512i oneTap = _mm512_set1_epi32(1);
  const uint64_t reach = (uint64_t{15} * frequency + outputRate - 1) / outputRate + 4;
  const uint64_t halfReach = (uint64_t{7} * frequency + outputRate - 1) / outputRate + 4;

  SixteenCursors cursors = SixteenCursors::From(run);
  size_t k = 0;
  for (; k + 16 <= run.frames; k += 16) {
    const __m512i at0 = cursors.offset;
    const __m512i at[4] = {at0, _mm512_add_epi32(at0, oneTap),
                           _mm512_add_epi32(at0, _mm512_set1_epi32(2)),
                           _mm512_add_epi32(at0, _mm512_set1_epi32(3))};

    const __m512 t = _mm512_mul_ps(cursors.rest, inverse);
    const __m512 t2 = _mm512_mul_ps(t, t);
    const __m512 cm1 =
        _mm512_mul_ps(t, _mm512_fmadd_ps(t, _mm512_fnmadd_ps(half, t, one), _mm512_set1_ps(-0.5f)));
    const __m512 c0 =
        _mm512_fmadd_ps(t2, _mm512_fmadd_ps(_mm512_set1_ps(1.5f), t, _mm512_set1_ps(-2.5f)), one);
    const __m512 c1 = _mm512_mul_ps(
        t,
        _mm512_fmadd_ps(t, _mm512_fnmadd_ps(_mm512_set1_ps(1.5f), t, _mm512_set1_ps(2.0f)), half));
    const __m512 c2 = _mm512_mul_ps(t2, _mm512_fmsub_ps(half, t, half));

    const int32_t* from = frames + cursors.index - 1;
    // Up to two lines a step read within one window's reach, four within two.
    _mm_prefetch(reinterpret_cast<const char*>(from + kPrefetchFrames), _MM_HINT_T0);
    _mm_prefetch(reinterpret_cast<const char*>(from + kPrefetchFrames + 16), _MM_HINT_T0);
    __m512 l[4], r[4];
    if (reach <= 32) {
      const __m512i low = _mm512_loadu_si512(from);
      const __m512i high = _mm512_loadu_si512(from + 16);
      const __m512 lowLeft = LeftOf(low), highLeft = LeftOf(high);
      const __m512 lowRight = RightOf(low), highRight = RightOf(high);
      for (int j = 0; j < 4; ++j) {
        l[j] = _mm512_permutex2var_ps(lowLeft, at[j], highLeft);
        r[j] = _mm512_permutex2var_ps(lowRight, at[j], highRight);
      }
    } else if (halfReach <= 32) {
      const uint32_t ninth = cursors.Ninth();
      const __m512i fromNinth = _mm512_set1_epi32(static_cast<int>(ninth));
      _mm_prefetch(reinterpret_cast<const char*>(from + kPrefetchFrames + 32), _MM_HINT_T0);
      _mm_prefetch(reinterpret_cast<const char*>(from + kPrefetchFrames + 48), _MM_HINT_T0);
      const __m512i low = _mm512_loadu_si512(from);
      const __m512i high = _mm512_loadu_si512(from + 16);
      const __m512i secondLow = _mm512_loadu_si512(from + ninth);
      const __m512i secondHigh = _mm512_loadu_si512(from + ninth + 16);
      const __m512 lowLeft = LeftOf(low), highLeft = LeftOf(high);
      const __m512 lowRight = RightOf(low), highRight = RightOf(high);
      const __m512 secondLowLeft = LeftOf(secondLow), secondHighLeft = LeftOf(secondHigh);
      const __m512 secondLowRight = RightOf(secondLow), secondHighRight = RightOf(secondHigh);
      for (int j = 0; j < 4; ++j) {
        const __m512i second = _mm512_sub_epi32(at[j], fromNinth);
        l[j] = _mm512_mask_blend_ps(0xFF00, _mm512_permutex2var_ps(lowLeft, at[j], highLeft),
                                    _mm512_permutex2var_ps(secondLowLeft, second, secondHighLeft));
        r[j] =
            _mm512_mask_blend_ps(0xFF00, _mm512_permutex2var_ps(lowRight, at[j], highRight),
                                 _mm512_permutex2var_ps(secondLowRight, second, secondHighRight));
      }
    } else {
      for (int j = 0; j < 4; ++j) {
        const __m512i pairs = _mm512_i32gather_epi32(at[j], from, 4);
        l[j] = LeftOf(pairs);
        r[j] = RightOf(pairs);
      }
    }
    auto interpolate = [&](const __m512* x) ZA32_AVX512 {
      return _mm512_fmadd_ps(
          c2, x[3], _mm512_fmadd_ps(c1, x[2], _mm512_fmadd_ps(c0, x[1], _mm512_mul_ps(cm1, x[0]))));
    };
    _mm512_storeu_ps(outLeft + k,
                     _mm512_fmadd_ps(gainLeft, interpolate(l), _mm512_loadu_ps(outLeft + k)));
    _mm512_storeu_ps(outRight + k,
                     _mm512_fmadd_ps(gainRight, interpolate(r), _mm512_loadu_ps(outRight + k)));

    cursors.Advance();
  }
  if (k < run.frames) {
    // The last few frames on their window decoded, by the float cubic.
    const size_t tail = run.frames - k;
    const size_t reachOfTail =
        static_cast<size_t>((uint64_t{cursors.fraction} + uint64_t{frequency} * (tail - 1)) /
                            outputRate) +
        kCubicBefore + kCubicAfter + 1;
    constexpr size_t kMostFrames = 16 * (DSBFREQUENCY_MAX / 22050 + 1) + 8;
    alignas(64) float left[kMostFrames];
    alignas(64) float right[kMostFrames];
    DecodeStereo16Avx512(frames + cursors.index - kCubicBefore, std::min(reachOfTail, kMostFrames),
                         left, right);
    VoiceRun last = run;
    last.left = left;
    last.right = right;
    last.start = kCubicBefore;
    last.fraction = cursors.fraction;
    last.frames = tail;
    PortableResamplers().cubic(last, nullptr, outLeft + k, outRight + k);
  }
}

const Resamplers kAvx512{EqualRateAvx512,      CubicAvx512,         SincAvx512,     "avx512",
                         DecodeStereo16Avx512, CubicStereo16Avx512, AddScaledAvx512};

} // namespace

const Resamplers* Avx512Resamplers() {
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
      __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma"))
    return &kAvx512;
  return nullptr;
}

} // namespace dsemu

#else

namespace dsemu {
const Resamplers* Avx512Resamplers() {
  return nullptr;
}
} // namespace dsemu

#endif
