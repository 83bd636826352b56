// The voice rules against their tables of values, exactly.
#include "performance/voice_rules.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

struct LevelCase {
  int32_t velocity;
  int32_t volume;
  int32_t level;
};

TEST(LevelRule, MatchesTheTable) {
  const LevelCase cases[] = {
      {127, 127, 0},    {127, -1, 0},    {126, 127, -15},  {96, 127, -488},
      {64, 127, -992},  {127, 64, -992}, {100, 100, -759}, {64, 64, -1492},
      {32, 127, -1496}, {1, 127, -1984}, {1, 1, -1999},    {0, 127, -2000},
      {0, 0, -2000},    {0, -1, -2000},  {127, 0, -2000},  {50, 0, -2000},
  };
  for (const LevelCase& c : cases) {
    EXPECT_EQ(LevelRule(c.velocity, c.volume), c.level)
        << "velocity " << c.velocity << " volume " << c.volume;
  }
}

TEST(LevelRule, StaysWithinTheKeyRangeAndVolumeMinusOneIs127) {
  for (int32_t v = 0; v <= 127; ++v) {
    EXPECT_EQ(LevelRule(v, -1), LevelRule(v, 127));
    for (int32_t volume = 0; volume <= 127; ++volume) {
      const int32_t level = LevelRule(v, volume);
      ASSERT_GE(level, -2000);
      ASSERT_LE(level, 0);
    }
  }
}

TEST(LevelRule, ValuesAbove127GiveLevelsAboveZeroWithoutOverflow) {
  EXPECT_GT(LevelRule(65535, 127), 0);
  EXPECT_EQ(LevelRule(INT32_MAX, INT32_MAX), INT32_MAX);
}

TEST(PanRule, MatchesTheTable) {
  const int32_t pans[][2] = {{0, -10000}, {1, -1968},   {2, -1937},   {32, -1000},   {63, -31},
                             {64, 0},     {65, 31},     {96, 1000},   {97, 1062},    {98, 1093},
                             {126, 1968}, {127, 10000}, {128, 10000}, {65535, 10000}};
  for (const auto& p : pans) {
    EXPECT_EQ(PanRule(p[0]), p[1]) << "pan " << p[0];
  }
}

TEST(PanRule, HostValuesFarOutsideTheRangeLandOnTheEnds) {
  EXPECT_EQ(PanRule(INT32_MAX), 10000);
  EXPECT_EQ(PanRule(-1), -10000);
  EXPECT_EQ(PanRule(INT32_MIN), -10000);
}

TEST(BendFactor, MatchesTheTable) {
  EXPECT_EQ(BendFactor(1, 0), 0.5f);
  EXPECT_EQ(BendFactor(1, 1), 0.50393701f);
  EXPECT_EQ(BendFactor(1, 32), 0.66666669f);
  EXPECT_EQ(BendFactor(1, 63), 0.98461539f);
  EXPECT_EQ(BendFactor(1, 64), 1.0f);
  EXPECT_EQ(BendFactor(1, 65), 1.015625f);
  EXPECT_EQ(BendFactor(1, 96), 1.5f);
  EXPECT_EQ(BendFactor(1, 126), 1.96875f);
  EXPECT_EQ(BendFactor(1, 127), 2.0f);
  EXPECT_EQ(BendFactor(1, 128), 2.0f);
  EXPECT_EQ(BendFactor(1, 256), 4.0f);
}

TEST(BendFactor, IsOneForAKeyThatIgnoresTheBend) {
  for (int32_t b : {0, 1, 32, 64, 96, 127, 256}) {
    EXPECT_EQ(BendFactor(0, b), 1.0f) << b;
  }
}

TEST(FineTuneFactor, MatchesTheTable) {
  EXPECT_EQ(FineTuneFactor(0), 0.97916669f);
  EXPECT_EQ(FineTuneFactor(25), 0.98611110f);
  EXPECT_EQ(FineTuneFactor(49), 0.99918300f);
  EXPECT_EQ(FineTuneFactor(50), 1.0f);
  EXPECT_EQ(FineTuneFactor(51), 1.00083327f);
  EXPECT_EQ(FineTuneFactor(75), 1.02083337f);
  EXPECT_EQ(FineTuneFactor(100), 1.04166663f);
}

