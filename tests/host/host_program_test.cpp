// The za32 program as a user runs it: the demo on a machine without a sound card, one
// key rendered at the pitch and level its settings ask for, and files a user got wrong.
#include "run_za32.h"

#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <numbers>

namespace {

using nlohmann::json;

constexpr double kRate = 44100;
// The sound device mixes in periods of this many frames at most; a message takes
// effect at the latest one period after the frame it is posted at.
constexpr size_t kDevicePeriodFrames = 256;

int Peak(const Wav& wav, size_t from = 0, size_t to = SIZE_MAX) {
  int peak = 0;
  for (size_t i = from * wav.channels; i < std::min(to * wav.channels, wav.samples.size()); ++i)
    peak = std::max(peak, std::abs(int(wav.samples[i])));
  return peak;
}

// Root mean square of one channel between two frames.
double Rms(const Wav& wav, int channel, size_t from, size_t to) {
  double sum = 0;
  for (size_t f = from; f < to; ++f) {
    double v = wav.samples[f * wav.channels + channel];
    sum += v * v;
  }
  return std::sqrt(sum / double(to - from));
}

// Frequency from the rising zero crossings of one channel, each placed between its two
// samples by linear interpolation.
double Pitch(const Wav& wav, int channel, size_t from, size_t to) {
  double first = -1, last = -1;
  int crossings = 0;
  for (size_t f = from + 1; f < to; ++f) {
    double a = wav.samples[(f - 1) * wav.channels + channel];
    double b = wav.samples[f * wav.channels + channel];
    if (a < 0 && b >= 0) {
      double at = double(f - 1) + (-a) / (b - a);
      if (first < 0)
        first = at;
      last = at;
      ++crossings;
    }
  }
  if (crossings < 2)
    return 0;
  return (crossings - 1) * double(wav.rate) / (last - first);
}

double Decibels(double ratio) {
  return 20 * std::log10(ratio);
}

std::vector<int16_t> Sine(uint32_t rate, double frequency, double amplitude, size_t frames) {
  std::vector<int16_t> out(frames);
  for (size_t i = 0; i < frames; ++i)
    out[i] = int16_t(std::lround(amplitude * 32767 *
                                 std::sin(2 * std::numbers::pi * frequency * double(i) / rate)));
  return out;
}

TEST(Demo, RendersAGrooveOnAMachineWithoutASoundCard) {
  TempDir dir;
  RunResult run = RunZa32({"demo", "-o", "groove.wav"}, dir.path());
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find(dir.file("groove.wav")), std::string::npos)
      << "the demo says where the WAV went:\n"
      << run.out;
  Wav wav = ReadWav(dir.path() / "groove.wav");
  ASSERT_EQ(wav.rate, 44100u);
  ASSERT_EQ(wav.channels, 2);

  // As long as the pattern it wrote beside the WAV says.
  json pattern = json::parse(ReadText(dir.path() / "za32-demo-kit" / "pattern.json"));
  double stepFrames =
      kRate * 60 / (pattern["tempo"].get<double>() * pattern["steps_per_beat"].get<double>());
  double steps = pattern["steps"].get<double>() * pattern["repeat"].get<double>();
  double expected = steps * stepFrames + pattern.value("tail", 0.0) * kRate;
  EXPECT_NEAR(double(wav.frames()), expected, 1.0);

  // Sound, and sound all the way through: every second of the passes is audible.
  EXPECT_GT(Peak(wav), 8000);
  for (double second = 0; second + 1 < steps * stepFrames / kRate; ++second)
    EXPECT_GT(Rms(wav, 0, size_t(second * kRate), size_t((second + 1) * kRate)), 300)
        << "second " << second;

  // The first step is the kick's alone, and the first sound comes with it.
  for (auto& [code, steps] : pattern["tracks"].items()) {
    bool onFirstStep = steps.is_string()
                           ? std::string(steps)[0] != '.'
                           : std::any_of(steps.begin(), steps.end(), [](const json& h) {
                               return h.is_number() ? h == 0 : h["step"] == 0;
                             });
    EXPECT_EQ(onFirstStep, code == "36") << "track " << code;
  }
  size_t onset = 0;
  while (onset < wav.frames() && Peak(wav, onset, onset + 1) < 1000)
    ++onset;
  EXPECT_LT(onset, kDevicePeriodFrames);
  // ...and it is the kick: what sounds first is the kick's sample at full volume.
  Wav kick = ReadWav(dir.path() / "za32-demo-kit" / "kick.wav");
  ASSERT_GT(kick.frames(), 2000u);
  double kickRms = Rms(kick, 0, 0, 2000);
  EXPECT_NEAR(Rms(wav, 0, onset, onset + 2000), kickRms, kickRms * 0.1);
}

