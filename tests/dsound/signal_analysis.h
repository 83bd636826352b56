// Measuring rendered sound: the level of one frequency, and the pitch of a tone.
#pragma once

#include <cmath>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace dsound_test {

// One channel of interleaved 16-bit stereo, as floats of full scale 1.
inline std::vector<double> Channel(const std::vector<int16_t>& stereo, int channel,
                                   size_t skip = 0) {
  std::vector<double> out;
  for (size_t i = 2 * skip + channel; i < stereo.size(); i += 2)
    out.push_back(stereo[i] / 32768.0);
  return out;
}

// The amplitude of the component at `frequency` Hz, through a 4-term Blackman-Harris
// window (side lobes 92 dB down), so that neighbouring tones do not leak into it.
inline double Amplitude(const std::vector<double>& x, double frequency, double rate = 44100) {
  const size_t n = x.size();
  std::complex<double> sum = 0;
  double weights = 0;
  for (size_t i = 0; i < n; ++i) {
    const double u = 2 * M_PI * i / (n - 1);
    const double w =
        0.35875 - 0.48829 * std::cos(u) + 0.14128 * std::cos(2 * u) - 0.01168 * std::cos(3 * u);
    sum += w * x[i] * std::polar(1.0, -2 * M_PI * frequency * i / rate);
    weights += w;
  }
  return 2 * std::abs(sum) / weights;
}

inline double Decibels(double ratio) {
  return 20 * std::log10(ratio);
}

// The pitch of a tone, from the times of its first and last rising zero crossings
// (placed between samples by linear interpolation).
inline double Pitch(const std::vector<double>& x, double rate = 44100) {
  double first = -1;
  double last = -1;
  int cycles = -1;
  for (size_t i = 1; i < x.size(); ++i)
    if (x[i - 1] < 0 && x[i] >= 0) {
      const double at = (i - 1) + x[i - 1] / (x[i - 1] - x[i]);
      if (first < 0)
        first = at;
      last = at;
      ++cycles;
    }
  return cycles > 0 ? cycles * rate / (last - first) : 0;
}

} // namespace dsound_test
