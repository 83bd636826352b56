// How much faster than real time the host renders: the demo groove, from the first
// message to the last frame, on the kit's engine instance.
#include "host/commands/demo_kit.h"
#include "host/files/kit_file.h"
#include "host/outputs/player.h"
#include "host/outputs/sound_file.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>

namespace {

void BM_RenderDemoGroove(benchmark::State& state) {
  std::filesystem::path dir = std::filesystem::temp_directory_path() / "za32-render-bench";
  DemoFiles files = WriteDemoKit(dir);
  Kit kit = LoadKit(files.kit);
  Timeline timeline = BuildTimeline(kit, LoadPattern(files.pattern));
  std::string why;
  std::unique_ptr<za32::KitPlayer> player = za32::KitPlayer::Load(kit, kOutputRate, &why);
  if (!player) {
    state.SkipWithError(why.c_str());
    return;
  }
  for (auto _ : state) {
    SoundFileWriter out(dir / "out.wav", RenderFormat::Wav16, kOutputRate, 2);
    PlayStats stats = RenderOffline(*player, timeline, out, 1e9);
    out.Close();
    player->AllNotesOff(0);
    benchmark::DoNotOptimize(stats.peak);
  }
  double seconds = double(timeline.frames) / kOutputRate;
  state.counters["audio_seconds"] = seconds;
  state.counters["times_real_time"] =
      benchmark::Counter(seconds * double(state.iterations()), benchmark::Counter::kIsRate);
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
}
BENCHMARK(BM_RenderDemoGroove)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