struct KeyCase {
  const char* what;
  int note, fineTune, volume, pan;
  double frequency;       // of a 441 Hz sample
  double leftDb, rightDb; // level against the sample's
  friend void PrintTo(const KeyCase& c, std::ostream* os) { *os << c.what; }
};

class OneKey : public testing::TestWithParam<KeyCase> {};

TEST_P(OneKey, SoundsAtThePitchAndLevelOfItsSettings) {
  const KeyCase& c = GetParam();
  TempDir dir;
  // 441 Hz at 22,050 Hz: 50 samples a period, so the looping key goes round without a
  // seam.
  WriteWav(dir.path() / "sine.wav", 22050, 1, Sine(22050, 441, 0.5, 22050));
  json kit = {{"keys",
               {{{"sample", "sine.wav"},
                 {"key", 60},
                 {"note", c.note},
                 {"fine_tune", c.fineTune},
                 {"volume", c.volume},
                 {"pan", c.pan},
                 {"loop", true},
                 {"velocity_sense", false}}}}};
  json pattern = {{"tempo", 60},
                  {"steps_per_beat", 1},
                  {"steps", 2},
                  {"tracks", {{"60", {{{"step", 0}, {"length", 1}}}}}}};
  WriteText(dir.path() / "kit.json", kit.dump());
  WriteText(dir.path() / "pattern.json", pattern.dump());
  RunResult run = RunZa32({"render", "kit.json", "pattern.json", "-o", "out.wav"}, dir.path());
  ASSERT_EQ(run.status, 0) << run.err;
  Wav wav = ReadWav(dir.path() / "out.wav");
  ASSERT_EQ(wav.frames(), 2 * 44100u);
  size_t from = 4410, to = 44100 - 4410;
  EXPECT_NEAR(Pitch(wav, 0, from, to), c.frequency, c.frequency * 0.002);
  double sampleRms = 0.5 * 32767 / std::sqrt(2.0);
  EXPECT_NEAR(Decibels(Rms(wav, 0, from, to) / sampleRms), c.leftDb, 0.25);
  EXPECT_NEAR(Decibels(Rms(wav, 1, from, to) / sampleRms), c.rightDb, 0.25);
  // The key sounds for its one step and no longer.
  EXPECT_LT(Peak(wav, 44100 + kDevicePeriodFrames), 2);
}

// Notes are semitones on a Pythagorean scale, 60 the sample's own pitch; fine tune 50 is
// in tune, 0 about 36 cents flat and 100 about 71 cents sharp. Volume 127 is full level
// and 0 is 20 dB down, in a straight line of the amplitude fraction; pan 64 is centre and
// 32 is 10 dB down on the right.
INSTANTIATE_TEST_SUITE_P(
    Settings, OneKey,
    testing::Values(KeyCase{"own pitch", 60, 50, 127, 64, 441, 0, 0},
                    KeyCase{"octave up", 72, 50, 127, 64, 882, 0, 0},
                    KeyCase{"octave down", 48, 50, 127, 64, 220.5, 0, 0},
                    KeyCase{"fifth up", 67, 50, 127, 64, 661.5, 0, 0},
                    KeyCase{"whole tone up", 62, 50, 127, 64, 441 * 9.0 / 8, 0, 0},
                    KeyCase{"fine tune sharp", 60, 100, 127, 64, 441 * 25.0 / 24, 0, 0},
                    KeyCase{"fine tune flat", 60, 0, 127, 64, 441 * 47.0 / 48, 0, 0},
                    KeyCase{"half volume", 60, 50, 64, 64, 441, -9.92, -9.92},
                    KeyCase{"no volume", 60, 50, 0, 64, 441, -20, -20},
                    KeyCase{"panned left", 60, 50, 127, 32, 441, 0, -10}),
    CaseName<KeyCase>);

struct BadCase {
  const char* what;
  std::string kit;
  std::string pattern;
  std::string message; // what standard error must say
  friend void PrintTo(const BadCase& c, std::ostream* os) { *os << c.what; }
};

class BadFiles : public testing::TestWithParam<BadCase> {};

