#include "sinc_kernel.h"

#include "formats.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <memory>
#include <mutex>
#include <type_traits>

namespace dsemu {
namespace {

constexpr double kBeta = 6.76;
constexpr double kStepsPerOctave = 24;
// Grid steps up to the fastest play into the slowest output, 200,000 / 22,050 = 2^3.18.
constexpr size_t kKernels = 78;

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

size_t GridIndex(DWORD frequency, DWORD rate) {
  if (frequency <= rate)
    return 0;
  const double steps = kStepsPerOctave * std::log2(double(frequency) / rate);
  size_t index = static_cast<size_t>(std::ceil(steps - 1e-9));
  return index < kKernels ? index : kKernels - 1;
}

double Widening(size_t index) {
  return std::exp2(index / kStepsPerOctave);
}

unsigned HalfTaps(double widening) {
  const unsigned half = static_cast<unsigned>(std::ceil(16 * widening));
  return (half + 3) / 4 * 4;
}

std::unique_ptr<SincKernel> BuildKernel(size_t index) {
  auto kernel = std::make_unique<SincKernel>();
  kernel->widening = Widening(index);
  const unsigned half = HalfTaps(kernel->widening);
  kernel->half = half;
  kernel->taps = 2 * half;
  kernel->phases = static_cast<unsigned>(std::ceil(SincKernel::kPhases / kernel->widening - 1e-9));
  const unsigned taps = kernel->taps;
  const unsigned phases = kernel->phases;
  kernel->storage.resize((phases + 1) * taps + 16);
  const auto address = reinterpret_cast<uintptr_t>(kernel->storage.data());
  kernel->offset = ((64 - address % 64) % 64) / sizeof(float);
  float* rows = kernel->storage.data() + kernel->offset;
  for (unsigned phase = 0; phase <= phases; ++phase) {
    const double t = double(phase) / phases;
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

namespace {

// Nothing in it to destroy (a mixer thread may still run while the process exits), and
// it goes with the code when a private copy of the device is unloaded.
struct KernelCache {
  std::mutex building; // held only while a kernel is made
  std::array<std::atomic<SincKernel*>, kKernels> kernels{};
  std::array<bool, kKernels> owned{}; // made here, not taken from the shared table
  std::atomic<void*>* shared = nullptr;
  size_t sharedCount = 0;
};

static_assert(std::is_trivially_destructible_v<KernelCache>);

KernelCache& TheKernels() {
  static KernelCache cache;
  return cache;
}

} // namespace

namespace {

// The grid index of the ratios asked for lately: the mixer asks for every voice's kernel
// every block, and the logarithm costs more than the rest of a short block's set-up. An
// entry packs frequency and rate (18 bits each) above the index (8 bits); 0 is empty.
struct IndexMemo {
  std::array<std::atomic<uint64_t>, 256> entries{};
};

size_t RememberedGridIndex(DWORD frequency, DWORD rate) {
  if (frequency <= rate)
    return 0;
  if (frequency >> 18 || rate >> 18)
    return GridIndex(frequency, rate);
  static IndexMemo memo; // nothing to destroy: it goes with the code
  const uint64_t key = uint64_t{frequency} << 18 | rate;
  std::atomic<uint64_t>& entry = memo.entries[(frequency * 2654435761u ^ rate) >> 24];
  const uint64_t held = entry.load(std::memory_order_relaxed);
  if (held >> 8 == key)
    return static_cast<size_t>(held & 0xFF);
  const size_t index = GridIndex(frequency, rate);
  entry.store(key << 8 | index, std::memory_order_relaxed);
  return index;
}

} // namespace

const SincKernel& SincKernelFor(DWORD frequency, DWORD rate) {
  KernelCache& cache = TheKernels();
  const size_t index = RememberedGridIndex(frequency, rate);
  std::atomic<SincKernel*>& slot = cache.kernels[index];
  if (SincKernel* kernel = slot.load(std::memory_order_acquire))
    return *kernel;
  std::lock_guard guard(cache.building);
  if (SincKernel* kernel = slot.load(std::memory_order_relaxed))
    return *kernel;
  std::atomic<void*>* shared = index < cache.sharedCount ? &cache.shared[index] : nullptr;
  SincKernel* kernel =
      shared ? static_cast<SincKernel*>(shared->load(std::memory_order_acquire)) : nullptr;
  if (!kernel) {
    std::unique_ptr<SincKernel> built = BuildKernel(index);
    void* expected = nullptr;
    if (!shared) {
      kernel = built.release();
      cache.owned[index] = true;
    } else if (shared->compare_exchange_strong(expected, built.get(), std::memory_order_acq_rel)) {
      kernel = built.release(); // the table's for good
    } else {
      kernel = static_cast<SincKernel*>(expected); // another copy made it first
    }
  }
  slot.store(kernel, std::memory_order_release);
  return *kernel;
}

void ShareSincKernels(std::atomic<void*>* slots, size_t count) {
  KernelCache& cache = TheKernels();
  std::lock_guard guard(cache.building);
  cache.shared = slots;
  cache.sharedCount = std::min(count, kKernels);
}

unsigned SincKernelTaps(DWORD frequency, DWORD rate) {
  return 2 * HalfTaps(Widening(GridIndex(frequency, rate)));
}

void ReleaseSincKernels() {
  KernelCache& cache = TheKernels();
  std::lock_guard guard(cache.building);
  for (size_t index = 0; index < kKernels; ++index) {
    SincKernel* kernel = cache.kernels[index].exchange(nullptr);
    if (cache.owned[index])
      delete kernel;
    cache.owned[index] = false;
  }
}

} // namespace dsemu
