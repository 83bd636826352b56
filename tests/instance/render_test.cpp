// What an instance renders: the classic device's mix at 44,100 Hz, any rate with pitch
// and timing kept, events at their frames, keys on their buses.
#include "instance_fixture.h"
#include "tests/dsound/signal_analysis.h"
#include "tests/support/engine_fixture.h"

namespace instance_test {
namespace {

using dsound_test::Amplitude;
using dsound_test::Pitch;

std::vector<KeyRecord> PatternKeys(const TempDir& dir) {
  std::vector<KeyRecord> keys;
  keys.push_back(NeutralKey(dir.write("a.wav", wavfile::Wav({1, 2, 44100, 16, {}}, 30000)), 60));
  keys.push_back(NeutralKey(dir.write("b.wav", wavfile::Wav({1, 1, 22050, 16, {}}, 9000)), 61));
  keys.push_back(NeutralKey(dir.write("c.wav", wavfile::Wav({1, 2, 48000, 16, {}}, 20000)), 62));
  keys[0].Pan = 20;
  keys[1].Note = 67;
  keys[1].PitchBend = 1;
  keys[2].Note = 55;
  keys[2].Volume = 90;
  return FullKeyMap(keys);
}

const std::vector<za32::InstanceEvent> kPattern = {
    Note(0, 60, 127),
    Note(1000, 61, 80),
    Note(1000, 62, 127),
    {4000, AM_BEND, static_cast<LPARAM>(MAKELONG(0, 100))},
    Note(9000, 60, 0),
    Note(9001, 60, 64),
    {15000, AM_BEND, static_cast<LPARAM>(MAKELONG(0, 64))},
    Note(20000, 62, 0),
    Note(25000, 61, 0)};
constexpr uint32_t kPatternFrames = 30000;

class InstanceAgainstClassic : public EngineTest {};

TEST_F(InstanceAgainstClassic, At44100TheFloatMixIsTheClassicSixteenBitMix) {
  TempDir dir;
  const std::vector<KeyRecord> keys = PatternKeys(dir);
  ASSERT_TRUE(StartEngine());
  ASSERT_EQ(InitialiseKeyMap(keys.data()), 0);
  std::vector<int16_t> classic(2 * kPatternFrames);
  uint32_t done = 0;
  for (const za32::InstanceEvent& event : kPattern) {
    dsemu::AdvanceFrames(event.frame - done, classic.data() + 2 * done);
    done = event.frame;
    AudioDLLWndProc(EngineWindow, event.message, 0, event.lParam);
  }
  dsemu::AdvanceFrames(kPatternFrames - done, classic.data() + 2 * done);

  za32::InstanceKeys installed;
  std::copy(keys.begin(), keys.end(), installed.records.begin());
  auto instance = OpenWith(44100, installed);
  ASSERT_TRUE(instance);
  // In blocks of 512, each event at its frame inside its block.
  std::vector<float> left;
  std::vector<float> right;
  for (uint32_t start = 0; start < kPatternFrames; start += 512) {
    std::vector<za32::InstanceEvent> events;
    for (za32::InstanceEvent event : kPattern)
      if (event.frame >= start && event.frame < start + 512) {
        event.frame -= start;
        events.push_back(event);
      }
    const Block block = RenderSummed(*instance, std::min(512u, kPatternFrames - start), events);
    left.insert(left.end(), block.left.begin(), block.left.end());
    right.insert(right.end(), block.right.begin(), block.right.end());
  }
  size_t sounding = 0;
  for (size_t k = 0; k < kPatternFrames; ++k) {
    ASSERT_EQ(za32::ToDeviceSample(left[k]), classic[2 * k]) << k;
    ASSERT_EQ(za32::ToDeviceSample(right[k]), classic[2 * k + 1]) << k;
    sounding += classic[2 * k] != 0;
  }
  EXPECT_GT(sounding, kPatternFrames / 2);
  EXPECT_TRUE(instance->TakeBoxes().empty());
}

// At 48 and 96 kHz a note starts at the frame its time gives and a 441 Hz sine stays
// 441 Hz, whatever the sample's own rate.
TEST(InstanceRates, OnsetsAndPitchKeepToTheOutputRate) {
  TempDir dir;
  const za32::InstanceKeys keys = KeysOn({dir.write("a.wav", SineWav(44100, 441, 44100, 0.5)),
                                          dir.write("b.wav", SineWav(22050, 441, 22050, 0.5))});
  for (uint32_t rate : {48000u, 96000u}) {
    for (int code : {60, 61}) {
      SCOPED_TRACE(testing::Message() << rate << " Hz, key " << code);
      auto instance = OpenWith(rate, keys);
      ASSERT_TRUE(instance);
      const uint32_t onset = rate / 10; // 0.1 s
      const Block block = RenderSummed(*instance, rate, {Note(onset, code, 127)});
      for (uint32_t k = 0; k < onset; ++k)
        ASSERT_EQ(block.left[k], 0.0f) << k;
      EXPECT_NEAR(block.left[onset], 0.5f, 0.01f);
      const std::vector<double> tone(block.left.begin() + onset + 100, block.left.end());
      EXPECT_NEAR(Pitch(tone, rate), 441, 0.05);
      EXPECT_NEAR(Amplitude(tone, 441, rate), 0.5, 0.005);
    }
  }
}

TEST(InstanceEvents, AnEventAtFrame37SoundsFromFrame37) {
  TempDir dir;
  auto instance = OpenWith(44100, KeysOn({dir.write("a.wav", SineWav(44100, 441, 4410, 0.5))}));
  ASSERT_TRUE(instance);
  RenderSummed(*instance, 64);
  const Block block = RenderSummed(*instance, 64, {Note(37, 60, 127)});
  for (int k = 0; k < 37; ++k)
    ASSERT_EQ(block.left[k], 0.0f) << k;
  EXPECT_NEAR(block.left[37], 0.5f, 1e-4f);
  // Past the block's end acts at its end.
  const Block late = RenderSummed(*instance, 64, {Note(500, 60, 0)});
  EXPECT_NE(late.left[63], 0.0f);
  EXPECT_EQ(RenderSummed(*instance, 64).left[0], 0.0f);
}

TEST(InstanceBuses, EachKeyPlaysIntoItsBus) {
  TempDir dir;
  za32::InstanceKeys keys = KeysOn({dir.write("low.wav", SineWav(44100, 441, 44100, 0.5)),
                                    dir.write("high.wav", SineWav(44100, 882, 44100, 0.5))});
  keys.buses[1] = 5;
  auto instance = OpenWith(44100, keys);
  ASSERT_TRUE(instance);
  constexpr size_t kFrames = 8820;
  std::vector<std::vector<float>> out(2 * za32::kMaxBuses, std::vector<float>(kFrames));
  za32::BusBuffers buses;
  buses.buses = za32::kMaxBuses;
  for (unsigned b = 0; b < za32::kMaxBuses; ++b) {
    buses.left[b] = out[2 * b].data();
    buses.right[b] = out[2 * b + 1].data();
  }
  const std::vector<za32::InstanceEvent> notes = {Note(0, 60, 127), Note(0, 61, 127)};
  instance->Render(kFrames, notes.data(), notes.size(), buses);
  auto level = [](const std::vector<float>& x, double hz) {
    return Amplitude(std::vector<double>(x.begin(), x.end()), hz);
  };
  EXPECT_NEAR(level(out[0], 441), 0.5, 0.01);
  EXPECT_LT(level(out[0], 882), 1e-3);
  EXPECT_NEAR(level(out[10], 882), 0.5, 0.01);
  EXPECT_LT(level(out[10], 441), 1e-3);
  for (unsigned b : {1u, 2u, 3u, 4u, 6u, 15u})
    EXPECT_EQ(level(out[2 * b], 441) + level(out[2 * b], 882), 0.0) << b;
  // Summed: both.
  const Block sum = RenderSummed(*instance, kFrames);
  EXPECT_NEAR(level(sum.left, 441), 0.5, 0.01);
  EXPECT_NEAR(level(sum.left, 882), 0.5, 0.01);
}

} // namespace
} // namespace instance_test
