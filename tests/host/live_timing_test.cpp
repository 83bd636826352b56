// Live play lands every hit on its frame: a click track played through `za32 play` in
// real time and recorded comes out with the intervals it was written with, first and
// last hit included, on the null output and on a real JACK server.
#include "run_za32.h"

#include "tests/support/jack_server.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// 105 beats a minute, 4 steps a beat: 6,300 frames a step at 44,100 Hz, a click every
// other step.
constexpr size_t kClicks = 8;

// Where click `k` falls at `rate`: its step's frame, rounded to the nearest.
size_t ClickFrame(size_t k, uint32_t rate) {
  return static_cast<size_t>(std::llround(2.0 * k * rate * 60 / (105 * 4)));
}

// A kit of one 32-frame click and a pattern that ends on its last click.
void WriteClickTrack(const TempDir& dir) {
  WriteWav(dir.path() / "click.wav", 44100, 1, std::vector<int16_t>(32, 16000));
  WriteText(dir.path() / "kit.json",
            R"({"keys": [{"sample": "click.wav", "key": 1, "velocity_sense": false}]})");
  WriteText(dir.path() / "pattern.json",
            R"({"tempo": 105, "steps": 15, "tracks": {"1": "x.x.x.x.x.x.x.x"}})");
}

// Frames at which sound starts after silence.
std::vector<size_t> Onsets(const Wav& wav) {
  std::vector<size_t> onsets;
  bool silent = true;
  for (size_t frame = 0; frame < wav.frames(); ++frame) {
    const bool sounding = wav.samples[2 * frame] != 0 || wav.samples[2 * frame + 1] != 0;
    if (sounding && silent)
      onsets.push_back(frame);
    silent = !sounding;
  }
  return onsets;
}

void ExpectClickTrack(const std::filesystem::path& recording, uint32_t rate = 44100) {
  const Wav wav = ReadWav(recording);
  EXPECT_EQ(wav.rate, rate);
  const std::vector<size_t> onsets = Onsets(wav);
  ASSERT_EQ(onsets.size(), kClicks);
  for (size_t i = 1; i < onsets.size(); ++i)
    EXPECT_EQ(onsets[i] - onsets[0], ClickFrame(i, rate)) << "click " << i;
}

TEST(LiveTimingRealTime, ClickTrackOnTheNullOutputIsExactToTheFrame) {
  TempDir dir;
  WriteClickTrack(dir);
  RunResult run = RunZa32({"play", "kit.json", "pattern.json", "--audio", "null", "--period", "128",
                           "--record", "played.wav"},
                          dir.path());
  ASSERT_EQ(run.status, 0) << run.err;
  ExpectClickTrack(dir.path() / "played.wav");
}

// At the server's rate, whatever it is.
TEST(LiveTimingRealTime, ClickTrackOnJackIsExactToTheFrame) {
  for (uint32_t rate : {44100u, 48000u}) {
    JackServer server(128, rate);
    if (!server.ready())
      GTEST_SKIP() << "no JACK server could be started (jackd -d dummy)";
    TempDir dir;
    WriteClickTrack(dir);
    RunResult run =
        RunZa32({"play", "kit.json", "pattern.json", "--audio", "jack", "--record", "played.wav"},
                dir.path());
    ASSERT_EQ(run.status, 0) << run.err;
    ExpectClickTrack(dir.path() / "played.wav", rate);
  }
}

} // namespace
