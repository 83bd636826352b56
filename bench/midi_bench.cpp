// The za32 program with MIDI, as a user runs it: a whole `za32 render` of a 3-minute
// two-track drum file on a 9-sample kit (the real-time factor of the whole process), and
// `za32 live` on a JACK dummy server of its own, clicks sent as JACK MIDI and heard back
// from its audio port (the latency from MIDI in to sound).
#include "host/commands/demo_kit.h"
#include "host/outputs/wav_file.h"
#include "tests/support/jack_midi_clicks.h"
#include "tests/support/jack_server.h"
#include "tests/support/midi_files.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace {

using namespace midifile;

// Starts za32 with `args` in `directory`, its output thrown away.
pid_t StartZa32(const std::vector<std::string>& args, const std::filesystem::path& directory) {
  std::vector<std::string> words = {"/bin/sh", "-c", "cd \"$0\" && exec \"$@\" >/dev/null 2>&1",
                                    directory.string(), ZA32_BINARY};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : words)
    argv.push_back(word.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  return posix_spawn(&pid, "/bin/sh", nullptr, nullptr, argv.data(), environ) == 0 ? pid : 0;
}

int Wait(pid_t pid) {
  int status = -1;
  if (pid > 0)
    waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// 3 minutes at 120 beats a minute, 480 pulses a beat: kick and snare on one track,
// eighth-note hats on the other, every note let go 30 pulses later, in running status.
std::string DrumSong() {
  std::vector<Event> beat{{0, Tempo(500000)}}, hats;
  for (int bar = 0; bar < 90; ++bar) {
    for (int quarter = 0; quarter < 4; ++quarter) {
      std::string note = quarter % 2 ? "\x26" : "\x24";
      beat.push_back({uint32_t(quarter || bar ? 450 : 0), "\x99" + note + "\x64"});
      beat.push_back({30, note + std::string(1, '\0')});
      for (int eighth = 0; eighth < 2; ++eighth) {
        hats.push_back({uint32_t(bar || quarter || eighth ? 210 : 0), "\x99\x2A\x50"});
        hats.push_back({30, std::string("\x2A\0", 2)});
      }
    }
  }
  return File(1, 480, {Track(beat), Track(hats)});
}

void BM_RenderMidiFileWholeProcess(benchmark::State& state) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "za32-midi-bench";
  DemoFiles files = WriteDemoKit(dir);
  std::ofstream(dir / "drums.mid", std::ios::binary) << DrumSong();
  for (auto _ : state)
    if (Wait(StartZa32({"render", files.kit.string(), "drums.mid", "-o", "out.wav", "--tail", "0"},
                       dir)) != 0)
      state.SkipWithError("za32 render failed");
  const double seconds = 180;
  state.counters["times_real_time"] =
      benchmark::Counter(seconds * double(state.iterations()), benchmark::Counter::kIsRate);
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
}
BENCHMARK(BM_RenderMidiFileWholeProcess)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_LiveMidiToSoundOnJack(benchmark::State& state) {
  JackServer server(128);
  if (!server.ready()) {
    state.SkipWithError("no JACK server could be started (jackd -d dummy)");
    return;
  }
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "za32-live-midi-bench";
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "click.wav", std::ios::binary)
      << WavFileBytes(44100, 1, std::vector<int16_t>(32, 16000));
  std::ofstream(dir / "kit.json") << R"({"keys": [{"sample": "click.wav", "key": 37}]})";
  int64_t latency = -1;
  for (auto _ : state) {
    pid_t za32 = StartZa32({"live", "kit.json", "--midi", "jack", "--audio", "jack"}, dir);
    JackMidiClicks clicks(37, 4447, 12);
    if (clicks.ok() && clicks.Connect("za32-midi:za32", "za32:out_1"))
      clicks.Play(4410);
    kill(za32, SIGINT);
    Wait(za32);
    for (const JackMidiClicks::Click& click : clicks.Clicks())
      if (!click.disturbed && click.latency >= 0)
        latency = std::max(latency, click.latency);
  }
  if (latency < 0)
    state.SkipWithError("no click came back undisturbed");
  state.counters["latency_frames"] = double(latency);
  state.counters["latency_ms"] = double(latency) * 1000 / 44100;
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
}
BENCHMARK(BM_LiveMidiToSoundOnJack)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

} // namespace

BENCHMARK_MAIN();
