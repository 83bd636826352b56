// za32 import of Hydrogen drumkits and songs, on kits the tests build: FLAC and 24-bit
// samples, two velocity layers, a mute group, more instruments than the engine has keys,
// the same kit as an archive, a short song, and kits that try to reach outside.
#include "run_za32.h"

#include "tests/dsound/signal_analysis.h"
#include "tests/support/temp_dir.h"

#include <archive.h>
#include <archive_entry.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

void WriteSample(const fs::path& file, int format, double amplitude, double seconds = 0.1) {
  SF_INFO info{};
  info.samplerate = 44100;
  info.channels = 1;
  info.format = format;
  SNDFILE* out = sf_open(file.c_str(), SFM_WRITE, &info);
  ASSERT_NE(out, nullptr) << sf_strerror(nullptr);
  std::vector<double> tone(size_t(seconds * 44100));
  for (size_t i = 0; i < tone.size(); ++i)
    tone[i] = amplitude * std::sin(2 * std::numbers::pi * 441 * i / 44100);
  sf_writef_double(out, tone.data(), sf_count_t(tone.size()));
  sf_close(out);
}

struct Layer {
  std::string file;
  double min = 0, max = 1;
  double gain = 1;
};

struct Instrument {
  std::string name;
  int midiNote = -1; // -1: the kit gives none
  int muteGroup = -1;
  double volume = 1;
  std::vector<Layer> layers;
  double gain = 1, componentGain = 1;
  double pan = 0; // -1 left .. 1 right
};

std::string InstrumentXml(int id, const Instrument& instrument) {
  std::string xml = "<instrument><id>" + std::to_string(id) + "</id><name>" + instrument.name +
                    "</name><volume>" + std::to_string(instrument.volume) + "</volume><gain>" +
                    std::to_string(instrument.gain) + "</gain><pan>" +
                    std::to_string(instrument.pan) + "</pan><muteGroup>" +
                    std::to_string(instrument.muteGroup) + "</muteGroup>";
  if (instrument.midiNote >= 0)
    xml += "<midiOutNote>" + std::to_string(instrument.midiNote) + "</midiOutNote>";
  xml += "<instrumentComponent><component_id>0</component_id><gain>" +
         std::to_string(instrument.componentGain) + "</gain>";
  for (const Layer& layer : instrument.layers)
    xml += "<layer><filename>" + layer.file + "</filename><min>" + std::to_string(layer.min) +
           "</min><max>" + std::to_string(layer.max) + "</max><gain>" + std::to_string(layer.gain) +
           "</gain><pitch>0</pitch></layer>";
  return xml + "</instrumentComponent></instrument>\n";
}

std::string DrumkitXml(const std::vector<Instrument>& instruments) {
  std::string xml = "<?xml version=\"1.0\"?>\n<drumkit_info "
                    "xmlns=\"http://www.hydrogen-music.org/drumkit\"><name>Test</name>"
                    "<instrumentList>\n";
  for (size_t i = 0; i < instruments.size(); ++i)
    xml += InstrumentXml(int(i), instruments[i]);
  return xml + "</instrumentList></drumkit_info>\n";
}

// A kick of two layers (soft FLAC, loud 24-bit WAV), and closed and open hats in one
// mute group without MIDI notes; the big kit adds percussion: with 24 more, 27 instruments
// and every layer fit; with 399 more, 402 instruments for a kit's 400 keys.
std::vector<Instrument> SmallKit() {
  return {{"Kick", 36, -1, 1, {{"kick-soft.flac", 0, 0.5}, {"kick-hard.wav", 0.5, 1}}},
          {"Hat Closed", -1, 0, 1, {{"hat.wav"}}},
          {"Hat Open", -1, 0, 0.5, {{"hat.wav"}}}};
}

