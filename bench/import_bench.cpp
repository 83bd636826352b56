// za32 import and render as a user runs them, whole processes: importing a kit of 100
// FLAC samples, and rendering a song imported from a Hydrogen song file.
#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>
#include <sndfile.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

fs::path Scratch() {
  static fs::path dir = [] {
    std::string pattern = (fs::temp_directory_path() / "za32-import-bench-XXXXXX").string();
    return fs::path(mkdtemp(pattern.data()));
  }();
  return dir;
}

bool Za32(std::vector<std::string> args) {
  args.insert(args.begin(), ZA32_BINARY);
  std::vector<char*> argv;
  for (std::string& a : args)
    argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  int status = -1;
  bool ok = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0 &&
            waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  posix_spawn_file_actions_destroy(&actions);
  return ok;
}

void WriteFlac(const fs::path& file, double frequency) {
  SF_INFO info{};
  info.samplerate = 44100;
  info.channels = 2;
  info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_24;
  SNDFILE* out = sf_open(file.c_str(), SFM_WRITE, &info);
  std::vector<double> tone(44100 * 2);
  for (size_t i = 0; i < tone.size(); ++i)
    tone[i] = 0.5 * std::exp(-double(i) / 40000) *
              std::sin(2 * std::numbers::pi * frequency * double(i / 2) / 44100);
  sf_writef_double(out, tone.data(), 44100);
  sf_close(out);
}

std::string Instrument(int id, int layers, int sampleBase) {
  std::string xml = "<instrument><id>" + std::to_string(id) + "</id><name>Drum " +
                    std::to_string(id) + "</name><midiOutNote>" + std::to_string(36 + id) +
                    "</midiOutNote><instrumentComponent>";
  for (int l = 0; l < layers; ++l)
    xml += "<layer><filename>s" + std::to_string(sampleBase + l) + ".flac</filename><min>" +
           std::to_string(double(l) / layers) + "</min><max>" +
           std::to_string(double(l + 1) / layers) + "</max></layer>";
  return xml + "</instrumentComponent></instrument>";
}

// 25 instruments of 4 layers: 100 one-second 24-bit stereo FLAC samples. The engine's 25
// keys take one layer of each, so 25 of them are converted.
fs::path Kit() {
  fs::path kit = Scratch() / "kit";
  if (fs::exists(kit))
    return kit;
  fs::create_directories(kit);
  std::string xml = "<drumkit_info><name>Bench</name><instrumentList>";
  for (int i = 0; i < 25; ++i)
    xml += Instrument(i, 4, 4 * i);
  for (int s = 0; s < 100; ++s)
    WriteFlac(kit / std::string("s").append(std::to_string(s)).append(".flac"), 100 + 10 * s);
  std::ofstream(kit / "drumkit.xml") << xml << "</instrumentList></drumkit_info>";
  return kit;
}

void BM_ImportFlacKit(benchmark::State& state) {
  fs::path kit = Kit();
  int n = 0;
  for (auto _ : state) {
    fs::path out = Scratch() / ("imported-" + std::to_string(n++));
    if (!Za32({"import", kit.string(), "-o", out.string()}))
      state.SkipWithError("za32 import failed");
    state.PauseTiming();
    fs::remove_all(out);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_ImportFlacKit)->Unit(benchmark::kMillisecond)->UseRealTime();

// Sixteen bars of eight instruments in sixteenths, imported once and rendered.
void BM_RenderImportedSong(benchmark::State& state) {
  fs::path song = Scratch() / "song";
  constexpr int kBars = 16;
  if (!fs::exists(song / "kit.json")) {
    fs::path kit = Kit();
    std::string xml = "<song><bpm>120</bpm><instrumentList>";
    for (int i = 0; i < 8; ++i)
      xml += Instrument(i, 4, 4 * i);
    xml += "</instrumentList><patternList><pattern><name>p</name><size>192</size><noteList>";
    for (int step = 0; step < 16; ++step)
      for (int i = 0; i < 8; ++i)
        if ((step + i) % 3 == 0)
          xml += "<note><position>" + std::to_string(step * 12) + "</position><velocity>" +
                 std::to_string(0.3 + 0.1 * (i % 7)) + "</velocity><instrument>" +
                 std::to_string(i) + "</instrument></note>";
    xml += "</noteList></pattern></patternList><patternSequence>";
    for (int bar = 0; bar < kBars; ++bar)
      xml += "<group><patternID>p</patternID></group>";
    std::ofstream(kit / "song.h2song") << xml << "</patternSequence></song>";
    if (!Za32({"import", (kit / "song.h2song").string(), "-o", song.string()})) {
      state.SkipWithError("za32 import of the song failed");
      return;
    }
  }
  double seconds = kBars * 2.0 + 2.0; // two seconds a bar, and the tail
  for (auto _ : state)
    if (!Za32({"render", (song / "kit.json").string(), (song / "pattern.json").string(), "-o",
               (Scratch() / "song.wav").string()}))
      state.SkipWithError("za32 render failed");
  state.counters["times_real_time"] =
      benchmark::Counter(seconds * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RenderImportedSong)->Unit(benchmark::kMillisecond)->UseRealTime();

// A song of Hydrogen's own on GMRockKit, imported with every layer of every instrument
// (more keys than one engine has: several instances), rendered whole. Hydrogen's data
// (Debian package hydrogen-data) is not installed by the benchmarks: without it, the
// figure says so.
void BM_RenderGMRockKitSong(benchmark::State& state) {
  const fs::path source = "/usr/share/hydrogen/data/demo_songs/GM_kit_demo1.h2song";
  if (!fs::exists(source)) {
    state.SkipWithError("hydrogen-data is not installed (no GM_kit_demo1.h2song)");
    return;
  }
  fs::path song = Scratch() / "gmrockkit";
  if (!fs::exists(song / "kit.json") && !Za32({"import", source.string(), "-o", song.string()})) {
    state.SkipWithError("za32 import of GM_kit_demo1 failed");
    return;
  }
  for (auto _ : state)
    if (!Za32({"render", (song / "kit.json").string(), (song / "pattern.json").string(), "-o",
               (Scratch() / "gmrockkit.wav").string()}))
      state.SkipWithError("za32 render failed");
  state.counters["keys"] =
      double(nlohmann::json::parse(std::ifstream(song / "kit.json"))["keys"].size());
  state.counters["times_real_time"] =
      benchmark::Counter(25.0 * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RenderGMRockKitSong)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  fs::remove_all(Scratch());
  return 0;
}
