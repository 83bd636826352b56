// MIDI files rendered by za32: hits on the frames the tempo map gives, the gate rule for
// drum hits, channels, pitch bend, and where the render ends.
#include "run_za32.h"

#include "tests/support/midi_files.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

using namespace midifile;

constexpr int kPpqn = 480;
constexpr size_t kSampleFrames = 1000;

// Frames where the left channel rises from silence above a tenth of full scale.
std::vector<size_t> Onsets(const Wav& wav) {
  std::vector<size_t> onsets;
  bool quiet = true;
  for (size_t f = 0; f < wav.frames(); ++f) {
    int v = std::abs(int(wav.samples[f * 2]));
    if (quiet && v > 3000)
      onsets.push_back(f);
    quiet = v == 0;
  }
  return onsets;
}

// Frames from the start to `pulses` at `microseconds` a quarter note after `fromPulses`
// reached at `fromFrame` frames exactly (in microseconds times 44,100).
double At(double fromFrameExact, int fromPulses, int pulses, int microseconds) {
  return fromFrameExact + double(pulses - fromPulses) * microseconds / kPpqn * 44100 / 1e6;
}

class MidiRender : public testing::Test {
protected:
  void SetUp() override {
    // A block of kSampleFrames: loud from its first frame, then silent.
    std::vector<int16_t> hit(kSampleFrames, 16000);
    WriteWav(dir.path() / "hit.wav", 44100, 1, hit);
    WriteText(dir.path() / "kit.json", R"({"keys": [
      {"sample": "hit.wav", "key": 36, "velocity_sense": false},
      {"sample": "hit.wav", "key": 38, "velocity_sense": false},
      {"sample": "hit.wav", "key": 40, "velocity_sense": false, "loop": true}]})");
  }
  RunResult Render(const std::string& song, std::vector<std::string> options = {}) {
    WriteText(dir.path() / "song", song); // no extension: told by its contents
    std::vector<std::string> args = {"render", "kit.json", "song", "-o", "out.wav"};
    args.insert(args.end(), options.begin(), options.end());
    return RunZa32(args, dir.path());
  }
  TempDir dir;
};

TEST_F(MidiRender, TwoTracksWithATempoChangeAndRunningStatusHitOnTheirFrames) {
  // Track 1: the tempo map. Track 2: hits in running status, note-offs as velocity 0.
  std::string tempo = Track({{0, Tempo(500000)}, {960, Tempo(333333)}});
  std::string drums = Track({{0, "\x99\x24\x64"},
                             {10, std::string("\x24\x00", 2)},
                             {470, "\x26\x64"},
                             {10, std::string("\x26\x00", 2)},
                             {950, "\x24\x64"},
                             {5, "\x89\x24\x40"},
                             {476, "\x99\x26\x70"}});
  RunResult run = Render(File(1, kPpqn, {tempo, drums}));
  ASSERT_EQ(run.status, 0) << run.err;
  double change = At(0, 0, 960, 500000);
  std::vector<size_t> expected = {0, size_t(std::llround(At(0, 0, 480, 500000))),
                                  size_t(std::llround(At(change, 960, 1440, 333333))),
                                  size_t(std::llround(At(change, 960, 1921, 333333)))};
  EXPECT_EQ(Onsets(ReadWav(dir.path() / "out.wav")), expected);
}

struct GateCase {
  const char* what;
  std::vector<Event> events;       // format 0, 120 beats a minute: 480 pulses are 22,050 frames
  size_t soundingFrom, soundingTo; // the left channel is loud exactly here
};

class Gate : public MidiRender, public testing::WithParamInterface<GateCase> {};

TEST_P(Gate, DrumHitsRingOutAndLoopsStopAtTheirNoteOff) {
  const GateCase& c = GetParam();
  RunResult run = Render(File(0, kPpqn, {Track(c.events)}), {"--tail", "1"});
  ASSERT_EQ(run.status, 0) << run.err;
  Wav wav = ReadWav(dir.path() / "out.wav");
  size_t first = SIZE_MAX, last = 0;
  for (size_t f = 0; f < wav.frames(); ++f)
    if (wav.samples[f * 2] != 0) {
      first = std::min(first, f);
      last = f + 1;
    }
  EXPECT_EQ(first, c.soundingFrom);
  EXPECT_EQ(last, c.soundingTo);
}

INSTANTIATE_TEST_SUITE_P(
    Notes, Gate,
    testing::Values(GateCase{"one-shot plays to the end despite its early note-off",
                             {{480, "\x90\x24\x64"}, {1, std::string("\x80\x24\x00", 3)}},
                             22050,
                             22050 + kSampleFrames},
                    GateCase{"a hit on a sounding key restarts it",
                             {{480, "\x90\x24\x64"}, {10, "\x90\x24\x64"}},
                             22050,
                             22050 + 459 + kSampleFrames},
                    GateCase{"a loop stops at its note-off",
                             {{480, "\x90\x28\x64"}, {48, std::string("\x80\x28\x00", 3)}},
                             22050,
                             22050 + 2205}),
    CaseName<GateCase>);