std::vector<Instrument> BigKit(int percussion) {
  std::vector<Instrument> kit = SmallKit();
  for (int i = 1; i <= percussion; ++i)
    kit.push_back({"Perc " + std::to_string(i), 59 + i, -1, 1, {{"hat.wav"}}});
  // MIDI's lowest and highest notes; two layers that meet at Hydrogen's usual hit.
  kit[3].midiNote = 0;
  kit[24].midiNote = 127;
  kit[4].layers = {{"hat.wav", 0, 0.8}, {"kick-hard.wav", 0.8, 1}};
  return kit;
}

void WriteKitFolder(const fs::path& folder, const std::vector<Instrument>& instruments) {
  fs::create_directories(folder);
  WriteSample(folder / "kick-soft.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 0.25);
  WriteSample(folder / "kick-hard.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 0.9);
  WriteSample(folder / "hat.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0.5);
  WriteText(folder / "drumkit.xml", DrumkitXml(instruments));
}

// A .h2drumkit: the kit's folder in a gzipped tar.
void WriteArchive(const fs::path& archiveFile, const fs::path& folder) {
  archive* out = archive_write_new();
  archive_write_add_filter_gzip(out);
  archive_write_set_format_pax_restricted(out);
  ASSERT_EQ(archive_write_open_filename(out, archiveFile.c_str()), ARCHIVE_OK);
  for (const auto& file : fs::directory_iterator(folder)) {
    std::string bytes = ReadText(file.path());
    archive_entry* entry = archive_entry_new();
    archive_entry_set_pathname(entry, ("Test/" + file.path().filename().string()).c_str());
    archive_entry_set_size(entry, la_int64_t(bytes.size()));
    archive_entry_set_filetype(entry, AE_IFREG);
    archive_entry_set_perm(entry, 0644);
    archive_write_header(out, entry);
    archive_write_data(out, bytes.data(), bytes.size());
    archive_entry_free(entry);
  }
  archive_write_close(out);
  archive_write_free(out);
}

SF_INFO Info(const fs::path& file) {
  SF_INFO info{};
  SNDFILE* in = sf_open(file.c_str(), SFM_READ, &info);
  EXPECT_NE(in, nullptr) << file;
  if (in)
    sf_close(in);
  return info;
}

class KitImport : public testing::Test {
protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir;
    WriteKitFolder(dir_->path() / "Test", SmallKit());
    WriteKitFolder(dir_->path() / "Big", BigKit(24));
    WriteKitFolder(dir_->path() / "Huge", BigKit(399));
    small_ = new RunResult(RunZa32({"import", "Test", "-o", "imported"}, dir_->path()));
    big_ = new RunResult(RunZa32({"import", "Big", "-o", "big"}, dir_->path()));
    huge_ = new RunResult(RunZa32({"import", "Huge", "-o", "huge"}, dir_->path()));
    // Instrument, component and layer gains of 0.5 on one instrument; a pan of -0.5 on
    // another; each hit at full velocity.
    Instrument gains{"Gains", 60, -1, 1, {{"hat.wav", 0, 1, 0.5}}, 0.5, 0.5};
    Instrument panned{"Panned", 61, -1, 1, {{"hat.wav"}}};
    panned.pan = -0.5;
    WriteKitFolder(dir_->path() / "Levels", {gains, panned});
    ASSERT_EQ(RunZa32({"import", "Levels", "-o", "levels"}, dir_->path()).status, 0);
    WriteText(dir_->path() / "levels.json", R"({"tempo": 120, "steps": 16, "tracks": {
        "60": [{"step": 0, "velocity": 127}], "61": [{"step": 8, "velocity": 127}]}})");
    ASSERT_EQ(
        RunZa32({"render", "levels/kit.json", "levels.json", "-o", "levels.wav"}, dir_->path())
            .status,
        0);
    levels_ = new Wav(ReadWav(dir_->path() / "levels.wav"));
  }
  // The level of the 441 Hz hit that starts at `frame` on `channel`, against the sample's.
  static double HitDecibels(const Wav& wav, size_t frame, int channel, double sample = 0.5) {
    std::vector<double> side = dsound_test::Channel(wav.samples, channel, frame + 400);
    side.resize(3000);
    return dsound_test::Decibels(dsound_test::Amplitude(side, 441) / sample);
  }
  static void TearDownTestSuite() {
    delete small_;
    delete big_;
    delete huge_;
    delete levels_;
    delete dir_;
  }
  static json Keys(const char* folder = "imported") {
    return json::parse(ReadText(dir_->path() / folder / "kit.json"))["keys"];
  }
  static TempDir* dir_;
  static RunResult* small_;
  static RunResult* big_;
  static RunResult* huge_;
  static Wav* levels_;
};
TempDir* KitImport::dir_ = nullptr;
RunResult* KitImport::small_ = nullptr;
RunResult* KitImport::big_ = nullptr;
RunResult* KitImport::huge_ = nullptr;
Wav* KitImport::levels_ = nullptr;

