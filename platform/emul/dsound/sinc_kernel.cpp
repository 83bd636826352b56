#include "sinc_kernel.h"

#include "formats.h"

#include <array>
#include <cmath>
#include <memory>
#include <mutex>

namespace dsemu {
namespace {

constexpr double kBeta = 6.76;
constexpr double kStepsPerOctave = 24;
// Grid steps up to the fastest play, 200,000 / 44,100 = 2^2.18.
constexpr size_t kKernels = 54;

double BesselI0(double x) {
  double sum = 1.0;
  double term = 1.0;
  for (int k = 1; k < 64; ++k) {
    term *= (x / (2 * k)) * (x / (2 * k));
    sum += term;
    if (term < sum * 1e-17)
      break;
  }
  return sum;
}

size_t GridIndex(DWORD frequency) {
  if (frequency <= kOutputRate)
    return 0;
  const double steps = kStepsPerOctave * std::log2(double(frequency) / kOutputRate);
  size_t index = static_cast<size_t>(std::ceil(steps - 1e-9));
  return index < kKernels ? index : kKernels - 1;
}

std::unique_ptr<SincKernel> BuildKernel(size_t index) {
  auto kernel = std::make_unique<SincKernel>();
  kernel->widening = std::exp2(index / kStepsPerOctave);
  unsigned half = static_cast<unsigned>(std::ceil(16 * kernel->widening));
  half = (half + 3) / 4 * 4;
  kernel->half = half;
  kernel->taps = 2 * half;
  const unsigned taps = kernel->taps;
  kernel->storage.resize((SincKernel::kPhases + 1) * taps + 16);
  const auto address = reinterpret_cast<uintptr_t>(kernel->storage.data());
  kernel->offset = ((64 - address % 64) % 64) / sizeof(float);
  float* rows = kernel->storage.data() + kernel->offset;
  for (unsigned phase = 0; phase <= SincKernel::kPhases; ++phase) {
    const double t = double(phase) / SincKernel::kPhases;
    std::vector<double> row(taps);
    double sum = 0;
    for (unsigned j = 0; j < taps; ++j) {
      row[j] = SincKernelValue(*kernel, double(j) - half + 1 - t);
      sum += row[j];
    }
    // Each row sums to one, so that a constant comes through unchanged.
    for (unsigned j = 0; j < taps; ++j)
      rows[phase * taps + j] = static_cast<float>(row[j] / sum);
  }
  return kernel;
}

} // namespace

double SincKernelValue(const SincKernel& kernel, double distance) {
  const double u = distance / kernel.half;
  if (u <= -1.0 || u >= 1.0)
    return 0.0;
  const double cutoff = 1.0 / kernel.widening;
  const double x = M_PI * cutoff * distance;
  const double sinc = x == 0 ? 1.0 : std::sin(x) / x;
  return cutoff * sinc * BesselI0(kBeta * std::sqrt(1 - u * u)) / BesselI0(kBeta);
}

const SincKernel& SincKernelFor(DWORD frequency) {
  // Never destroyed: a mixer thread may still run while the process exits.
  static auto* built = new std::array<std::once_flag, kKernels>;
  static auto* kernels = new std::array<std::unique_ptr<SincKernel>, kKernels>;
  const size_t index = GridIndex(frequency);
  std::call_once((*built)[index], [index] { (*kernels)[index] = BuildKernel(index); });
  return *(*kernels)[index];
}

} // namespace dsemu
