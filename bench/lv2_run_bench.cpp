// The LV2 plugin in the tests' lilv host: what a block of run costs with 25 voices
// sounding (as a real-time factor, at 64 and 256 frames, 44.1 and 48 kHz), 32 instances
// playing at once, and how long a switch to a kit of 100 samples takes.
#include "tests/plugins/lv2/lilv_host.h"
#include "tests/plugins/lv2/test_kits.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

fs::path BenchFolder() {
  return fs::temp_directory_path() / ("za32-lv2-bench-" + std::to_string(getpid()));
}

// `keys` looping keys on notes 0 up, each its own sample.
fs::path LoopingKit(const std::string& name, int keys) {
  std::vector<TestKey> list;
  for (int k = 0; k < keys; ++k)
    list.push_back({k, 22050, int16_t(2000 + 40 * k), uint32_t(50 + k), 1, true});
  return WriteTestKit(BenchFolder() / name, list);
}

LilvHost& Host() {
  static LilvHost host;
  return host;
}

// A plugin playing `kit` with every key sounding.
std::unique_ptr<HostedPlugin> Sounding(const fs::path& kit, double rate, uint32_t block, int keys) {
  auto plugin = std::make_unique<HostedPlugin>(Host(), "urn:zandoria:za32", rate, block);
  plugin->SetKit(0, kit.string());
  if (!plugin->WaitForKit(kit.string()))
    return nullptr;
  for (int k = 0; k < keys; ++k)
    plugin->Midi(0, {0x99, uint8_t(k), 100});
  plugin->Run(block);
  // Every key sounds: the mix is at least as loud as all of them at once, in phase or not.
  double sum = 0;
  for (int i = 0; i < 8; ++i) {
    plugin->Run(block);
    for (float s : plugin->Left())
      sum += double(s) * s;
  }
  if (sum == 0)
    return nullptr;
  return plugin;
}

void BM_Lv2Run25Voices(benchmark::State& state) {
  double rate = double(state.range(0));
  uint32_t block = uint32_t(state.range(1));
  auto plugin = Sounding(LoopingKit("voices25", 25), rate, block, 25);
  if (!plugin) {
    state.SkipWithError("the kit did not load");
    return;
  }
  for (auto _ : state)
    plugin->Run(block);
  state.counters["times_real_time"] = benchmark::Counter(
      double(block) / rate * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Lv2Run25Voices)
    ->Args({44100, 64})
    ->Args({44100, 256})
    ->Args({48000, 64})
    ->Args({48000, 256})
    ->UseRealTime();

void BM_Lv2ThirtyTwoInstances(benchmark::State& state) {
  fs::path kit = LoopingKit("voices8", 8);
  std::vector<std::unique_ptr<HostedPlugin>> plugins;
  for (int i = 0; i < 32; ++i) {
    plugins.push_back(Sounding(kit, 48000, 256, 8));
    if (!plugins.back()) {
      state.SkipWithError("a kit did not load");
      return;
    }
  }
  for (auto _ : state)
    for (auto& plugin : plugins)
      plugin->Run(256);
  state.counters["times_real_time"] =
      benchmark::Counter(256.0 / 48000 * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Lv2ThirtyTwoInstances)->UseRealTime();

// From patch:Set to the block the new kit plays in, alternating two kits of 100 samples.
void BM_Lv2KitSwitch100Samples(benchmark::State& state) {
  fs::path kits[2] = {LoopingKit("hundred-a", 100), LoopingKit("hundred-b", 100)};
  HostedPlugin plugin(Host(), "urn:zandoria:za32", 48000, 256);
  int which = 0;
  for (auto _ : state) {
    plugin.SetKit(0, kits[which].string());
    if (!plugin.WaitForKit(kits[which].string(), 60)) {
      state.SkipWithError("the kit did not load");
      return;
    }
    which = 1 - which;
  }
}
BENCHMARK(BM_Lv2KitSwitch100Samples)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ignored;
  fs::remove_all(BenchFolder(), ignored);
  return 0;
}
