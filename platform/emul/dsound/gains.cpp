#include "gains.h"

#include <cmath>
#include <vector>

namespace dsemu {

float LevelToAmplitude(LONG level) {
  // Every level's amplitude, worked out once: the mixer asks for them each block.
  // Never destroyed: a mixer thread may still run while the process exits.
  static const auto* amplitudes = [] {
    auto* table = new std::vector<float>(-DSBVOLUME_MIN + 1);
    for (size_t i = 1; i < table->size(); ++i)
      (*table)[i] = static_cast<float>(std::pow(10.0, (DSBVOLUME_MIN + LONG(i)) / 2000.0));
    return table;
  }();
  if (level <= DSBVOLUME_MIN)
    return 0.0f;
  if (level >= 0)
    return 1.0f;
  return (*amplitudes)[static_cast<size_t>(level - DSBVOLUME_MIN)];
}

ChannelGains GainsFor(LONG volume, LONG pan) {
  const LONG left = volume - (pan > 0 ? pan : 0);
  const LONG right = volume + (pan < 0 ? pan : 0);
  return {LevelToAmplitude(left), LevelToAmplitude(right)};
}

} // namespace dsemu