TEST_F(KitImport, KeepsAKeyForEachInstrumentInKitOrderAndNamesWhatItLeftOut) {
  ASSERT_EQ(big_->status, 0) << big_->err;
  EXPECT_EQ(Keys("big").size(), 29u) << "27 instruments, two of them with two layers";
  EXPECT_EQ(big_->out.find("left out"), std::string::npos) << big_->out;
  ASSERT_EQ(huge_->status, 0) << huge_->err;
  json keys = Keys("huge");
  ASSERT_EQ(keys.size(), 400u);
  std::vector<int> codes;
  for (size_t i = 0; i < 25; ++i)
    codes.push_back(keys[i]["key"]);
  std::vector<int> expected = {36, 42, 46, 0};
  for (int i = 2; i <= 21; ++i)
    expected.push_back(59 + i);
  expected.push_back(127);
  EXPECT_EQ(codes, expected) << "the kit's notes, else the General MIDI map by name";
  EXPECT_NE(huge_->out.find("left out    2 instruments beyond a kit's 400 keys: Perc 398, "
                            "Perc 399\nleft out    layers, for want of keys: Kick 1 of 2, "
                            "Perc 2 1 of 2\n"),
            std::string::npos)
      << huge_->out;
  // The layer a usual hit (0.8) plays; at a shared boundary the lower layer, as for ranges.
  EXPECT_EQ(keys[0]["sample"], "samples/01-Kick-kick-hard.wav");
  EXPECT_EQ(keys[4]["sample"], "samples/05-Perc_2-hat.wav");
}

TEST_F(KitImport, LayersBecomeVelocityRangesOnOneTrigger) {
  ASSERT_EQ(small_->status, 0) << small_->err;
  json keys = Keys();
  EXPECT_EQ(keys[1]["trigger"], 36);
  EXPECT_EQ(keys[0]["velocity"][0], 1);
  EXPECT_EQ(keys[1]["velocity"][1], 127);
  EXPECT_EQ(keys[0]["velocity"][1].get<int>() + 1, keys[1]["velocity"][0].get<int>());
}

TEST_F(KitImport, MuteGroupsBecomeChokeGroups) {
  json keys = Keys();
  EXPECT_TRUE(keys[2].contains("group"));
  EXPECT_EQ(keys[2]["group"], keys[3]["group"]);
  EXPECT_FALSE(keys[0].contains("group"));
}

TEST_F(KitImport, SamplesBecomeWavKeepingTheirDepth) {
  json keys = Keys();
  fs::path imported = dir_->path() / "imported";
  EXPECT_EQ(Info(imported / keys[0]["sample"].get<std::string>()).format,
            SF_FORMAT_WAV | SF_FORMAT_PCM_16);
  EXPECT_EQ(Info(imported / keys[1]["sample"].get<std::string>()).format,
            SF_FORMAT_WAV | SF_FORMAT_PCM_24);
}