TEST_F(MidiRender, ChannelOptionPlaysOneChannel) {
  std::string song = File(0, kPpqn, {Track({{0, "\x90\x24\x64"}, {480, "\x99\x26\x64"}})});
  RunResult run = Render(song, {"--channel", "10"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Onsets(ReadWav(dir.path() / "out.wav")), std::vector<size_t>{22050});
}

TEST_F(MidiRender, EndsWhenTheLastHitHasRungOutOrAfterTheTail) {
  std::string song = File(0, kPpqn, {Track({{480, "\x90\x24\x64"}})});
  ASSERT_EQ(Render(song).status, 0);
  EXPECT_EQ(ReadWav(dir.path() / "out.wav").frames(), 22050 + kSampleFrames);
  ASSERT_EQ(Render(song, {"--tail", "0.5"}).status, 0);
  EXPECT_EQ(ReadWav(dir.path() / "out.wav").frames(), 22050 + 22050u);
  // 0.6 of a frame: the nearest whole frame.
  ASSERT_EQ(Render(song, {"--tail", "0.0000136"}).status, 0);
  EXPECT_EQ(ReadWav(dir.path() / "out.wav").frames(), 22050 + 1u);
  // A loop that is never let go stops 10 s after the last event.
  ASSERT_EQ(Render(File(0, kPpqn, {Track({{480, "\x90\x28\x64"}})})).status, 0);
  EXPECT_EQ(ReadWav(dir.path() / "out.wav").frames(), 22050 + 441000u);
}

TEST_F(MidiRender, NotesWithoutAKeyAreCountedOnceEach) {
  // Two hits of note 50, each with its note-off (one by velocity 0), and one of 36.
  RunResult run = Render(File(0, kPpqn,
                              {Track({{0, "\x90\x32\x64"},
                                      {100, std::string("\x80\x32\x00", 3)},
                                      {200, "\x90\x24\x64"},
                                      {300, "\x90\x32\x64"},
                                      {400, std::string("\x90\x32\x00", 3)}})}));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "za32: song: 2 notes have no key in the kit kit.json\n");
}

TEST_F(MidiRender, NotesGoThroughTheKitsVelocityLayers) {
  WriteWav(dir.path() / "soft.wav", 44100, 1, std::vector<int16_t>(kSampleFrames, 4000));
  WriteText(dir.path() / "kit.json", R"({"keys": [
      {"sample": "soft.wav", "key": 36, "velocity": [1, 64], "velocity_sense": false},
      {"sample": "hit.wav", "key": 300, "trigger": 36, "velocity": [65, 127],
       "velocity_sense": false}]})");
  RunResult run = Render(File(0, kPpqn, {Track({{0, "\x90\x24\x1E"}, {480, "\x90\x24\x6E"}})}));
  ASSERT_EQ(run.status, 0) << run.err;
  Wav wav = ReadWav(dir.path() / "out.wav");
  ASSERT_GT(wav.frames(), 22050u);
  EXPECT_EQ(wav.samples[0], 4000) << "velocity 30 plays the soft layer";
  EXPECT_EQ(wav.samples[22050 * 2], 16000) << "velocity 110 plays the loud layer";
}

TEST_F(MidiRender, PitchBendIsTheBendOfItsTopSevenBits) {
  std::vector<int16_t> sine(44100);
  for (size_t i = 0; i < sine.size(); ++i)
    sine[i] = int16_t(std::lround(8000 * std::sin(2 * std::numbers::pi * 441 * double(i) / 44100)));
  WriteWav(dir.path() / "sine.wav", 44100, 1, sine);
  WriteText(dir.path() / "kit.json",
            R"({"keys": [{"sample": "sine.wav", "key": 36, "bend": true}]})");
  WriteText(dir.path() / "pattern.json", R"({"tempo": 120, "steps": 4, "tracks": {"36": "x..."},
      "changes": [{"step": 0, "pitch_bend": 127}]})");
  ASSERT_EQ(RunZa32({"render", "kit.json", "pattern.json", "-o", "pattern.wav"}, dir.path()).status,
            0);
  // 0x3F80: the top 7 bits are 127, the low 7 bits are not heard.
  RunResult run = Render(File(0, kPpqn,
                              {Track({{0, std::string("\xE0\x00\x7F", 3)},
                                      {0, "\x90\x24\x64"},
                                      {480, std::string("\x80\x24\x00", 3)}})}),
                         {"--tail", "0"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadWav(dir.path() / "out.wav").samples, ReadWav(dir.path() / "pattern.wav").samples);
}

} // namespace
