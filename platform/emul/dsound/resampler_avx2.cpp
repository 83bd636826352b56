// The resamplers in AVX2 and FMA, chosen at run time on processors that have them; the
// rest of the build assumes no more than the baseline instruction set.
#include "resampler.h"

#include "formats.h"

#include <algorithm>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

#define ZA32_AVX2 __attribute__((target("avx2,fma")))

namespace dsemu {
namespace {

// Where a vector loop stopped: the output frames it made, and the cursor there.
struct Stepped {
  size_t frames;
  size_t index;
  uint32_t fraction;
};

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

// EqualRateAvx2's steps, every run's in turn on each eight frames.
ZA32_AVX2 void AddScaledAvx2(const ScaledRun* runs, size_t count, size_t frames, float* outLeft,
                             float* outRight) {
  size_t k = 0;
  for (; k + 8 <= frames; k += 8) {
    __m256 left = _mm256_loadu_ps(outLeft + k);
    __m256 right = _mm256_loadu_ps(outRight + k);
    for (size_t r = 0; r < count; ++r) {
      left = _mm256_fmadd_ps(_mm256_set1_ps(runs[r].gainLeft), _mm256_loadu_ps(runs[r].left + k),
                             left);
      right = _mm256_fmadd_ps(_mm256_set1_ps(runs[r].gainRight), _mm256_loadu_ps(runs[r].right + k),
                              right);
    }
    _mm256_storeu_ps(outLeft + k, left);
    _mm256_storeu_ps(outRight + k, right);
  }
  for (; k < frames; ++k) {
    for (size_t r = 0; r < count; ++r) {
      outLeft[k] += runs[r].gainLeft * runs[r].left[k];
      outRight[k] += runs[r].gainRight * runs[r].right[k];
    }
  }
}

// Eight output frames at a time. Their cursors are found side by side, exactly, in
// integers held in floats (all below 2^24). Then each frame's four taps of both sides
// are loaded as one vector [left x4 | right x4] (by `taps`, from the frame of x[-1]) and
// weighted by the cubic's four polynomials evaluated lane by lane, and four frames'
// products are summed together. Returns where the cursor stopped, for the last few
// frames, which are left to the caller.
template <typename Taps>
ZA32_AVX2 inline Stepped CubicAvx2Of(const VoiceRun& run, Taps taps, float* outLeft,
                                     float* outRight, float scale) {
  const uint32_t frequency = run.frequency;
  const __m256i steps = _mm256_mullo_epi32(_mm256_set1_epi32(static_cast<int>(frequency)),
                                           _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
  const uint32_t outputRate = run.rate;
  const __m256 rate = _mm256_set1_ps(float(outputRate));
  const __m256 inverse = _mm256_set1_ps(1.0f / float(outputRate));
  const __m256 zero = _mm256_setzero_ps();
  // The weights of x[-1], x[0], x[1], x[2] as polynomials in t, on both halves.
  const __m256 a3 = _mm256_setr_ps(-0.5f, 1.5f, -1.5f, 0.5f, -0.5f, 1.5f, -1.5f, 0.5f);
  const __m256 a2 = _mm256_setr_ps(1.0f, -2.5f, 2.0f, -0.5f, 1.0f, -2.5f, 2.0f, -0.5f);
  const __m256 a1 = _mm256_setr_ps(-0.5f, 0.0f, 0.5f, 0.0f, -0.5f, 0.0f, 0.5f, 0.0f);
  const __m256 a0 = _mm256_setr_ps(0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f);
  const __m128 gainLeft = _mm_set1_ps(run.gainLeft * scale);
  const __m128 gainRight = _mm_set1_ps(run.gainRight * scale);
  alignas(32) float ts[8];
  const uint32_t whole = frequency / outputRate;
  const uint32_t part = frequency % outputRate;

  size_t index = run.start;
  uint32_t fraction = run.fraction;
  size_t k = 0;
  for (; k + 8 <= run.frames; k += 8) {
    // The fractions side by side; the whole frames follow in the scalar steps below.
    const __m256 total =
        _mm256_cvtepi32_ps(_mm256_add_epi32(_mm256_set1_epi32(int(fraction)), steps));
    __m256 rest = _mm256_fnmadd_ps(_mm256_floor_ps(_mm256_mul_ps(total, inverse)), rate, total);
    rest = _mm256_add_ps(rest, _mm256_and_ps(_mm256_cmp_ps(rest, zero, _CMP_LT_OQ), rate));
    rest = _mm256_sub_ps(rest, _mm256_and_ps(_mm256_cmp_ps(rest, rate, _CMP_GE_OQ), rate));
    _mm256_store_ps(ts, _mm256_mul_ps(rest, inverse));

    for (int quarter = 0; quarter < 8; quarter += 4) {
      __m256 products[4];
      for (int j = 0; j < 4; ++j) {
        const __m256 t = _mm256_broadcast_ss(ts + quarter + j);
        const __m256 weights =
            _mm256_fmadd_ps(_mm256_fmadd_ps(_mm256_fmadd_ps(a3, t, a2), t, a1), t, a0);
        products[j] = _mm256_mul_ps(weights, taps(index - 1));
        index += whole;
        fraction += part;
        if (fraction >= outputRate) {
          fraction -= outputRate;
          ++index;
        }
      }
      const __m256 sums = _mm256_hadd_ps(_mm256_hadd_ps(products[0], products[1]),
                                         _mm256_hadd_ps(products[2], products[3]));
      float* l = outLeft + k + quarter;
      float* r = outRight + k + quarter;
      _mm_storeu_ps(l, _mm_fmadd_ps(gainLeft, _mm256_castps256_ps128(sums), _mm_loadu_ps(l)));
      _mm_storeu_ps(r, _mm_fmadd_ps(gainRight, _mm256_extractf128_ps(sums, 1), _mm_loadu_ps(r)));
    }
  }
  return {k, index, fraction};
}

// Sixteen frames of a run, from the first frame's x[-1], split by channel: frames 0 to 7
// and 8 to 15 of each side.
struct Window {
  __m256 lowLeft;
  __m256 highLeft;
  __m256 lowRight;
  __m256 highRight;
};

// Whether eight output frames' taps lie within one Window: up to about 1.7 times the
// output rate.
inline bool EightWithinSixteen(const VoiceRun& run) {
  return (uint64_t{7} * run.frequency + run.rate - 1) / run.rate + 4 <= 16;
}

// The cursors of eight output frames side by side, kept exactly from one eight to the
// next as in the AVX-512 set's SixteenCursors: lane 0's as the scalar cursor, and each
// lane's fraction (an integer in a float, below the rate) and whole frame counted from
// lane 0's.
struct EightCursors {
  size_t index;      // lane 0's whole frame
  uint32_t fraction; // lane 0's fraction, 0 .. rate - 1
  __m256 rest;       // each lane's fraction, 0 .. rate - 1
  __m256i offset;    // each lane's whole frame less lane 0's
  // Eight frames' move, found once: whole frames and the rest in rate-ths.
  uint64_t stepWhole;
  uint32_t stepPart;
  uint32_t outputRate;
  __m256 part;
  __m256 rate;

  // The eight frames from the run's cursor on.
  ZA32_AVX2 static EightCursors From(const VoiceRun& run) {
    const __m256 steps =
        _mm256_cvtepi32_ps(_mm256_mullo_epi32(_mm256_set1_epi32(static_cast<int>(run.frequency)),
                                              _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7)));
    const __m256 rate = _mm256_set1_ps(float(run.rate));
    const __m256 inverse = _mm256_set1_ps(1.0f / float(run.rate));
    const __m256 one = _mm256_set1_ps(1.0f);
    const __m256 total = _mm256_add_ps(_mm256_set1_ps(float(run.fraction)), steps);
    __m256 whole = _mm256_floor_ps(_mm256_mul_ps(total, inverse));
    __m256 rest = _mm256_fnmadd_ps(whole, rate, total);
    const __m256 under = _mm256_cmp_ps(rest, _mm256_setzero_ps(), _CMP_LT_OQ);
    whole = _mm256_sub_ps(whole, _mm256_and_ps(under, one));
    rest = _mm256_add_ps(rest, _mm256_and_ps(under, rate));
    const __m256 over = _mm256_cmp_ps(rest, rate, _CMP_GE_OQ);
    whole = _mm256_add_ps(whole, _mm256_and_ps(over, one));
    rest = _mm256_sub_ps(rest, _mm256_and_ps(over, rate));
    const auto stepPart = static_cast<uint32_t>(8ull * run.frequency % run.rate);
    return {run.start,
            run.fraction,
            rest,
            _mm256_cvttps_epi32(whole),
            8ull * run.frequency / run.rate,
            stepPart,
            run.rate,
            _mm256_set1_ps(float(stepPart)),
            rate};
  }

  // Eight frames on, as SixteenCursors::Advance (a true comparison is -1, so subtracting
  // it adds the frame).
  ZA32_AVX2 void Advance() {
    index += stepWhole;
    fraction += stepPart;
    const bool carried = fraction >= outputRate;
    if (carried) {
      fraction -= outputRate;
      ++index;
    }
    rest = _mm256_add_ps(rest, part);
    const __m256 carries = _mm256_cmp_ps(rest, rate, _CMP_GE_OQ);
    rest = _mm256_sub_ps(rest, _mm256_and_ps(carries, rate));
    offset = _mm256_sub_epi32(_mm256_sub_epi32(offset, _mm256_castps_si256(carries)),
                              _mm256_set1_epi32(carried));
  }
};

// The cubic with each output frame in a lane of its own: eight frames' cursors side by
// side (EightCursors), their taps picked out of a Window (by `window`, from the frame of the
// first one's x[-1]) by permutation, and the four polynomials evaluated lane by lane.
// Only where EightWithinSixteen. Returns where the cursor stopped, as above.
template <typename Frames>
ZA32_AVX2 inline Stepped CubicPickedAvx2(const VoiceRun& run, Frames window, float* outLeft,
                                         float* outRight, float scale) {
  const __m256 inverse = _mm256_set1_ps(1.0f / float(run.rate));
  const __m256 half = _mm256_set1_ps(0.5f);
  const __m256 one = _mm256_set1_ps(1.0f);
  const __m256i seven = _mm256_set1_epi32(7);
  const __m256 gainLeft = _mm256_set1_ps(run.gainLeft * scale);
  const __m256 gainRight = _mm256_set1_ps(run.gainRight * scale);

  EightCursors cursors = EightCursors::From(run);
  size_t k = 0;
  for (; k + 8 <= run.frames; k += 8) {
    const __m256i at0 = cursors.offset; // x[-1] of each frame, in the window

    const __m256 t = _mm256_mul_ps(cursors.rest, inverse);
    const __m256 t2 = _mm256_mul_ps(t, t);
    const __m256 cm1 =
        _mm256_mul_ps(t, _mm256_fmadd_ps(t, _mm256_fnmadd_ps(half, t, one), _mm256_set1_ps(-0.5f)));
    const __m256 c0 =
        _mm256_fmadd_ps(t2, _mm256_fmadd_ps(_mm256_set1_ps(1.5f), t, _mm256_set1_ps(-2.5f)), one);
    const __m256 c1 = _mm256_mul_ps(
        t,
        _mm256_fmadd_ps(t, _mm256_fnmadd_ps(_mm256_set1_ps(1.5f), t, _mm256_set1_ps(2.0f)), half));
    const __m256 c2 = _mm256_mul_ps(t2, _mm256_fmsub_ps(half, t, half));

    const Window w = window(cursors.index - 1);
    __m256 l[4], r[4];
    for (int j = 0; j < 4; ++j) {
      const __m256i at = _mm256_add_epi32(at0, _mm256_set1_epi32(j));
      const __m256 high = _mm256_castsi256_ps(_mm256_cmpgt_epi32(at, seven));
      l[j] = _mm256_blendv_ps(_mm256_permutevar8x32_ps(w.lowLeft, at),
                              _mm256_permutevar8x32_ps(w.highLeft, at), high);
      r[j] = _mm256_blendv_ps(_mm256_permutevar8x32_ps(w.lowRight, at),
                              _mm256_permutevar8x32_ps(w.highRight, at), high);
    }
    auto interpolate = [&](const __m256* x) ZA32_AVX2 {
      return _mm256_fmadd_ps(
          c2, x[3], _mm256_fmadd_ps(c1, x[2], _mm256_fmadd_ps(c0, x[1], _mm256_mul_ps(cm1, x[0]))));
    };
    _mm256_storeu_ps(outLeft + k,
                     _mm256_fmadd_ps(gainLeft, interpolate(l), _mm256_loadu_ps(outLeft + k)));
    _mm256_storeu_ps(outRight + k,
                     _mm256_fmadd_ps(gainRight, interpolate(r), _mm256_loadu_ps(outRight + k)));

    cursors.Advance();
  }
  return {k, cursors.index, cursors.fraction};
}

ZA32_AVX2 void CubicAvx2(const VoiceRun& run, const SincKernel*, float* outLeft, float* outRight) {
  const float* left = run.left;
  const float* right = run.right;
  const auto taps = [&](size_t at) ZA32_AVX2 {
    return _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_loadu_ps(left + at)),
                                _mm_loadu_ps(right + at), 1);
  };
  const auto window = [&](size_t at) ZA32_AVX2 {
    return Window{_mm256_loadu_ps(left + at), _mm256_loadu_ps(left + at + 8),
                  _mm256_loadu_ps(right + at), _mm256_loadu_ps(right + at + 8)};
  };
  const Stepped done = EightWithinSixteen(run)
                           ? CubicPickedAvx2(run, window, outLeft, outRight, 1.0f)
                           : CubicAvx2Of(run, taps, outLeft, outRight, 1.0f);
  if (done.frames < run.frames) {
    VoiceRun tail = run;
    tail.start = done.index;
    tail.fraction = done.fraction;
    tail.frames = run.frames - done.frames;
    PortableResamplers().cubic(tail, nullptr, outLeft + done.frames, outRight + done.frames);
  }
}

