// What the host adds over the engine's keys, rendered by the za32 program: velocity
// layers, round robin and choke groups; and the render's output formats and stems.
#include "run_za32.h"

#include "kit/trigger_map.h"
#include "tests/dsound/signal_analysis.h"
#include "tests/support/temp_dir.h"

#include "platform/emul/dsound/sample_conversion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <tuple>

namespace {

using dsound_test::Amplitude;
using dsound_test::Channel;
using dsound_test::Pitch;

constexpr double kStepFrames = 44100 * 60.0 / (120 * 4);

std::vector<int16_t> Tone(double frequency, double seconds) {
  std::vector<int16_t> out(size_t(seconds * 44100));
  for (size_t i = 0; i < out.size(); ++i)
    out[i] =
        int16_t(std::lround(0.5 * 32767 * std::sin(2 * std::numbers::pi * frequency * i / 44100)));
  return out;
}

// Soft and loud layers on trigger 36, two keys taken in turn on 50, and an open hat
// that the closed one chokes.
const char* kKit = R"({"keys": [
  {"sample": "300.wav", "key": 36, "velocity": [1, 63]},
  {"sample": "600.wav", "key": 128, "trigger": 36, "velocity": [64, 127]},
  {"sample": "440.wav", "key": 50},
  {"sample": "880.wav", "key": 129, "trigger": 50},
  {"sample": "open.wav", "key": 46, "group": "hat"},
  {"sample": "closed.wav", "key": 42, "group": "hat"}]})";
const char* kPattern = R"({"tempo": 120, "steps": 16, "tracks": {
  "36": [{"step": 0, "velocity": 40}, {"step": 1, "velocity": 120}],
  "50": [4, 5, 6], "46": [8], "42": [10]}})";

class KitFeatures : public testing::Test {
protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir;
    for (int f : {300, 600, 440, 880})
      WriteWav(dir_->path() / (std::to_string(f) + ".wav"), 44100, 1, Tone(f, 0.08));
    WriteWav(dir_->path() / "open.wav", 44100, 1, Tone(1000, 1.5));
    WriteWav(dir_->path() / "closed.wav", 44100, 1, Tone(2000, 0.08));
    WriteText(dir_->path() / "kit.json", kKit);
    WriteText(dir_->path() / "pattern.json", kPattern);
    RunResult run = RunZa32({"render", "kit.json", "pattern.json", "-o", "mix.wav"}, dir_->path());
    ASSERT_EQ(run.status, 0) << run.err;
    mix_ = new Wav(ReadWav(dir_->path() / "mix.wav"));
  }
  static void TearDownTestSuite() {
    delete mix_;
    delete dir_;
  }
  // The left channel during most of step `step`, after the device's period.
  static std::vector<double> Step(double step) {
    size_t from = size_t(step * kStepFrames) + 300;
    std::vector<double> left = Channel(mix_->samples, 0, from);
    left.resize(3000);
    return left;
  }
  static TempDir* dir_;
  static Wav* mix_;
};
TempDir* KitFeatures::dir_ = nullptr;
Wav* KitFeatures::mix_ = nullptr;

TEST_F(KitFeatures, LayersAreChosenByVelocity) {
  EXPECT_NEAR(Pitch(Step(0)), 300, 3);
  EXPECT_NEAR(Pitch(Step(1)), 600, 6);
}

TEST_F(KitFeatures, RoundRobinTakesTheKeysInTurn) {
  EXPECT_NEAR(Pitch(Step(4)), 440, 4);
  EXPECT_NEAR(Pitch(Step(5)), 880, 8);
  EXPECT_NEAR(Pitch(Step(6)), 440, 4);
}

TEST_F(KitFeatures, AHitChokesTheOtherKeysOfItsGroup) {
  EXPECT_GT(Amplitude(Step(9), 1000), 0.2) << "the open hat rings until the closed one";
  EXPECT_LT(Amplitude(Step(11), 1000), 0.001) << "and stops there";
}