KeyRecord Key(int32_t note, int32_t fineTune, int32_t pitchBend) {
  KeyRecord key;
  std::memset(&key, 0, sizeof key);
  key.Note = note;
  key.FineTune = fineTune;
  key.PitchBend = pitchBend;
  return key;
}

DWORD Frequency(DWORD rate, const KeyRecord& key, int32_t bend) {
  DWORD frequency = 0xDEADBEEF;
  EXPECT_TRUE(KeyFrequency(rate, key, bend, &frequency));
  return frequency;
}

TEST(KeyFrequency, WorkedRowsTruncateThreeTimesInOrder) {
  EXPECT_EQ(Frequency(22050, Key(72, 50, 0), 64), 44100u);
  EXPECT_EQ(Frequency(22050, Key(72, 50, 1), 64), 44100u);
  EXPECT_EQ(Frequency(22050, Key(67, 50, 1), 0), 16537u);
  // 5512.5 is cut to 5512 before the bend doubles it.
  EXPECT_EQ(Frequency(11025, Key(48, 50, 1), 127), 11024u);
  // Fine tune 75 times bend 96 rounds to 1.53125 in single precision.
  EXPECT_EQ(Frequency(22050, Key(61, 75, 1), 96), 36054u);
}

TEST(KeyFrequency, Notes60And72And143) {
  EXPECT_EQ(Frequency(22050, Key(60, 50, 0), 64), 22050u);
  EXPECT_EQ(Frequency(44100, Key(60, 50, 0), 0), 44100u); // bend ignored
  EXPECT_EQ(Frequency(22050, Key(72, 50, 0), 64), 44100u);
  // Note 143: ratio 1.89844, octave factor 48 (not 64).
  const DWORD r1 = static_cast<DWORD>(1000 * static_cast<double>(1.89844f));
  EXPECT_EQ(r1, 1898u);
  EXPECT_EQ(Frequency(1000, Key(143, 50, 0), 64), 1898u * 48u);
  EXPECT_EQ(Frequency(1000, Key(0, 50, 0), 64), 31u); // 1000 / 32, truncated
}

TEST(KeyFrequency, SemitonesFollowTheStoredSinglePrecisionTable) {
  // 1.6018 is stored as 1.60179996..., so 10000 Hz gives 16017, not 16018.
  const DWORD expected[12] = {10000, 10678, 11250, 12013, 12656, 13515,
                              14238, 15000, 16017, 16875, 18020, 18984};
  for (int32_t i = 0; i < 12; ++i) {
    EXPECT_EQ(Frequency(10000, Key(60 + i, 50, 0), 64), expected[i]) << "note " << 60 + i;
  }
}

TEST(KeyFrequency, NotesOutsideTheTablesGiveNoFrequency) {
  for (int32_t note : {-1, -12, 144, 1000, INT32_MIN, INT32_MAX}) {
    DWORD frequency = 12345;
    EXPECT_FALSE(KeyFrequency(22050, Key(note, 50, 0), 64, &frequency)) << note;
    EXPECT_EQ(frequency, 12345u);
  }
}

TEST(KeyFrequency, ExtremeHostValuesStopAtTheIntegerRange) {
  DWORD frequency = 0;
  EXPECT_TRUE(KeyFrequency(200000, Key(143, 65535, 1), 65535, &frequency));
  EXPECT_EQ(frequency, static_cast<DWORD>(INT32_MAX));
}

TEST(TruncateToInt32, DropsTheFractionTowardZero) {
  EXPECT_EQ(TruncateToInt32(-759.99), -759);
  EXPECT_EQ(TruncateToInt32(36054.8125), 36054);
  EXPECT_EQ(TruncateToInt32(-0.5), 0);
  EXPECT_EQ(TruncateToInt32(1e300), INT32_MAX);
  EXPECT_EQ(TruncateToInt32(-1e300), INT32_MIN);
}

} // namespace