// A frame's two 16-bit samples in one 32-bit lane, the left one in the low half, as
// floats: the left moved to the top and shifted back down with its sign.
ZA32_AVX2 inline __m256 LeftOf(__m256i pairs) {
  return _mm256_cvtepi32_ps(_mm256_srai_epi32(_mm256_slli_epi32(pairs, 16), 16));
}
ZA32_AVX2 inline __m256 RightOf(__m256i pairs) {
  return _mm256_cvtepi32_ps(_mm256_srai_epi32(pairs, 16));
}

// Eight frames at a time, each frame one 32-bit lane.
ZA32_AVX2 void DecodeStereo16Avx2(const void* from, size_t count, float* left, float* right) {
  const auto* bytes = static_cast<const BYTE*>(from);
  const __m256 scale = _mm256_set1_ps(1.0f / 32768);
  size_t i = 0;
  for (; i + 8 <= count; i += 8) {
    if (i % 16 == 0) // a line a 16 frames
      _mm_prefetch(reinterpret_cast<const char*>(bytes + 4 * (i + kPrefetchFrames)), _MM_HINT_T0);
    const __m256i frames = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + 4 * i));
    _mm256_storeu_ps(left + i, _mm256_mul_ps(LeftOf(frames), scale));
    _mm256_storeu_ps(right + i, _mm256_mul_ps(RightOf(frames), scale));
  }
  if (i < count)
    PortableResamplers().decodeStereo16(bytes + 4 * i, count - i, left + i, right + i);
}