TEST(TriggerMapRandom, ASeedChoosesTheSameKeysEveryTime) {
  Kit kit;
  kit.roundRobin = RoundRobin::Random;
  kit.seed = 7;
  for (int code : {50, 128, 129}) {
    KitKey key;
    key.sample = "s.wav";
    key.keyCode = code;
    key.trigger = 50;
    kit.keys.push_back(key);
  }
  auto sequence = [&] {
    TriggerMap map(kit);
    std::vector<int> keys;
    for (int i = 0; i < 24; ++i) {
      std::vector<TriggeredNote> notes;
      map.NoteOn(50, 100, notes);
      keys.push_back(notes.back().keyCode);
    }
    return keys;
  };
  std::vector<int> first = sequence();
  EXPECT_EQ(first, sequence());
  for (int code : {50, 128, 129})
    EXPECT_NE(std::count(first.begin(), first.end(), code), 0) << code;
}

TEST(TriggerMapLayers, AHitOnEitherBoundOfARangePlaysItsKey) {
  Kit kit;
  for (auto [code, trigger, low, high] :
       {std::tuple{36, 36, 1, 63}, {128, 36, 64, 127}, {38, 38, 1, 127}}) {
    KitKey key;
    key.sample = "s.wav";
    key.keyCode = code;
    key.trigger = trigger;
    key.velocityLow = low;
    key.velocityHigh = high;
    kit.keys.push_back(key);
  }
  TriggerMap map(kit);
  auto played = [&](int trigger, int velocity) {
    std::vector<TriggeredNote> notes;
    map.NoteOn(trigger, velocity, notes);
    map.Reset();
    return notes.empty() ? -1 : notes.back().keyCode;
  };
  for (auto [trigger, velocity, key] : {std::tuple{36, 1, 36},
                                        {36, 63, 36},
                                        {36, 64, 128},
                                        {36, 127, 128},
                                        {38, 1, 38},
                                        {38, 127, 38}})
    EXPECT_EQ(played(trigger, velocity), key) << trigger << " at velocity " << velocity;
}

// Each format holds the 16-bit mix at its own full scale, and so do its stems, which are
// named with its extension.
TEST_F(KitFeatures, EveryFormatHoldsTheMixAtItsOwnScale) {
  RunResult run = RunZa32({"render", "kit.json", "pattern.json", "-o", "ref.wav", "--stems", "ref"},
                          dir_->path());
  ASSERT_EQ(run.status, 0) << run.err;
  // 16-bit WAV and FLAC hold the device's 16 bits; float the mix before that step, which
  // the device's step makes into those 16 bits; 24 bits that mix to within half a step of
  // 24 bits, so 256 times the 16 bits to within half a 16-bit step.
  struct Case {
    const char* format;
    const char* encoding;
    const char* extension;
  };
  auto same = [](const char* encoding, double value, int16_t reference) {
    if (std::string(encoding) == "float32")
      return dsemu::ToSample(static_cast<float>(value)) == reference;
    if (std::string(encoding) == "pcm24")
      return std::fabs(value / 256 - reference) <= 0.5 + 1.0 / 256;
    return value == reference;
  };
  for (Case c : {Case{"wav16", "pcm16", ".wav"}, Case{"wav24", "pcm24", ".wav"},
                 Case{"float", "float32", ".wav"}, Case{"flac", "flac16", ".flac"}}) {
    std::string stems = std::string("stems-") + c.format;
    std::string mix = std::string("mix-") + c.format + c.extension;
    run = RunZa32(
        {"render", "kit.json", "pattern.json", "-o", mix, "--format", c.format, "--stems", stems},
        dir_->path());
    ASSERT_EQ(run.status, 0) << run.err;
    auto expectScaled = [&](const std::filesystem::path& file,
                            const std::vector<int16_t>& reference) {
      RenderedSamples read = ReadRender(file);
      EXPECT_EQ(read.encoding, c.encoding) << file;
      ASSERT_EQ(read.samples.size(), reference.size()) << file;
      size_t wrong = 0;
      size_t between = 0; // values no 16-bit step holds: the mix itself, not its 16 bits
      for (size_t i = 0; i < reference.size(); ++i) {
        wrong += !same(c.encoding, read.samples[i], reference[i]);
        between += std::fmod(read.samples[i] * (c.encoding == std::string("float32") ? 32768 : 1),
                             c.encoding == std::string("pcm24") ? 256 : 1) != 0;
      }
      EXPECT_EQ(wrong, 0u) << file << ", e.g. " << read.samples[300] << " for " << reference[300];
      const bool fine = c.encoding == std::string("float32") || c.encoding == std::string("pcm24");
      EXPECT_EQ(between > 0, fine) << file;
    };
    expectScaled(dir_->path() / mix, mix_->samples);
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir_->path() / "ref")) {
      std::filesystem::path stem = entry.path().filename().replace_extension(c.extension);
      expectScaled(dir_->path() / stems / stem, ReadWav(entry.path()).samples);
      ++files;
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_->path() / stems),
                            std::filesystem::directory_iterator{}),
              files)
        << c.format;
  }
}

