// Volume and pan as DirectSound defines them: levels in hundredths of a decibel.
#pragma once

#include "dsound.h"

namespace dsemu {

// 10^(level / 2000): the amplitude of a level of `level` hundredths of a decibel; 0 at
// DSBVOLUME_MIN and below, which is silence.
float LevelToAmplitude(LONG level);

struct ChannelGains {
  float left;
  float right;
};

// The volume applies to both sides; the pan attenuates only the far side, by its own
// amount: pan > 0 lowers the left by `pan`, pan < 0 lowers the right by -pan.
ChannelGains GainsFor(LONG volume, LONG pan);

} // namespace dsemu