// The cubic on 16-bit stereo read where it lies: a frame's four taps of both sides are
// 16 bytes, widened to eight 32-bit lanes (l r l r ...) and put in order [left x4 | right
// x4]. The full scale (1 / 32768, a power of two) goes into the gains, so the sums are the
// float cubic's on the decoded run, bit for bit.
ZA32_AVX2 void CubicStereo16Avx2(const VoiceRun& run, const void* data, float* outLeft,
                                 float* outRight) {
  const auto* frames = static_cast<const int32_t*>(data);
  const __m256i order = _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7);
  const auto taps = [&](size_t at) ZA32_AVX2 {
    const __m128i pairs = _mm_loadu_si128(reinterpret_cast<const __m128i*>(frames + at));
    return _mm256_permutevar8x32_ps(_mm256_cvtepi32_ps(_mm256_cvtepi16_epi32(pairs)), order);
  };
  const auto window = [&](size_t at) ZA32_AVX2 {
    _mm_prefetch(reinterpret_cast<const char*>(frames + at + kPrefetchFrames), _MM_HINT_T0);
    const __m256i low = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(frames + at));
    const __m256i high = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(frames + at + 8));
    return Window{LeftOf(low), LeftOf(high), RightOf(low), RightOf(high)};
  };
  const Stepped done = EightWithinSixteen(run)
                           ? CubicPickedAvx2(run, window, outLeft, outRight, 1.0f / 32768)
                           : CubicAvx2Of(run, taps, outLeft, outRight, 1.0f / 32768);
  if (done.frames < run.frames) {
    // The last few frames on their window decoded, by the float cubic.
    const size_t tail = run.frames - done.frames;
    const size_t reach =
        static_cast<size_t>((uint64_t{done.fraction} + uint64_t{run.frequency} * (tail - 1)) /
                            run.rate) +
        kCubicBefore + kCubicAfter + 1;
    constexpr size_t kMostFrames = 8 * (DSBFREQUENCY_MAX / 22050 + 1) + 8;
    alignas(32) float left[kMostFrames];
    alignas(32) float right[kMostFrames];
    DecodeStereo16Avx2(frames + done.index - kCubicBefore, std::min(reach, kMostFrames), left,
                       right);
    VoiceRun last = run;
    last.left = left;
    last.right = right;
    last.start = kCubicBefore;
    last.fraction = done.fraction;
    last.frames = tail;
    PortableResamplers().cubic(last, nullptr, outLeft + done.frames, outRight + done.frames);
  }
}

