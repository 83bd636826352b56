#include "gains.h"

#include <cmath>

namespace dsemu {

float LevelToAmplitude(LONG level) {
  if (level <= DSBVOLUME_MIN)
    return 0.0f;
  if (level >= 0)
    return 1.0f;
  return static_cast<float>(std::pow(10.0, level / 2000.0));
}

ChannelGains GainsFor(LONG volume, LONG pan) {
  const LONG left = volume - (pan > 0 ? pan : 0);
  const LONG right = volume + (pan < 0 ? pan : 0);
  return {LevelToAmplitude(left), LevelToAmplitude(right)};
}

} // namespace dsemu