TEST_F(KitImport, TheImportedKitPlaysEachLayerAtItsLevel) {
  // The soft layer at the top of its range, Hydrogen's 0.5: 6 dB down; the loud 24-bit
  // layer at full velocity.
  int softTop = Keys()[0]["velocity"][1];
  WriteText(dir_->path() / "layers.json",
            R"({"tempo": 120, "steps": 8, "tracks": {"36": [{"step": 0, "velocity": )" +
                std::to_string(softTop) + R"(}, {"step": 4, "velocity": 127}]}})");
  RunResult run =
      RunZa32({"render", "imported/kit.json", "layers.json", "-o", "layers.wav"}, dir_->path());
  ASSERT_EQ(run.status, 0) << run.err;
  std::vector<double> left = dsound_test::Channel(ReadWav(dir_->path() / "layers.wav").samples, 0);
  auto level = [&](size_t from) {
    return dsound_test::Amplitude({left.begin() + long(from), left.begin() + long(from) + 3000},
                                  441);
  };
  EXPECT_NEAR(dsound_test::Decibels(level(400) / 0.25), -6.02, 0.3);
  EXPECT_NEAR(dsound_test::Decibels(level(22050 + 400) / 0.9), 0, 0.3);
}

// Hydrogen's level chain: velocity x layer gain x instrument gain x component gain x
// instrument volume, here 0.5 x 0.5 x 0.5: 18.06 dB down, to the engine's nearest volume.
TEST_F(KitImport, EveryGainOfTheChainSetsTheLevel) {
  EXPECT_NEAR(HitDecibels(*levels_, 0, 0), -18.06, 0.3);
  EXPECT_NEAR(HitDecibels(*levels_, 0, 1), -18.06, 0.3);
}

// Hydrogen's pan law: the near side full, the far one at 1 - |pan|.
TEST_F(KitImport, PanKeepsTheNearSideAndLowersTheFarOne) {
  EXPECT_NEAR(HitDecibels(*levels_, 44100, 0), 0, 0.3) << "left, the near side";
  EXPECT_NEAR(HitDecibels(*levels_, 44100, 1), -6.02, 0.3) << "right, at 0.5";
}

TEST_F(KitImport, MissingSamplesAreLeftOutAndNamedInOneWarning) {
  WriteKitFolder(dir_->path() / "Gaps",
                 {{"Kick", 36, -1, 1, {{"kick-soft.flac", 0, 0.5}, {"lost.wav", 0.5, 1}}},
                  {"Cowbell", 56, -1, 1, {{"cow-1.wav"}, {"cow-2.wav"}}},
                  {"Hat", 42, -1, 1, {{"hat.wav"}}}});
  RunResult run = RunZa32({"import", "Gaps", "-o", "gaps"}, dir_->path());
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "za32: warning: samples missing, left out: Kick layer 2 (lost.wav), "
                     "Cowbell (cow-1.wav, cow-2.wav)\n");
  json keys = Keys("gaps");
  ASSERT_EQ(keys.size(), 2u);
  EXPECT_EQ(keys[0]["sample"], "samples/01-Kick-kick-soft.wav");
  EXPECT_FALSE(keys[0].contains("velocity")) << "the layer left plays every hit";
  EXPECT_EQ(keys[1]["key"], 42);
}

TEST_F(KitImport, AnArchiveImportsAsItsFolderDoes) {
  WriteArchive(dir_->path() / "Test.h2drumkit", dir_->path() / "Test");
  RunResult run = RunZa32({"import", "Test.h2drumkit", "-o", "from-archive"}, dir_->path());
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadText(dir_->path() / "from-archive/kit.json"),
            ReadText(dir_->path() / "imported/kit.json"));
  for (const json& key : Keys())
    EXPECT_EQ(ReadText(dir_->path() / "from-archive" / key["sample"].get<std::string>()),
              ReadText(dir_->path() / "imported" / key["sample"].get<std::string>()));
}

struct Hostile {
  const char* what;
  std::string sample;  // the first layer's file name
  std::string source;  // what is imported
  std::string message; // on standard error
  friend void PrintTo(const Hostile& c, std::ostream* os) { *os << c.what; }
};

