#include "voice_rules.h"

// Pythagorean chromatic scale, every step reached by rising fifths, stored as the
// rounded decimals (so 3^7/2^11 is 1.06787, not the exact fraction).
const float SemitoneRatios[12] = {1.0f,     1.06787f, 1.125f,  1.20135f, 1.265625f, 1.35152f,
                                  1.42383f, 1.5f,     1.6018f, 1.6875f,  1.80203f,  1.89844f};

// The top octave is 48, not 64: notes 132..143 sound a fourth below the octave above.
const float OctaveFactors[12] = {0.03125f, 0.0625f, 0.125f, 0.25f, 0.5f,  1.0f,
                                 2.0f,     4.0f,    8.0f,   16.0f, 32.0f, 48.0f};

namespace {

// Rounds to single precision here and now. On an x87 unit (the 32-bit Windows build) a
// plain conversion may keep the register's extra precision until some later store.
float RoundToSingle(double value) {
  volatile float rounded = static_cast<float>(value);
  return rounded;
}

} // namespace

int32_t TruncateToInt32(double value) {
  if (value >= 2147483647.0) {
    return INT32_MAX;
  }
  if (value <= -2147483648.0) {
    return INT32_MIN;
  }
  return static_cast<int32_t>(value);
}

int32_t LevelRule(int32_t velocity, int32_t volume) {
  if (volume == -1) {
    volume = 127;
  }
  const float a = RoundToSingle(velocity / 127.0);
  const float g = RoundToSingle(volume * static_cast<double>(a) / 127.0);
  return TruncateToInt32(2000.0 * g - 2000.0);
}

int32_t PanRule(int32_t pan) {
  // 64-bit so that host values far outside 0..127 land on the ends instead of
  // overflowing; within 0..65535 this is the 32-bit arithmetic exactly.
  int64_t p = pan;
  if (p > 96) {
    p += 1;
  }
  const int64_t y = (2000 * p - 128000) / 64;
  if (y >= 2000) {
    return 10000;
  }
  if (y <= -2000) {
    return -10000;
  }
  return static_cast<int32_t>(y);
}

float BendFactor(int32_t pitchBend, int32_t bend) {
  if (pitchBend == 0) {
    return 1.0f;
  }
  if (bend == 127) {
    bend = 128;
  }
  if (bend == 64) {
    return 1.0f;
  }
  if (bend > 64) {
    return RoundToSingle(bend / 64.0);
  }
  // Below the centre the bend is linear in period, so 0 is exactly one octave down.
  return RoundToSingle(1.0 / ((128.0 - bend) / 64.0));
}

float FineTuneFactor(int32_t fineTune) {
  if (fineTune == 50) {
    return 1.0f;
  }
  float t = fineTune > 50 ? RoundToSingle(fineTune * 0.02)
                          : RoundToSingle(1.0 / ((100.0 - fineTune) * 0.02));
  t = RoundToSingle(static_cast<double>(t) - 1.0);
  t = RoundToSingle(static_cast<double>(t) / 24.0);
  return RoundToSingle(static_cast<double>(t) + 1.0);
}

bool KeyFrequency(DWORD rate, const KeyRecord& key, int32_t bend, DWORD* frequency) {
  if (key.Note < 0 || key.Note > 143) {
    return false;
  }
  float factor = BendFactor(key.PitchBend, bend);
  // The rate is cut to whole hertz after each table step, before bend and fine tune.
  const int32_t semitoneRate =
      TruncateToInt32(rate * static_cast<double>(SemitoneRatios[key.Note % 12]));
  const int32_t octaveRate =
      TruncateToInt32(semitoneRate * static_cast<double>(OctaveFactors[key.Note / 12]));
  if (key.FineTune != 50) {
    factor = RoundToSingle(static_cast<double>(FineTuneFactor(key.FineTune)) * factor);
  }
  *frequency = static_cast<DWORD>(TruncateToInt32(octaveRate * static_cast<double>(factor)));
  return true;
}
