#include "platform/emul/dsound/sinc_kernel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace dsound_test {
namespace {

// Midway between two rows, where linear interpolation is furthest off, the coefficients
// stay as close to the ideal kernel's (each row normalised to sum to one), relative to
// the kernel's largest, however wide the kernel and however few its rows. (Next to the
// first and the last row an end tap crosses the window's edge, where the ideal kernel
// steps to zero: a flaw of the window, not of the table, left out here.)
TEST(SincKernel, EveryTableInterpolatesAHundredDecibelsDown) {
  for (DWORD frequency : {44100u, 45000u, 60000u, 88200u, 130000u, 200000u}) {
    const dsemu::SincKernel& kernel = dsemu::SincKernelFor(frequency, 22050);
    SCOPED_TRACE(testing::Message()
                 << frequency << ": " << kernel.taps << " taps, " << kernel.phases << " phases");
    ASSERT_LE(kernel.phases, dsemu::SincKernel::kPhases);
    const float* rows = kernel.Rows();
    double worst = 0;
    double peak = 0;
    for (unsigned phase = 1; phase + 1 < kernel.phases; ++phase) {
      const double t = (phase + 0.5) / kernel.phases;
      std::vector<double> ideal(kernel.taps);
      double sum = 0;
      for (unsigned j = 0; j < kernel.taps; ++j)
        sum += ideal[j] = dsemu::SincKernelValue(kernel, double(j) - kernel.half + 1 - t);
      for (unsigned j = 0; j < kernel.taps; ++j) {
        const float* row = rows + size_t{phase} * kernel.taps;
        const double between = 0.5 * (row[j] + row[j + kernel.taps]);
        worst = std::max(worst, std::abs(between - ideal[j] / sum));
        peak = std::max(peak, ideal[j] / sum);
      }
    }
    EXPECT_LT(20 * std::log10(worst / peak), -100.0);
  }
}

} // namespace
} // namespace dsound_test