class HostileKits : public testing::TestWithParam<Hostile> {};

TEST_P(HostileKits, AreRefusedWithOneMessageAndNothingWritten) {
  const Hostile& c = GetParam();
  TempDir dir;
  std::vector<Instrument> kit = {{"Kick", 36, -1, 1, {{c.sample}}}};
  WriteKitFolder(dir.path() / "Test", kit);
  WriteText(dir.path() / "broken.h2drumkit", std::string("\x1f\x8b\x08\0garbage", 11));
  WriteText(dir.path() / "song.xml", "<song><bpm>120</bpm></song>");
  fs::create_directory(dir.path() / "taken");
  WriteText(dir.path() / "taken/mine.txt", "the user's");
  std::string output = c.source == "Test" && c.sample == "hat.wav" ? "taken" : "out";
  RunResult run = RunZa32({"import", c.source, "-o", output}, dir.path());
  EXPECT_EQ(run.signal, 0);
  EXPECT_EQ(run.status, 1) << run.out;
  EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  EXPECT_FALSE(fs::exists(dir.path() / "out"));
  EXPECT_EQ(ReadText(dir.path() / "taken/mine.txt"), "the user's");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path() / "taken"), {}), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Import, HostileKits,
    testing::Values(Hostile{"traversal", "../../etc/passwd", "Test", "leaves the kit's folder"},
                    Hostile{"absolute", "/etc/passwd", "Test", "absolute paths are refused"},
                    Hostile{"no sample there", "nothere.wav", "Test",
                            "no instrument has a sample to import; missing: Kick (nothere.wav)"},
                    Hostile{"broken archive", "hat.wav", "broken.h2drumkit",
                            "not a readable kit archive"},
                    Hostile{"not a kit", "hat.wav", "song.xml", "not a drumkit"},
                    Hostile{"existing folder", "hat.wav", "Test", "already exists"}),
    CaseName<Hostile>);

// Two bars at 120 beats a minute: the kick on each bar's first beat, the open hat (half
// the kick's volume) on its third; with swing, which the engine cannot play.
const char* kSong = R"(<?xml version="1.0"?>
<song><bpm>120</bpm><swing_factor>0.3</swing_factor>
<instrumentList>%KIT%</instrumentList>
<patternList><pattern><name>a</name><size>192</size><noteList>
<note><position>0</position><velocity>1</velocity><pan>0</pan><pitch>0</pitch><length>-1</length><instrument>0</instrument></note>
<note><position>96</position><velocity>1</velocity><pan>0</pan><pitch>0</pitch><length>-1</length><instrument>1</instrument></note>
</noteList></pattern></patternList>
<patternSequence><group><patternID>a</patternID></group><group><patternID>a</patternID></group></patternSequence>
</song>)";