TEST_P(BadFiles, GiveOneClearMessageAndAFailureStatus) {
  const BadCase& c = GetParam();
  TempDir dir;
  WriteWav(dir.path() / "ok.wav", 22050, 1, Sine(22050, 441, 0.5, 2205));
  WriteText(dir.path() / "text.wav", "this is not a wave file at all");
  if (!c.kit.empty())
    WriteText(dir.path() / "kit.json", c.kit);
  if (!c.pattern.empty())
    WriteText(dir.path() / "pattern.json", c.pattern);
  RunResult run = RunZa32({"render", "kit.json", "pattern.json", "-o", "out.wav"}, dir.path());
  EXPECT_EQ(run.signal, 0) << "crashed";
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find("za32: unexpected failure"), std::string::npos) << run.err;
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "out.wav")) << "no half-made WAV stays";
}

TEST(OutputFile, CannotOverwriteASampleOfTheKit) {
  TempDir dir;
  std::vector<int16_t> sine = Sine(22050, 441, 0.5, 2205);
  WriteWav(dir.path() / "ok.wav", 22050, 1, sine);
  WriteText(dir.path() / "kit.json", R"({"keys": [{"sample": "ok.wav", "key": 36}]})");
  WriteText(dir.path() / "pattern.json", R"({"tempo": 120, "steps": 4, "tracks": {"36": "x..."}})");
  RunResult run = RunZa32({"render", "kit.json", "pattern.json", "-o", "./ok.wav"}, dir.path());
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("za32: ./ok.wav: cannot write the output: it is the input "),
            std::string::npos)
      << run.err;
  EXPECT_EQ(ReadWav(dir.path() / "ok.wav").samples, sine);
}

const char* kGoodKit = R"({"keys": [{"sample": "ok.wav", "key": 36}]})";
const char* kGoodPattern = R"({"tempo": 120, "steps": 4, "tracks": {"36": "x..."}})";

INSTANTIATE_TEST_SUITE_P(
    Render, BadFiles,
    testing::Values(
        BadCase{"missing kit", "", kGoodPattern,
                "za32: kit.json: cannot read the kit file: No such file or directory"},
        BadCase{"missing pattern", kGoodKit, "",
                "za32: pattern.json: cannot read the pattern file: No such file or directory"},
        BadCase{"kit not json", "{\"keys\": [", kGoodPattern,
                "za32: kit.json: not a valid JSON kit file: parse error at line 1"},
        BadCase{"volume out of range",
                R"({"keys": [{"sample": "ok.wav", "key": 36, "volume": 128}]})", kGoodPattern,
                "za32: kit.json: keys[0].volume: must be a whole number from 0 to 127 (got "
                "128)"},
        BadCase{"missing sample", R"({"keys": [{"sample": "gone.wav", "key": 36}]})", kGoodPattern,
                "gone.wav: cannot read the sample: No such file or directory"},
        BadCase{"sample is a directory", R"({"keys": [{"sample": ".", "key": 36}]})", kGoodPattern,
                ": cannot read the sample: Is a directory"},
        BadCase{"sample not a wave", R"({"keys": [{"sample": "text.wav", "key": 36}]})",
                kGoodPattern, "is not a Wave File"},
        BadCase{"unknown key code", kGoodKit,
                R"({"tempo": 120, "steps": 4, "tracks": {"37": "x..."}})",
                "za32: pattern.json: tracks.37: key code 37 is not in the kit kit.json"},
        BadCase{"unknown key code in a change", kGoodKit,
                R"({"tempo": 120, "steps": 4, "changes": [{"step": 0, "key": 9, "pan": 3}]})",
                "za32: pattern.json: changes[0]: key code 9 is not in the kit kit.json"},
        BadCase{"pattern without tempo", kGoodKit, R"({"steps": 4})",
                "za32: pattern.json: has no \"tempo\""},
        BadCase{"empty pattern file", kGoodKit, " ",
                "za32: pattern.json: not a valid JSON pattern file"},
        BadCase{"truncated MIDI file", kGoodKit,
                std::string("MThd\0\0\0\6\0\0\0\1\0\x60MTrk\0\0\0\x10\0\x99\x24", 25),
                "za32: pattern.json: chunk 2 declares 16 bytes, but the file ends after 3 "
                "(truncated file?)"},
        BadCase{
            "MIDI file of format 2", kGoodKit, std::string("MThd\0\0\0\6\0\2\0\1\0\x60", 14),
            "za32: pattern.json: MIDI files of format 2 cannot be played; formats 0 and 1 can"}),
    CaseName<BadCase>);