// One output frame's dot products of both sides with the kernel's row for its fraction
// (interpolated between two rows), still spread over eight lanes each. Taps as in the
// AVX-512 set: known when compiling for the common widths, else 0 and `taps` says.
struct SincFrame {
  __m256 left;
  __m256 right;
};

template <bool Mono, unsigned Taps>
ZA32_AVX2 inline SincFrame SincProducts(const float* row, unsigned taps, float between,
                                        const float* l, const float* r) {
  if (Taps)
    taps = Taps;
  const __m256 b = _mm256_set1_ps(between);
  const float* next = row + taps;
  __m256 accLeft = _mm256_setzero_ps();
  __m256 accRight = _mm256_setzero_ps();
  for (unsigned j = 0; j < taps; j += 8) {
    const __m256 here = _mm256_loadu_ps(row + j);
    const __m256 c = _mm256_fmadd_ps(b, _mm256_sub_ps(_mm256_loadu_ps(next + j), here), here);
    accLeft = _mm256_fmadd_ps(c, _mm256_loadu_ps(l + j), accLeft);
    if (!Mono)
      accRight = _mm256_fmadd_ps(c, _mm256_loadu_ps(r + j), accRight);
  }
  return {accLeft, Mono ? accLeft : accRight};
}

// Eight vectors' lane sums in one vector, in order: the horizontal additions of a
// transposition instead of each vector summed on its own.
ZA32_AVX2 inline __m256 SumEight(const __m256* v) {
  const __m256 pairs0 = _mm256_hadd_ps(v[0], v[1]);
  const __m256 pairs1 = _mm256_hadd_ps(v[2], v[3]);
  const __m256 pairs2 = _mm256_hadd_ps(v[4], v[5]);
  const __m256 pairs3 = _mm256_hadd_ps(v[6], v[7]);
  const __m256 quads0 = _mm256_hadd_ps(pairs0, pairs1); // v0 v1 v2 v3, halves of each lane
  const __m256 quads1 = _mm256_hadd_ps(pairs2, pairs3); // v4 v5 v6 v7
  return _mm256_add_ps(_mm256_permute2f128_ps(quads0, quads1, 0x20),
                       _mm256_permute2f128_ps(quads0, quads1, 0x31));
}

