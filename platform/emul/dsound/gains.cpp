#include "gains.h"

#include <cmath>

namespace dsemu {
namespace {

// Every level's amplitude, worked out once: the mixer asks for them each block. A plain
// array: nothing to allocate while mixing, nothing to destroy under a mixer thread that
// may still run while the process exits.
struct AmplitudeTable {
  float values[-DSBVOLUME_MIN + 1] = {};
  AmplitudeTable() {
    for (LONG i = 1; i <= -DSBVOLUME_MIN; ++i)
      values[i] = static_cast<float>(std::pow(10.0, (DSBVOLUME_MIN + i) / 2000.0));
  }
};

} // namespace

float LevelToAmplitude(LONG level) {
  static const AmplitudeTable amplitudes;
  if (level <= DSBVOLUME_MIN)
    return 0.0f;
  if (level >= 0)
    return 1.0f;
  return amplitudes.values[level - DSBVOLUME_MIN];
}

ChannelGains GainsFor(LONG volume, LONG pan) {
  const LONG left = volume - (pan > 0 ? pan : 0);
  const LONG right = volume + (pan < 0 ? pan : 0);
  return {LevelToAmplitude(left), LevelToAmplitude(right)};
}

} // namespace dsemu