TEST(Examples, PlayOnTheDemoSamples) {
  TempDir dir;
  ASSERT_EQ(RunZa32({"demo", "-o", "demo.wav", "--kit-dir", "samples"}, dir.path()).status, 0);
  for (const char* file : {"kit.json", "pattern.json"})
    std::filesystem::copy_file(std::filesystem::path(ZA32_EXAMPLES) / file, dir.path() / file);
  RunResult run = RunZa32({"render", "kit.json", "pattern.json", "-o", "out.wav"}, dir.path());
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("files       5 loaded"), std::string::npos) << run.out;
  EXPECT_GT(Peak(ReadWav(dir.path() / "out.wav")), 8000);
}

TEST(Commands, PlayKeepsTimeWithoutASoundCard) {
  TempDir dir;
  WriteWav(dir.path() / "ok.wav", 22050, 1, Sine(22050, 441, 0.5, 2200));
  WriteText(dir.path() / "kit.json", R"({"keys": [{"sample": "ok.wav", "key": 36}]})");
  // Four steps, four a beat, at 600 beats a minute: a tenth of a second.
  WriteText(dir.path() / "pattern.json", R"({"tempo": 600, "steps": 4, "tracks": {"36": "x.x."}})");
  RunResult run = RunZa32({"play", "kit.json", "pattern.json", "--null"}, dir.path());
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("length      0:00.1 (4410 frames at 44100 Hz)"), std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("voices used 1 at most at once"), std::string::npos) << run.out;
}

TEST(Commands, WavInfoShowsWhatTheEnginesReaderMakesOfEachFile) {
  TempDir dir;
  WriteWav(dir.path() / "sine.wav", 22050, 1, Sine(22050, 441, 0.5, 22050));
  WriteText(dir.path() / "text.wav", std::string("RIFF\x04\0\0\0TEXT", 12));
  RunResult good = RunZa32({"wavinfo", "sine.wav"}, dir.path());
  EXPECT_EQ(good.status, 0) << good.err;
  EXPECT_NE(good.out.find("sine.wav: result 0 (read)"), std::string::npos) << good.out;
  EXPECT_NE(good.out.find("PCM, 1 channel, 22050 Hz, 16 bits, block 2"), std::string::npos)
      << good.out;
  EXPECT_NE(good.out.find("44100 bytes of data, 1.000 s"), std::string::npos) << good.out;

  RunResult bad = RunZa32({"wavinfo", "sine.wav", "gone.wav", "text.wav"}, dir.path());
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.out.find("gone.wav: cannot read the WAV file: No such file or directory"),
            std::string::npos)
      << bad.out;
  EXPECT_NE(bad.out.find("text.wav: result 0xE101 (WaveErrNotWave"), std::string::npos) << bad.out;
  EXPECT_NE(bad.err.find("za32: 2 of 3 files could not be read as WAV files"), std::string::npos)
      << bad.err;
}

TEST(Commands, AuditionRendersTheFileLooping) {
  TempDir dir;
  // 44 periods of 441 Hz (50 samples each), auditioned for a whole second: it loops
  // without a seam.
  WriteWav(dir.path() / "sine.wav", 22050, 1, Sine(22050, 441, 0.5, 2200));
  RunResult run =
      RunZa32({"audition", "sine.wav", "--seconds", "1", "-o", "heard.wav"}, dir.path());
  ASSERT_EQ(run.status, 0) << run.err;
  Wav wav = ReadWav(dir.path() / "heard.wav");
  ASSERT_EQ(wav.frames(), 44100u);
  EXPECT_NEAR(Pitch(wav, 0, 4410, 44100 - 4410), 441, 1);
  double sampleRms = 0.5 * 32767 / std::sqrt(2.0);
  EXPECT_NEAR(Decibels(Rms(wav, 1, 30000, 44000) / sampleRms), 0, 0.25) << "still sounding";

  RunResult missing = RunZa32({"audition", "gone.wav", "-o", "x.wav"}, dir.path());
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("za32: gone.wav: cannot read the WAV file: No such file or directory"),
            std::string::npos)
      << missing.err;
  WriteText(dir.path() / "text.wav", "not a wave");
  RunResult text = RunZa32({"audition", "text.wav", "-o", "x.wav"}, dir.path());
  EXPECT_EQ(text.status, 1);
  EXPECT_NE(text.err.find("ZA32 error: text.wav is not a Wave File"), std::string::npos)
      << text.err;
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "x.wav"));
}

