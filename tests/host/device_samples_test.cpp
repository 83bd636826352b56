#include "host/outputs/device_samples.h"

#include "platform/emul/dsound/sample_conversion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <random>
#include <vector>

// The block step against the device's own, one sample at a time: ties, both clip points
// and beyond, values that are not numbers, and blocks that end between vector steps.
TEST(DeviceSamples, AreTheDevicesSampleForSampleWithTheirPeak) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float infinity = std::numeric_limits<float>::infinity();
  const std::vector<float> special = {
      0.0f,          -0.0f,         0.5f / 32768,      1.5f / 32768,
      -0.5f / 32768, -2.5f / 32768, 32766.5f / 32768,  32767.5f / 32768,
      1.0f,          -1.0f,         -32768.5f / 32768, 2.0f,
      -3.0f,         infinity,      -infinity,         nan,
      -nan};
  // The left channel's values, then the right's: each begins with the special ones.
  std::vector<float> values;
  std::mt19937 random(7);
  std::uniform_real_distribution<float> level(-1.1f, 1.1f);
  for (size_t end : {100, 200}) {
    values.insert(values.end(), special.begin(), special.end());
    while (values.size() < end)
      values.push_back(level(random));
  }
  for (size_t frames : {size_t{0}, size_t{1}, size_t{7}, size_t{8}, size_t{13}, size_t{100}}) {
    for (size_t shift = 0; shift + frames <= values.size() / 2; shift += 37) {
      const float* left = values.data() + shift;
      const float* right = values.data() + values.size() / 2 + shift;
      std::vector<int16_t> out(2 * frames + 1, 0x5555);
      const int peak = ToDeviceSamples(left, right, frames, out.data());
      int expectedPeak = 0;
      for (size_t i = 0; i < frames; ++i) {
        ASSERT_EQ(out[2 * i], dsemu::ToSample(left[i])) << left[i];
        ASSERT_EQ(out[2 * i + 1], dsemu::ToSample(right[i])) << right[i];
        expectedPeak =
            std::max({expectedPeak, std::abs(int(out[2 * i])), std::abs(int(out[2 * i + 1]))});
      }
      EXPECT_EQ(peak, expectedPeak) << frames;
      EXPECT_EQ(out[2 * frames], 0x5555) << "wrote past the block";
    }
  }
}