// One hit of an instrument (pan `pan`) with a note pan `notePan`, in a song of master
// volume `volume`, imported and rendered.
Wav RenderOneHitSong(const fs::path& folder, const std::string& volume, double pan,
                     double notePan) {
  WriteSample(folder / "hat.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0.5);
  Instrument hat{"Hat", 42, -1, 1, {{"hat.wav"}}};
  hat.pan = pan;
  WriteText(folder / "one.h2song",
            "<song><bpm>120</bpm><volume>" + volume + "</volume><instrumentList>" +
                InstrumentXml(0, hat) +
                "</instrumentList><patternList><pattern><name>a</name><size>48</size>"
                "<noteList><note><position>0</position><velocity>1</velocity><pan>" +
                std::to_string(notePan) +
                "</pan><instrument>0</instrument></note></noteList></pattern></patternList>"
                "<patternSequence><group><patternID>a</patternID></group></patternSequence>"
                "</song>");
  fs::remove_all(folder / "one");
  RunResult run = RunZa32({"import", "one.h2song", "-o", "one"}, folder);
  EXPECT_EQ(run.status, 0) << run.err;
  run = RunZa32({"render", "one/kit.json", "one/pattern.json", "-o", "one.wav"}, folder);
  EXPECT_EQ(run.status, 0) << run.err;
  return ReadWav(folder / "one.wav");
}

// Hydrogen's master volume lowers every hit: 0.5 is 6.02 dB, 5.98 at the engine's nearest
// volume.
TEST(SongImport, TheMasterVolumeLowersEveryHit) {
  TempDir dir;
  std::vector<double> full =
      dsound_test::Channel(RenderOneHitSong(dir.path(), "1", 0, 0).samples, 0);
  std::vector<double> half =
      dsound_test::Channel(RenderOneHitSong(dir.path(), "0.5", 0, 0).samples, 0);
  ASSERT_GT(full.size(), 3400u);
  ASSERT_GT(half.size(), 3400u);
  full.resize(3400);
  half.resize(3400);
  double ratio = dsound_test::Amplitude({half.begin() + 400, half.end()}, 441) /
                 dsound_test::Amplitude({full.begin() + 400, full.end()}, 441);
  EXPECT_NEAR(dsound_test::Decibels(ratio), -6.02, 0.1);
}

// A note's pan moves within what the instrument's leaves: 0.5 + 0.5 x (1 - 0.5) = 0.75,
// the left side at 0.25, 12.04 dB down.
TEST(SongImport, ANotesPanMovesWithinTheInstrumentsPan) {
  TempDir dir;
  Wav wav = RenderOneHitSong(dir.path(), "1", 0.5, 0.5);
  std::vector<double> left = dsound_test::Channel(wav.samples, 0);
  std::vector<double> right = dsound_test::Channel(wav.samples, 1);
  ASSERT_GT(left.size(), 3400u);
  double leftLevel = dsound_test::Amplitude({left.begin() + 400, left.begin() + 3400}, 441);
  double rightLevel = dsound_test::Amplitude({right.begin() + 400, right.begin() + 3400}, 441);
  EXPECT_NEAR(dsound_test::Decibels(rightLevel / 0.5), 0, 0.3);
  EXPECT_NEAR(dsound_test::Decibels(leftLevel / 0.5), -12.04, 0.3);
}

TEST(SongImport, PlaysItsNotesInTimeAtTheirLevelsAndNamesWhatItDrops) {
  TempDir dir;
  WriteSample(dir.path() / "hat.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0.5);
  std::string song = kSong;
  song.replace(song.find("%KIT%"), 5,
               InstrumentXml(0, {"Kick", 36, -1, 1, {{"hat.wav"}}}) +
                   InstrumentXml(1, {"Hat Open", -1, -1, 0.5, {{"hat.wav"}}}));
  WriteText(dir.path() / "demo.h2song", song);
  RunResult run = RunZa32({"import", "demo.h2song", "-o", "song"}, dir.path());
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "za32: warning: not imported (the engine cannot play them): swing\n");
  run = RunZa32({"render", "song/kit.json", "song/pattern.json", "-o", "song.wav"}, dir.path());
  ASSERT_EQ(run.status, 0) << run.err;
  Wav wav = ReadWav(dir.path() / "song.wav");
  std::vector<double> left = dsound_test::Channel(wav.samples, 0);
  // Each hit starts within a device period of its time and sounds at its level.
  double kick = 0;
  for (double seconds : {0.0, 1.0, 2.0, 3.0}) {
    size_t at = size_t(seconds * 44100);
    size_t onset = at;
    while (onset < left.size() && std::abs(left[onset]) < 0.01)
      ++onset;
    EXPECT_LT(onset - at, 300u) << seconds;
    std::vector<double> hit(left.begin() + long(onset) + 400, left.begin() + long(onset) + 3400);
    double level = dsound_test::Amplitude(hit, 441);
    if (seconds == 0)
      kick = level;
    if (seconds == 1.0) {
      EXPECT_NEAR(dsound_test::Decibels(level / kick), -6.02, 0.3) << "the open hat's volume";
    }
  }
}

} // namespace
