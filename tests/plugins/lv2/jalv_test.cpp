// The plugin in jalv on a private JACK server (the dummy driver, no real-time priority):
// its kit restored from a session's state that names it by a relative path, notes from a
// JACK MIDI client of the test, its outputs recorded by another. At 44,100 Hz the take is
// `za32 render` of the same MIDI file, sample for sample; at 48,000 Hz it is what lilv
// makes of the same notes at the same frames in blocks of the same length.
#include "jack_take.h"
#include "lilv_host.h"
#include "programs.h"
#include "test_songs.h"

#include "instance/engine_instance.h"
#include "tests/host/run_za32.h"
#include "tests/support/jack_server.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace fs = std::filesystem;

namespace {

// The state jalv loads with -l: the kit named relative to the session folder.
void WriteSession(const fs::path& folder) {
  WriteText(folder / "state.ttl",
            "@prefix atom: <http://lv2plug.in/ns/ext/atom#> .\n"
            "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
            "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
            "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n\n"
            "<>\n\ta pset:Preset ;\n\tlv2:appliesTo <urn:zandoria:za32> ;\n"
            "\tstate:state [\n\t\t<urn:zandoria:za32#kit> \"kit/kit.json\"^^atom:Path\n\t] .\n");
  WriteText(folder / "manifest.ttl",
            "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
            "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
            "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n\n"
            "<state.ttl>\n\ta pset:Preset ;\n\tlv2:appliesTo <urn:zandoria:za32> ;\n"
            "\trdfs:seeAlso <state.ttl> .\n");
}

std::vector<JackEvent> EventsAt(const std::vector<TimedMidi>& song, double rate) {
  std::vector<JackEvent> events;
  for (const TimedMidi& e : song)
    events.push_back({FrameOf(e.pulse, rate), e.bytes});
  return events;
}

constexpr uint32_t kPeriod = 128;

class Lv2Jalv : public testing::TestWithParam<unsigned> {};

TEST_P(Lv2Jalv, TakeEqualsTheRenderOfTheSameNotes) {
  unsigned rate = GetParam();
  TempDir dir;
  fs::path session = dir.path() / "session";
  fs::path kit = WriteTestKit(session / "kit", GrooveKeys());
  WriteSession(session);

  // What the take must be, left and right.
  std::vector<int16_t> expected16;
  std::vector<float> expectedFloat;
  uint32_t frames = 0;
  if (rate == 44100) {
    dir.write("groove.mid", MidiFileOf(Groove()));
    RunResult rendered =
        RunZa32({"render", kit.string(), "groove.mid", "-o", "groove.wav"}, dir.path());
    ASSERT_EQ(rendered.status, 0) << rendered.err;
    Wav wav = ReadWav(dir.path() / "groove.wav");
    expected16 = wav.samples;
    frames = static_cast<uint32_t>(wav.frames());
  } else {
    // In blocks of the server's period: away from 44,100 Hz the resampler's sums round
    // differently at other block boundaries, by the float's last place.
    LilvHost host;
    HostedPlugin plugin(host, "urn:zandoria:za32", rate, kPeriod);
    plugin.SetKit(0, kit.string());
    ASSERT_TRUE(plugin.WaitForKit(kit.string()));
    frames = rate / 2;
    expectedFloat = Play(plugin, Groove(), rate, frames, kPeriod);
  }

  JackServer server(kPeriod, rate);
  ASSERT_TRUE(server.ready());
  setenv("LV2_PATH", fs::path(ZA32_LV2_BUNDLE).parent_path().c_str(), 1);
  {
    std::string name = "za32-jalv";
    RunningProgram jalv({"jalv", "-x", "-n", name, "-l", session.string(), "urn:zandoria:za32"},
                        dir.path());
    ASSERT_TRUE(jalv.started());
    JackTake take(EventsAt(Groove(), rate), frames);
    ASSERT_TRUE(take.ok());
    ASSERT_TRUE(take.Connect(name + ":control", name + ":out_left", name + ":out_right"))
        << jalv.Output();
    ASSERT_TRUE(take.Play()) << jalv.Output();
    size_t differing = 0;
    for (uint32_t i = 0; i < frames; ++i) {
      if (rate == 44100) {
        differing += za32::ToDeviceSample(take.left()[i]) != expected16[2 * i];
        differing += za32::ToDeviceSample(take.right()[i]) != expected16[2 * i + 1];
      } else {
        differing += take.left()[i] != expectedFloat[2 * i];
        differing += take.right()[i] != expectedFloat[2 * i + 1];
      }
    }
    auto firstSound = [](auto begin, auto end, size_t stride) {
      for (auto it = begin; it < end; it += stride)
        if (*it != 0)
          return size_t(it - begin) / stride;
      return size_t(-1);
    };
    size_t heard = firstSound(take.left().begin(), take.left().end(), 1);
    size_t due = rate == 44100 ? firstSound(expected16.begin(), expected16.end(), 2)
                               : firstSound(expectedFloat.begin(), expectedFloat.end(), 2);
    EXPECT_EQ(differing, 0u) << "at " << rate << " Hz: first sound at frame " << heard
                             << ", due at " << due << "\n"
                             << jalv.Output();
  }
}

INSTANTIATE_TEST_SUITE_P(Rates, Lv2Jalv, testing::Values(44100u, 48000u));

} // namespace