template <bool Mono, unsigned Taps>
ZA32_AVX2 void SincAvx2Of(const VoiceRun& run, const SincKernel* kernel, float* outLeft,
                          float* outRight) {
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
  auto products = [&]() ZA32_AVX2 {
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
  const __m256 gainLeft = _mm256_set1_ps(run.gainLeft);
  const __m256 gainRight = _mm256_set1_ps(run.gainRight);
  size_t k = 0;
  for (; k + 8 <= run.frames; k += 8) {
    __m256 lefts[8];
    __m256 rights[8];
#pragma GCC unroll 8
    for (int f = 0; f < 8; ++f) {
      const SincFrame frame = products();
      lefts[f] = frame.left;
      rights[f] = frame.right;
    }
    _mm256_storeu_ps(outLeft + k,
                     _mm256_fmadd_ps(gainLeft, SumEight(lefts), _mm256_loadu_ps(outLeft + k)));
    const __m256 y = Mono ? SumEight(lefts) : SumEight(rights);
    _mm256_storeu_ps(outRight + k, _mm256_fmadd_ps(gainRight, y, _mm256_loadu_ps(outRight + k)));
  }
  for (; k < run.frames; ++k) {
    const SincFrame frame = products();
    const __m128 sums = SumPair(frame.left, frame.right);
    outLeft[k] += run.gainLeft * _mm_cvtss_f32(sums);
    outRight[k] += run.gainRight * _mm_cvtss_f32(_mm_movehdup_ps(sums));
  }
}

template <bool Mono>
ZA32_AVX2 void SincAvx2Dispatch(const VoiceRun& run, const SincKernel* kernel, float* outLeft,
                                float* outRight) {
  switch (kernel->taps) {
  case 32: // at or below the output rate
    return SincAvx2Of<Mono, 32>(run, kernel, outLeft, outRight);
  case 40:
    return SincAvx2Of<Mono, 40>(run, kernel, outLeft, outRight);
  case 48:
    return SincAvx2Of<Mono, 48>(run, kernel, outLeft, outRight);
  case 56:
    return SincAvx2Of<Mono, 56>(run, kernel, outLeft, outRight);
  case 64: // up to twice the output rate
    return SincAvx2Of<Mono, 64>(run, kernel, outLeft, outRight);
  default:
    return SincAvx2Of<Mono, 0>(run, kernel, outLeft, outRight);
  }
}

ZA32_AVX2 void SincAvx2(const VoiceRun& run, const SincKernel* kernel, float* outLeft,
                        float* outRight) {
  if (run.left == run.right)
    SincAvx2Dispatch<true>(run, kernel, outLeft, outRight);
  else
    SincAvx2Dispatch<false>(run, kernel, outLeft, outRight);
}

const Resamplers kAvx2{EqualRateAvx2,      CubicAvx2,         SincAvx2,     "avx2",
                       DecodeStereo16Avx2, CubicStereo16Avx2, AddScaledAvx2};

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