TEST(Commands, RateTestOfNoTimeMeasuresNothing) {
  TempDir dir;
  RunResult run = RunZa32({"ratetest", "--null", "--seconds", "0"}, dir.path());
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("played      0 bytes in 0 s"), std::string::npos) << run.out;
}

TEST(Commands, BrowseListsFoldersWavFilesAndDrives) {
  TempDir dir;
  WriteWav(dir.path() / "songs" / "kick.wav", 22050, 1, Sine(22050, 441, 0.5, 100));
  WriteWav(dir.path() / "songs" / "Snare.WAV", 22050, 1, Sine(22050, 441, 0.5, 100));
  WriteText(dir.path() / "songs" / "notes.txt", "text");
  std::filesystem::create_directories(dir.path() / "songs" / "more");
  RunResult run = RunZa32({"browse", "songs"}, dir.path());
  ASSERT_EQ(run.status, 0) << run.err;
  for (const char* line : {"\n  [.]\n", "\n  [..]\n", "\n  [more]\n", "\n  kick\n", "\n  Snare\n"})
    EXPECT_NE(run.out.find(line), std::string::npos) << line << " in\n" << run.out;
  EXPECT_EQ(run.out.find("notes"), std::string::npos) << run.out;
  RunResult missing = RunZa32({"browse", "no-such-dir"}, dir.path());
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("za32: no-such-dir: cannot enter the directory"), std::string::npos);
}

TEST(Commands, UsageMistakesAndHelp) {
  TempDir dir;
  RunResult none = RunZa32({}, dir.path());
  EXPECT_EQ(none.status, 2);
  RunResult unknown = RunZa32({"dance"}, dir.path());
  EXPECT_EQ(unknown.status, 2);
  RunResult missing = RunZa32({"render", "kit.json"}, dir.path());
  EXPECT_EQ(missing.status, 2);
  for (const char* command :
       {"demo", "render", "play", "audition", "ratetest", "browse", "wavinfo", "keymap"}) {
    RunResult help = RunZa32({command, "--help"}, dir.path());
    EXPECT_EQ(help.status, 0) << command;
    EXPECT_NE(help.out.find("Usage"), std::string::npos) << command << ":\n" << help.out;
  }
  RunResult output = RunZa32({"demo", "-o", "no/such/dir/x.wav", "--kit-dir", "kit"}, dir.path());
  EXPECT_EQ(output.status, 1);
  EXPECT_NE(output.err.find("za32: no/such/dir/x.wav: cannot create the file"), std::string::npos)
      << output.err;
}

TEST(Commands, KeyMapConvertsBothWays) {
  TempDir dir;
  WriteText(dir.path() / "kit.json",
            R"({"keys": [{"sample": "a.wav", "key": 36, "pan": 3},
                         {"sample": "b.wav", "key": 38, "hold": true}]})");
  RunResult toBytes = RunZa32({"keymap", "kit.json", "-o", "map.bin", "--as-written"}, dir.path());
  ASSERT_EQ(toBytes.status, 0) << toBytes.err;
  std::string bytes = ReadText(dir.path() / "map.bin");
  ASSERT_EQ(bytes.size(), 7800u);
  EXPECT_EQ(std::string(bytes.c_str()), "a.wav");
  EXPECT_EQ(std::string(bytes.c_str() + 312), "b.wav");
  RunResult back = RunZa32({"keymap", "--to-kit", "map.bin"}, dir.path());
  ASSERT_EQ(back.status, 0) << back.err;
  json kit = json::parse(back.out);
  ASSERT_EQ(kit["keys"].size(), 2u);
  EXPECT_EQ(kit["keys"][0]["sample"], "a.wav");
  EXPECT_EQ(kit["keys"][0]["pan"], 3);
  EXPECT_EQ(kit["keys"][1]["hold"], true);
  // Resolved, the names are the files the engine will open whatever its directory.
  ASSERT_EQ(RunZa32({"keymap", "kit.json", "-o", "abs.bin"}, dir.path()).status, 0);
  EXPECT_EQ(std::string(ReadText(dir.path() / "abs.bin").c_str()), dir.file("a.wav"));

  WriteText(dir.path() / "short.bin", std::string(7799, '\0'));
  RunResult shortMap = RunZa32({"keymap", "--to-kit", "short.bin"}, dir.path());
  EXPECT_EQ(shortMap.status, 1);
  EXPECT_NE(shortMap.err.find("a key map is exactly 7800 bytes"), std::string::npos);
}

} // namespace
