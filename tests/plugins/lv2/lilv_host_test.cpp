// The plugin in a real host, lilv: what it declares, what it plays and when, many
// instances at once, state, kit changes while playing, the 16 pairs, broken kits and
// hostile input, and what its run does on the audio thread.
#include "lilv_host.h"
#include "programs.h"
#include "rt_probe.h"
#include "test_kits.h"
#include "test_songs.h"

#include "instance/engine_instance.h"
#include "tests/host/run_za32.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <lv2/atom/atom.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <set>
#include <thread>
#include <tuple>

namespace fs = std::filesystem;

namespace {

constexpr const char* kStereo = "urn:zandoria:za32";
constexpr const char* kMulti = "urn:zandoria:za32:multi";

bool Silent(const std::vector<float>& samples, size_t from, size_t to) {
  return std::all_of(samples.begin() + from, samples.begin() + to, [](float s) { return s == 0; });
}

class Lv2Plugins : public testing::Test {
protected:
  LilvHost host_;
  TempDir dir_;
};

TEST_F(Lv2Plugins, DeclareTheirPortsAndNeedOnlyMapAndWorker) {
  for (const char* uri : {kStereo, kMulti}) {
    const LilvPlugin* plugin = host_.plugin(uri);
    ASSERT_NE(plugin, nullptr) << uri;
    std::vector<std::string> symbols;
    for (uint32_t i = 0; i < lilv_plugin_get_num_ports(plugin); ++i)
      symbols.push_back(lilv_node_as_string(
          lilv_port_get_symbol(plugin, lilv_plugin_get_port_by_index(plugin, i))));
    std::vector<std::string> expected = {"control", "notify"};
    if (std::string(uri) == kStereo) {
      expected.insert(expected.end(), {"out_left", "out_right"});
    } else {
      for (int pair = 1; pair <= 16; ++pair) {
        expected.push_back("out_" + std::to_string(pair) + "_left");
        expected.push_back("out_" + std::to_string(pair) + "_right");
      }
    }
    expected.push_back("freewheel");
    EXPECT_EQ(symbols, expected) << uri;
    LilvNodes* required = lilv_plugin_get_required_features(plugin);
    std::set<std::string> names;
    LILV_FOREACH(nodes, i, required)
    names.insert(lilv_node_as_uri(lilv_nodes_get(required, i)));
    lilv_nodes_free(required);
    EXPECT_EQ(names, (std::set<std::string>{"http://lv2plug.in/ns/ext/urid#map",
                                            "http://lv2plug.in/ns/ext/worker#schedule"}));
  }
}

// At the engine's own rate the plugin plays what `za32 render` plays, to the sample,
// whatever the host's block size, whether its worker answers at once or later (as in a
// bounce, freewheeling).
TEST_F(Lv2Plugins, PlayTheRenderOfTheSameMidiFileAtEveryBlockSize) {
  fs::path kit = WriteTestKit(dir_.path() / "kit", GrooveKeys());
  dir_.write("groove.mid", MidiFileOf(Groove()));
  RunResult rendered =
      RunZa32({"render", kit.string(), "groove.mid", "-o", "groove.wav"}, dir_.path());
  ASSERT_EQ(rendered.status, 0) << rendered.err;
  Wav wav = ReadWav(dir_.path() / "groove.wav");
  ASSERT_EQ(wav.channels, 2);
  ASSERT_TRUE(
      std::any_of(wav.samples.begin(), wav.samples.end(), [](int16_t s) { return s != 0; }));
  ASSERT_GT(wav.frames(), FrameOf(40, 44100));

  for (uint32_t block : {17u, 64u, 256u, 4096u}) {
    for (bool synchronous : {false, true}) {
      HostedPlugin plugin(host_, kStereo, 44100, 4096, synchronous);
      ASSERT_TRUE(plugin.ok());
      plugin.Freewheel(synchronous);
      plugin.SetKit(0, kit.string());
      ASSERT_TRUE(plugin.WaitForKit(kit.string()));
      uint32_t frames = static_cast<uint32_t>(wav.frames()) + 2000;
      std::vector<float> out = Play(plugin, Groove(), 44100, frames, block);
      size_t differing = 0;
      for (size_t i = 0; i < wav.samples.size(); ++i)
        differing += za32::ToDeviceSample(out[i]) != wav.samples[i];
      EXPECT_EQ(differing, 0u) << "block " << block << (synchronous ? ", worker at once" : "");
      EXPECT_TRUE(Silent(out, wav.samples.size(), out.size())) << "block " << block;
    }
  }
}

// At another rate a note starts on the frame its time gives there, and its sample keeps
// its pitch: it lasts as long in seconds.
TEST_F(Lv2Plugins, PlaceNotesOnTheirFramesAtOtherRates) {
  fs::path kit = WriteTestKit(dir_.path() / "kit", {{36, 4410, 8000, 100}});
  for (double rate : {22050.0, 48000.0, 96000.0}) {
    HostedPlugin plugin(host_, kStereo, rate, 512);
    plugin.SetKit(0, kit.string());
    ASSERT_TRUE(plugin.WaitForKit(kit.string())) << rate;
    std::vector<float> out = Play(plugin, {{7, {0x99, 36, 127}}}, rate, uint32_t(rate / 2), 512);
    size_t first = 0, last = 0;
    for (size_t i = 0; i < out.size(); i += 2)
      if (out[i] != 0) {
        first = first ? first : i / 2;
        last = i / 2;
      }
    EXPECT_EQ(first, FrameOf(7, rate)) << rate;
    EXPECT_NEAR(double(last + 1 - first), 0.1 * rate, 3) << rate;
  }
}

// Instances on two threads at once, each with its own engine copies: each plays exactly
// what it plays alone.
TEST_F(Lv2Plugins, InstancesOnTwoThreadsHearOnlyTheirOwnNotes) {
  fs::path kit = WriteTestKit(dir_.path() / "kit", GrooveKeys());
  constexpr int kInstances = 8;
  auto songOf = [](int i) {
    std::vector<TimedMidi> song;
    for (int hit = 0; hit < 6; ++hit)
      song.push_back({uint32_t(hit * (5 + i)),
                      {0x99, uint8_t(36 + 2 * ((hit + i) % 4)), uint8_t(40 + 10 * i)}});
    return song;
  };
  constexpr uint32_t kFrames = 44100;
  std::vector<std::vector<float>> alone;
  for (int i = 0; i < kInstances; ++i) {
    HostedPlugin plugin(host_, kStereo, 44100, 256);
    plugin.SetKit(0, kit.string());
    ASSERT_TRUE(plugin.WaitForKit(kit.string()));
    alone.push_back(Play(plugin, songOf(i), 44100, kFrames, 256));
  }

  std::vector<std::unique_ptr<HostedPlugin>> plugins;
  for (int i = 0; i < kInstances; ++i) {
    plugins.push_back(std::make_unique<HostedPlugin>(host_, kStereo, 44100, 256));
    plugins.back()->SetKit(0, kit.string());
    ASSERT_TRUE(plugins.back()->WaitForKit(kit.string()));
  }
  std::vector<std::vector<float>> together(kInstances);
  auto runHalf = [&](int half) {
    for (int i = half; i < kInstances; i += 2)
      together[i] = Play(*plugins[i], songOf(i), 44100, kFrames, 256);
  };
  std::thread other(runHalf, 1);
  runHalf(0);
  other.join();
  for (int i = 0; i < kInstances; ++i)
    EXPECT_TRUE(together[i] == alone[i]) << "instance " << i;
}

// The host's piano roll names the kit's notes after their samples (Ardour's midnam).
TEST_F(Lv2Plugins, NameTheKitsNotesForThePianoRoll) {
  fs::path kit = WriteTestKit(dir_.path() / "kit", GrooveKeys());
  HostedPlugin plugin(host_, kStereo, 44100, 256);
  struct Midnam {
    char* (*midnam)(LV2_Handle);
    char* (*model)(LV2_Handle);
    void (*free)(char*);
  };
  const auto* midnam = static_cast<const Midnam*>(lilv_instance_get_extension_data(
      plugin.instance(), "http://ardour.org/lv2/midnam#interface"));
  ASSERT_NE(midnam, nullptr);
  LV2_Handle handle = lilv_instance_get_handle(plugin.instance());
  auto text = [&](char* (*get)(LV2_Handle)) {
    char* document = get(handle);
    std::string copy = document ? document : "";
    midnam->free(document);
    return copy;
  };
  EXPECT_EQ(text(midnam->midnam).find("<Note "), std::string::npos); // no kit yet
  plugin.SetKit(0, kit.string());
  ASSERT_TRUE(plugin.WaitForKit(kit.string()));
  std::string document = text(midnam->midnam);
  for (int i = 0; i < 4; ++i)
    EXPECT_NE(document.find("<Note Number=\"" + std::to_string(GrooveKeys()[i].note) +
                            "\" Name=\"key" + std::to_string(i) + "\"/>"),
              std::string::npos)
        << document;
  EXPECT_NE(document.find("<Model>" + text(midnam->model) + "</Model>"), std::string::npos);
}

// Saved through lilv with the links folder set, as jalv saves; restored into a new
// instance before it is activated, from a session folder that has moved: the first block
// plays the kit.
TEST_F(Lv2Plugins, StateKeepsTheKitAcrossAMovedSession) {
  fs::path session = dir_.path() / "session";
  fs::path kit = WriteTestKit(session / "kit", GrooveKeys());
  std::vector<float> expected;
  {
    HostedPlugin plugin(host_, kStereo, 44100, 256);
    plugin.SetKit(0, kit.string());
    ASSERT_TRUE(plugin.WaitForKit(kit.string()));
    expected = Play(plugin, Groove(), 44100, 8192, 256);
    LilvState* state = plugin.Save(session / "state");
    ASSERT_NE(state, nullptr);
    lilv_state_free(state);
  }
  std::string saved = ReadText(session / "state" / "state.ttl");
  EXPECT_EQ(saved.find(dir_.path().string()), std::string::npos) << "not portable:\n" << saved;

  fs::path moved = dir_.path() / "moved";
  fs::rename(session, moved);
  LilvState* state = lilv_state_new_from_file(host_.world(), host_.map(), nullptr,
                                              (moved / "state" / "state.ttl").c_str());
  ASSERT_NE(state, nullptr);
  HostedPlugin plugin(host_, kStereo, 44100, 256);
  lilv_instance_deactivate(plugin.instance());
  plugin.Restore(state);
  lilv_state_free(state);
  lilv_instance_activate(plugin.instance());
  EXPECT_TRUE(Play(plugin, Groove(), 44100, 8192, 256) == expected);
  auto notes = plugin.TakeNotes();
  ASSERT_FALSE(notes.empty());
  EXPECT_EQ(fs::canonical(notes.front().second), fs::canonical(moved / "kit" / "kit.json"));
}

// A Hydrogen drumkit, named by its folder or its drumkit.xml, plays as the kit `za32
// import` makes of it; its converted samples go to the cache, once, and nothing is
// written into the kit's folder.
TEST_F(Lv2Plugins, HydrogenKitPlaysAsItsImportAndStaysUntouched) {
  fs::path cache = dir_.path() / "cache";
  setenv("XDG_CACHE_HOME", cache.c_str(), 1);
  fs::path hydrogen = dir_.path() / "Hydrogen Kit";
  fs::path scratch =
      WriteTestKit(dir_.path() / "scratch", {{36, 3000, 9000, 90}, {38, 2000, 6000, 60}});
  fs::create_directories(hydrogen);
  fs::copy_file(scratch.parent_path() / "samples" / "key0.wav", hydrogen / "kick.wav");
  fs::copy_file(scratch.parent_path() / "samples" / "key1.wav", hydrogen / "snare.wav");
  std::string xml = "<?xml version=\"1.0\"?>\n<drumkit_info xmlns=\"http://www.hydrogen-music.org/"
                    "drumkit\"><name>Test</name><instrumentList>";
  int id = 0;
  for (auto [name, note, file, gain] :
       {std::tuple{"Kick", 36, "kick.wav", "1"}, std::tuple{"Snare", 38, "snare.wav", "0.5"}})
    xml += "<instrument><id>" + std::to_string(id++) + "</id><name>" + name +
           "</name><volume>1</volume><gain>" + gain + "</gain><pan>0.3</pan><midiOutNote>" +
           std::to_string(note) +
           "</midiOutNote><instrumentComponent><component_id>0"
           "</component_id><gain>1</gain><layer><filename>" +
           file +
           "</filename><min>0</min>"
           "<max>1</max><gain>1</gain><pitch>0</pitch></layer></instrumentComponent></instrument>";
  WriteText(hydrogen / "drumkit.xml", xml + "</instrumentList></drumkit_info>\n");
  auto listing = [&] {
    std::vector<std::pair<std::string, uintmax_t>> files;
    for (const auto& entry : fs::recursive_directory_iterator(hydrogen))
      files.emplace_back(entry.path().string(), entry.is_regular_file() ? entry.file_size() : 0);
    std::sort(files.begin(), files.end());
    return files;
  };
  auto before = listing();

  RunResult imported = RunZa32({"import", hydrogen.string(), "-o", "imported"}, dir_.path());
  ASSERT_EQ(imported.status, 0) << imported.err;
  std::vector<TimedMidi> song = {{0, {0x99, 36, 100}}, {9, {0x99, 38, 127}}, {20, {0x99, 36, 60}}};
  std::vector<std::vector<float>> outputs;
  for (fs::path kit : {dir_.path() / "imported" / "kit.json", hydrogen, hydrogen / "drumkit.xml"}) {
    HostedPlugin plugin(host_, kStereo, 44100, 256);
    plugin.SetKit(0, kit.string());
    ASSERT_TRUE(plugin.WaitForKit(kit.string())) << kit;
    outputs.push_back(Play(plugin, song, 44100, 8192, 256));
  }
  unsetenv("XDG_CACHE_HOME");
  EXPECT_FALSE(Silent(outputs[0], 0, outputs[0].size()));
  EXPECT_TRUE(outputs[1] == outputs[0]) << "the folder";
  EXPECT_TRUE(outputs[2] == outputs[0]) << "its drumkit.xml";
  EXPECT_EQ(listing(), before);
  size_t cached = 0;
  for (const auto& entry : fs::directory_iterator(cache / "za32" / "hydrogen"))
    cached += entry.is_directory() && entry.path().filename().string()[0] != '.';
  EXPECT_EQ(cached, 1u);
}

// A new kit while the old one plays: no block falls silent, the new kit plays from the
// block it is reported in, and another instance of the host is untouched.
TEST_F(Lv2Plugins, KitChangeWhilePlayingLeavesNoGap) {
  fs::path first = WriteTestKit(dir_.path() / "first", {{36, 44100, 8000, 100}});
  fs::path second = WriteTestKit(dir_.path() / "second", {{38, 44100, 3000, 50}});
  HostedPlugin playing(host_, kStereo, 44100, 128), other(host_, kStereo, 44100, 128),
      reference(host_, kStereo, 44100, 128);
  for (HostedPlugin* p : {&playing, &other, &reference}) {
    p->SetKit(0, first.string());
    ASSERT_TRUE(p->WaitForKit(first.string()));
    p->Midi(0, {0x99, 36, 100});
  }
  bool switched = false;
  int blocksAfter = 0;
  for (int block = 0; block < 300 && blocksAfter < 20; ++block) {
    if (block == 20)
      playing.SetKit(5, second.string());
    bool reported = false;
    for (const auto& [property, value] : playing.TakeNotes())
      reported |= property == "urn:zandoria:za32#kit" && value == second.string();
    if (reported) {
      switched = true;
      playing.Midi(0, {0x99, 38, 100});
    }
    playing.Run(128);
    other.Run(128);
    reference.Run(128);
    ASSERT_FALSE(Silent(playing.Left(), 0, 128)) << "block " << block;
    EXPECT_TRUE(other.Left() == reference.Left()) << "block " << block;
    if (switched && ++blocksAfter > 1) {
      EXPECT_FALSE(playing.Left() == reference.Left()) << "the new kit does not play";
    }
    if (!switched)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_TRUE(switched);
}

// Each key plays into the pair its `output` names; the pairs add up to the stereo plugin.
TEST_F(Lv2Plugins, MultiOutputPairsAddUpToTheStereoPlugin) {
  fs::path kit =
      WriteTestKit(dir_.path() / "kit",
                   {{36, 3000, 9000, 90, 1}, {38, 2000, 6000, 60, 2}, {40, 1500, 7000, 40, 16}});
  std::vector<TimedMidi> song = {{0, {0x99, 36, 100}}, {2, {0x99, 38, 100}}, {5, {0x99, 40, 100}}};
  HostedPlugin stereo(host_, kStereo, 44100, 512), multi(host_, kMulti, 44100, 512);
  ASSERT_EQ(multi.pairs(), 16u);
  for (HostedPlugin* p : {&stereo, &multi}) {
    p->SetKit(0, kit.string());
    ASSERT_TRUE(p->WaitForKit(kit.string()));
    for (const TimedMidi& e : song)
      p->Midi(FrameOf(e.pulse, 44100), e.bytes);
  }
  stereo.Run(512);
  multi.Run(512);
  for (unsigned pair = 0; pair < 16; ++pair) {
    bool used = pair == 0 || pair == 1 || pair == 15;
    EXPECT_EQ(Silent(multi.Left(pair), 0, 512), !used) << "pair " << pair + 1;
  }
  for (uint32_t i = 0; i < 512; ++i) {
    float left = 0, right = 0;
    for (unsigned pair = 0; pair < 16; ++pair) {
      left += multi.Left(pair)[i];
      right += multi.Right(pair)[i];
    }
    ASSERT_NEAR(left, stereo.Left()[i], 1e-5) << i;
    ASSERT_NEAR(right, stereo.Right()[i], 1e-5) << i;
  }
}

// A kit that does not load leaves the old one playing, and says which file and why, on
// notify and in the log.
TEST_F(Lv2Plugins, BrokenKitLeavesTheOldOnePlaying) {
  fs::path good = WriteTestKit(dir_.path() / "good", GrooveKeys());
  fs::path badSample = WriteTestKit(dir_.path() / "bad-sample", GrooveKeys());
  WriteText(dir_.path() / "bad-sample" / "samples" / "key1.wav", "RIFF, but no WAVE in it");
  fs::path missingSample = WriteTestKit(dir_.path() / "missing-sample", GrooveKeys());
  fs::remove(dir_.path() / "missing-sample" / "samples" / "key2.wav");
  WriteText(dir_.path() / "not-json" / "kit.json", "{\"keys\": [");
  WriteText(dir_.path() / "wrong-field" / "kit.json", "{\"keys\": [{\"key\": \"high\"}]}");
  WriteText(dir_.path() / "hydrogen" / "drumkit.xml", "<drumkit_info><instrumentList>");
  fs::create_directories(dir_.path() / "empty");
  struct Broken {
    fs::path path;
    std::string names; // what the message names
  };
  std::vector<Broken> broken = {{dir_.path() / "nowhere.json", "nowhere.json"},
                                {badSample, "key1.wav"},
                                {missingSample, "key2.wav"},
                                {dir_.path() / "not-json" / "kit.json", "kit.json"},
                                {dir_.path() / "wrong-field" / "kit.json", "key"},
                                {dir_.path() / "hydrogen", "drumkit.xml"},
                                {dir_.path() / "empty", "empty"}};

  HostedPlugin reference(host_, kStereo, 44100, 256);
  reference.SetKit(0, good.string());
  ASSERT_TRUE(reference.WaitForKit(good.string()));
  std::vector<float> expected = Play(reference, Groove(), 44100, 4096, 256);
  for (const Broken& b : broken) {
    HostedPlugin plugin(host_, kStereo, 44100, 256);
    plugin.SetKit(0, good.string());
    ASSERT_TRUE(plugin.WaitForKit(good.string()));
    plugin.SetKit(0, b.path.string());
    EXPECT_FALSE(plugin.WaitForKit(b.path.string(), 10)) << b.path;
    std::string error;
    for (const auto& [property, value] : plugin.TakeNotes())
      if (property == "urn:zandoria:za32#error")
        error = value;
    EXPECT_NE(error.find(b.names), std::string::npos) << b.path << ": " << error;
    EXPECT_TRUE(Play(plugin, Groove(), 44100, 4096, 256) == expected) << b.path;
  }
}

// Damage on the control port, and a kit set a thousand times a second: nothing plays
// wrong, nothing crashes, and the log gets at most a line a second.
TEST_F(Lv2Plugins, HostileControlInputIsHarmless) {
  fs::path good = WriteTestKit(dir_.path() / "good", GrooveKeys());
  HostedPlugin plugin(host_, kStereo, 44100, 64);
  plugin.SetKit(0, good.string());
  ASSERT_TRUE(plugin.WaitForKit(good.string()));
  size_t logBefore = host_.LogLines().size();
  auto start = std::chrono::steady_clock::now();
  LV2_URID atomInt = host_.Map(LV2_ATOM__Int);
  LV2_URID atomString = host_.Map(LV2_ATOM__String);
  for (int block = 0; block < 1400; ++block) {       // 2 seconds
    plugin.Midi(block % 64, {0x99});                 // too short
    plugin.Midi(3, {0x99, 200, 100});                // data byte with its top bit
    plugin.Midi(3, {0xF0, 1, 2, 3, 0xF7});           // system exclusive: nothing to play
    plugin.Raw(10, atomInt, std::string(4, '\x07')); // a kit that is a number
    plugin.Raw(11, atomString, "no end");            // a string without its NUL
    if (block % 3 == 0)
      plugin.SetKit(20, (dir_.path() / ("missing-" + std::to_string(block))).string());
    plugin.SetKit(30, good.string());
    if (block % 50 == 0)
      plugin.Midi(0, {0x99, 36, 100});
    plugin.Run(64);
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  size_t lines = host_.LogLines().size() - logBefore;
  EXPECT_LE(lines, size_t(seconds) + 1);

  // Once the storm is over it plays the kit it was given last, as a fresh instance does.
  plugin.SetKit(0, good.string());
  ASSERT_TRUE(plugin.WaitForKit(good.string(), 20, false));
  for (int i = 0; i < 100; ++i) { // any load still under way lands
    plugin.Run(64);
    std::this_thread::sleep_for(std::chrono::milliseconds(3));
  }
  HostedPlugin fresh(host_, kStereo, 44100, 64);
  fresh.SetKit(0, good.string());
  ASSERT_TRUE(fresh.WaitForKit(good.string()));
  for (int i = 0; i < 200; ++i) { // the kits let go ring out
    plugin.Run(64);
    fresh.Run(64);
  }
  EXPECT_TRUE(Play(plugin, Groove(), 44100, 4096, 64) == Play(fresh, Groove(), 44100, 4096, 64));
}

// What makes the plugin fit for a real-time thread (lv2:hardRTCapable): once its kit is
// loaded, run and work_response allocate nothing, open no file and never wait for a lock,
// while the worker loads the next kit and frees the last. (The engine copies lock their
// own state, which a kit's worker hands over before it plays and gets back after.)
TEST_F(Lv2Plugins, RunAllocatesNothingOpensNothingAndTakesNoLock) {
  if (!RtProbeAvailable())
    GTEST_SKIP() << "the sanitizers own the allocator here";
  fs::path kit = WriteTestKit(dir_.path() / "kit", GrooveKeys());
  fs::path other = WriteTestKit(dir_.path() / "other", GrooveKeys());
  for (const char* uri : {kStereo, kMulti}) {
    HostedPlugin plugin(host_, uri, 48000, 256);
    plugin.SetKit(0, kit.string());
    ASSERT_TRUE(plugin.WaitForKit(kit.string()));
    plugin.Probe(true);
    plugin.SetKit(0, other.string()); // swapped in and the old one let go while counting
    for (int block = 0; block < 400; ++block) {
      for (const TimedMidi& e : Groove())
        plugin.Midi(e.pulse % 256, e.bytes);
      plugin.Midi(100, {0xE9, 0, 80});
      plugin.Midi(200, {0xB9, 123, 0});
      plugin.Run(256);
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    plugin.Probe(false);
    const RtCounts& counts = plugin.probed();
    bool swapped = false;
    for (const auto& [property, value] : plugin.TakeNotes())
      swapped |= value == other.string();
    EXPECT_TRUE(swapped) << uri;
    EXPECT_EQ(counts.allocations, 0u) << uri;
    EXPECT_EQ(counts.opens, 0u) << uri;
    EXPECT_EQ(counts.waits, 0u) << uri << ", of " << counts.locks << " locks";
  }
}

} // namespace
