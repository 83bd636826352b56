// The portable resamplers and the run-time choice between instruction sets.
#include "resampler.h"

#include "formats.h"

namespace dsemu {
namespace {

// Steps the cursor (index into the run, fraction) by one output frame.
struct Stepper {
  size_t index;
  uint32_t fraction;
  uint32_t whole;
  uint32_t part;
  uint32_t rate;
  explicit Stepper(const VoiceRun& run)
      : index(run.start), fraction(run.fraction), whole(run.frequency / run.rate),
        part(run.frequency % run.rate), rate(run.rate) {}
  void Next() {
    index += whole;
    fraction += part;
    if (fraction >= rate) {
      fraction -= rate;
      ++index;
    }
  }
};

void EqualRatePortable(const VoiceRun& run, const SincKernel*, float* outLeft, float* outRight) {
  const float* left = run.left + run.start;
  const float* right = run.right + run.start;
  for (size_t k = 0; k < run.frames; ++k) {
    outLeft[k] += run.gainLeft * left[k];
    outRight[k] += run.gainRight * right[k];
  }
}

void CubicPortable(const VoiceRun& run, const SincKernel*, float* outLeft, float* outRight) {
  Stepper step(run);
  const bool mono = run.left == run.right;
  const float inverseRate = 1.0f / static_cast<float>(run.rate);
  for (size_t k = 0; k < run.frames; ++k, step.Next()) {
    const float t = static_cast<float>(step.fraction) * inverseRate;
    const float t2 = t * t;
    const float cm1 = t * (-0.5f + t * (1.0f - 0.5f * t));
    const float c0 = 1.0f + t2 * (-2.5f + 1.5f * t);
    const float c1 = t * (0.5f + t * (2.0f - 1.5f * t));
    const float c2 = t2 * (-0.5f + 0.5f * t);
    const float* l = run.left + step.index - 1;
    const float yl = cm1 * l[0] + c0 * l[1] + c1 * l[2] + c2 * l[3];
    float yr = yl;
    if (!mono) {
      const float* r = run.right + step.index - 1;
      yr = cm1 * r[0] + c0 * r[1] + c1 * r[2] + c2 * r[3];
    }
    outLeft[k] += run.gainLeft * yl;
    outRight[k] += run.gainRight * yr;
  }
}

void SincPortable(const VoiceRun& run, const SincKernel* kernel, float* outLeft, float* outRight) {
  Stepper step(run);
  const unsigned taps = kernel->taps;
  const uint32_t phases = kernel->phases;
  const bool mono = run.left == run.right;
  const float inverseRate = 1.0f / static_cast<float>(run.rate);
  const RateDivider divider(run.rate);
  for (size_t k = 0; k < run.frames; ++k, step.Next()) {
    const uint32_t scaled = step.fraction * phases;
    const uint32_t phase = divider.Quotient(scaled);
    const float between = static_cast<float>(scaled - phase * run.rate) * inverseRate;
    const float* row = kernel->Rows() + size_t{phase} * taps;
    const float* next = row + taps;
    const float* l = run.left + step.index - (kernel->half - 1);
    const float* r = run.right + step.index - (kernel->half - 1);
    float yl = 0;
    float yr = 0;
    for (unsigned j = 0; j < taps; ++j) {
      const float c = row[j] + between * (next[j] - row[j]);
      yl += c * l[j];
      if (!mono)
        yr += c * r[j];
    }
    if (mono)
      yr = yl;
    outLeft[k] += run.gainLeft * yl;
    outRight[k] += run.gainRight * yr;
  }
}

// Read through a type that may alias the buffer's bytes, so the loop vectorises.
typedef int16_t __attribute__((may_alias, aligned(1))) UnalignedInt16;

void DecodeStereo16Portable(const void* from, size_t count, float* left, float* right) {
  const auto* values = static_cast<const UnalignedInt16*>(from);
  for (size_t i = 0; i < count; ++i) {
    left[i] = values[2 * i] * (1.0f / 32768);
    right[i] = values[2 * i + 1] * (1.0f / 32768);
  }
}

void AddScaledPortable(const ScaledRun* runs, size_t count, size_t frames, float* outLeft,
                       float* outRight) {
  for (size_t r = 0; r < count; ++r) {
    const VoiceRun run{runs[r].left,     runs[r].right,    0, 0, 0, frames,
                       runs[r].gainLeft, runs[r].gainRight};
    EqualRatePortable(run, nullptr, outLeft, outRight);
  }
}

const Resamplers kPortable{EqualRatePortable,      CubicPortable, SincPortable,     "portable",
                           DecodeStereo16Portable, nullptr,       AddScaledPortable};

} // namespace

const Resamplers& PortableResamplers() {
  return kPortable;
}

const Resamplers& ChosenResamplers() {
  static const Resamplers* chosen = [] {
    if (const Resamplers* avx512 = Avx512Resamplers())
      return avx512;
    const Resamplers* avx2 = Avx2Resamplers();
    return avx2 ? avx2 : &kPortable;
  }();
  return *chosen;
}

} // namespace dsemu