TEST_F(KitFeatures, StemsAddUpToTheMix) {
  RunResult run = RunZa32(
      {"render", "kit.json", "pattern.json", "-o", "again.wav", "--stems", "stems"}, dir_->path());
  ASSERT_EQ(run.status, 0) << run.err;
  std::vector<int> sum(mix_->samples.size());
  size_t stems = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir_->path() / "stems")) {
    std::vector<int16_t> stem = ReadWav(entry.path()).samples;
    ASSERT_EQ(stem.size(), sum.size()) << entry.path() << " is aligned with the mix";
    for (size_t i = 0; i < sum.size(); ++i)
      sum[i] += stem[i];
    ++stems;
  }
  EXPECT_EQ(stems, 6u);
  int worst = 0;
  for (size_t i = 0; i < sum.size(); ++i)
    worst = std::max(worst, std::abs(sum[i] - mix_->samples[i]));
  EXPECT_LE(worst, 1);
}

} // namespace

namespace {

// At any rate, each hit starts on the frame its step gives at that rate, and a tone keeps
// its pitch.
TEST_F(KitFeatures, RendersAtTheRateAskedForWithHitsOnTheirFrames) {
  for (uint32_t rate : {48000u, 96000u}) {
    const std::string file = "at-" + std::to_string(rate) + ".wav";
    RunResult run =
        RunZa32({"render", "kit.json", "pattern.json", "-o", file, "--rate", std::to_string(rate)},
                dir_->path());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("frames at " + std::to_string(rate) + " Hz"), std::string::npos);
    const Wav wav = ReadWav(dir_->path() / file);
    EXPECT_EQ(wav.rate, rate);
    const double step = rate * 60.0 / (120 * 4);
    EXPECT_EQ(wav.frames(), size_t(std::llround(16 * step))) << "16 steps, no tail";
    // Step 4 plays the 440 Hz key alone: silence before its frame, sound on it.
    const size_t hit = size_t(std::llround(4 * step));
    EXPECT_EQ(wav.samples[2 * (hit - 1)], 0);
    EXPECT_NE(wav.samples[2 * hit + 2], 0);
    std::vector<double> left = Channel(wav.samples, 0, hit + 100);
    left.resize(rate / 40);
    EXPECT_NEAR(Pitch(left, rate), 440, 2);
  }
  RunResult refused = RunZa32(
      {"render", "kit.json", "pattern.json", "-o", "x.wav", "--rate", "8000"}, dir_->path());
  EXPECT_EQ(refused.status, 2);
}

// Two full-scale hits at once: the 16-bit file clips and says by how much; the float file
// keeps the mix whole, past full scale.
TEST_F(KitFeatures, AClippedMixIsNamedAndKeptWholeInFloat) {
  std::vector<int16_t> loud(4410, 30000);
  WriteWav(dir_->path() / "loud.wav", 44100, 1, loud);
  WriteText(dir_->path() / "loud.json", R"({"keys": [
      {"sample": "loud.wav", "key": 1, "velocity_sense": false},
      {"sample": "loud.wav", "key": 2, "velocity_sense": false}]})");
  WriteText(dir_->path() / "both.json",
            R"({"tempo": 120, "steps": 1, "tail": 0.2, "tracks": {"1": "x", "2": "x"}})");
  RunResult run = RunZa32({"render", "loud.json", "both.json", "-o", "loud16.wav"}, dir_->path());
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("clipped     8820 samples at 16 bits; the mix peaks at +"),
            std::string::npos)
      << run.out;
  run = RunZa32({"render", "loud.json", "both.json", "-o", "loud-float.wav", "--format", "float"},
                dir_->path());
  ASSERT_EQ(run.status, 0) << run.err;
  const RenderedSamples read = ReadRender(dir_->path() / "loud-float.wav");
  EXPECT_GT(*std::max_element(read.samples.begin(), read.samples.end()), 1.5);
}

} // namespace
