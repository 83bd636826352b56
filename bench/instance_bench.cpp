// Engine instances as a host pulls them: one instance with 25 voices sounding in 64-frame
// blocks at 44.1 and 48 kHz, 16 such instances in 128-frame blocks, as real-time factors
// ("times_real_time": seconds of sound made per second), what its 64-frame blocks cost
// against 4096-frame ones, and the memory an instance takes beyond its samples.
#include "instance/engine_instance.h"
#include "tests/support/key_records.h"
#include "tests/support/wav_files.h"

#include <benchmark/benchmark.h>

#include <malloc.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

// 25 stereo samples at 44.1 and 22.05 kHz, two seconds long or, `tiny`, 16 frames.
std::vector<std::string> MakeSampleFiles(bool tiny) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() /
      ("za32_instance_bench_" + std::to_string(getpid()) + (tiny ? "_tiny" : ""));
  std::filesystem::create_directories(dir);
  std::vector<std::string> made;
  for (int k = 0; k < ZA32_KEYS; ++k) {
    wavfile::Format format;
    format.channels = 2;
    format.rate = k % 3 ? 44100 : 22050;
    made.push_back(wavfile::WriteFile((dir / ("k" + std::to_string(k) + ".wav")).string(),
                                      wavfile::Wav(format, tiny ? 16 : 2 * format.rate)));
  }
  return made;
}

const std::vector<std::string>& SampleFiles(bool tiny) {
  static const std::vector<std::string> files = MakeSampleFiles(false);
  static const std::vector<std::string> tinyFiles = MakeSampleFiles(true);
  return tiny ? tinyFiles : files;
}

// Looping keys, most of them resampled; bent, with `bend`, over the whole range.
za32::InstanceKeys LoopingKeys(bool tiny = false, bool bend = false) {
  std::vector<KeyRecord> keys;
  for (int k = 0; k < ZA32_KEYS; ++k) {
    keys.push_back(NeutralKey(SampleFiles(tiny)[k], 60 + k, false));
    keys.back().PitchBend = bend ? 1 : 0;
    keys.back().Loop = 1;
    keys.back().Note = 55 + k % 12; // most voices resampled
    keys.back().Pan = 5 * k;
    keys.back().Volume = 60;
  }
  const std::vector<KeyRecord> full = FullKeyMap(keys);
  za32::InstanceKeys installed;
  std::copy(full.begin(), full.end(), installed.records.begin());
  return installed;
}

std::unique_ptr<za32::EngineInstance> SoundingInstance(uint32_t rate, benchmark::State& state,
                                                       const za32::InstanceKeys& keys) {
  std::string why;
  auto instance = za32::EngineInstance::Open(rate, &why);
  if (!instance || !instance->InstallKeys(keys, &why)) {
    state.SkipWithError(why.c_str());
    return nullptr;
  }
  std::vector<za32::InstanceEvent> notes;
  for (int k = 0; k < ZA32_KEYS; ++k)
    notes.push_back({0, AM_NOTE, static_cast<LPARAM>(MAKELONG(60 + k, 100))});
  std::vector<float> left(64);
  std::vector<float> right(64);
  za32::BusBuffers out;
  out.left[0] = left.data();
  out.right[0] = right.data();
  instance->Render(64, notes.data(), notes.size(), out);
  if (instance->SoundingVoices() != ZA32_KEYS)
    state.SkipWithError("not every voice sounds");
  return instance;
}

void RenderBlocks(benchmark::State& state, uint32_t rate, size_t instances, uint32_t block) {
  std::vector<std::unique_ptr<za32::EngineInstance>> running;
  for (size_t i = 0; i < instances; ++i) {
    running.push_back(SoundingInstance(rate, state, LoopingKeys()));
    if (!running.back())
      return;
  }
  std::vector<float> left(block);
  std::vector<float> right(block);
  za32::BusBuffers out;
  out.left[0] = left.data();
  out.right[0] = right.data();
  for (auto _ : state) {
    std::fill(left.begin(), left.end(), 0.0f);
    std::fill(right.begin(), right.end(), 0.0f);
    for (auto& instance : running)
      instance->Render(block, nullptr, 0, out);
    benchmark::DoNotOptimize(left.data());
  }
  state.counters["times_real_time"] =
      benchmark::Counter(double(state.iterations()) * block / rate, benchmark::Counter::kIsRate);
}

void BM_InstanceOne25Voices64At44100(benchmark::State& state) {
  RenderBlocks(state, 44100, 1, 64);
}
void BM_InstanceOne25Voices64At48000(benchmark::State& state) {
  RenderBlocks(state, 48000, 1, 64);
}
void BM_InstanceSixteen25Voices128At48000(benchmark::State& state) {
  RenderBlocks(state, 48000, 16, 128);
}

// One instance at 48 kHz with 25 voices sounding, rendering the same stretch of sound in
// 64-frame blocks and in 4096-frame blocks by turns of 32 x 4096 frames, so that a busy
// machine weighs on both alike: "short_against_long" is the ratio of their times.
void BM_InstanceBlocks(benchmark::State& state) {
  auto instance = SoundingInstance(48000, state, LoopingKeys());
  if (!instance)
    return;
  constexpr uint32_t kLong = 4096;
  constexpr int kTurn = 32;
  std::vector<float> left(kLong);
  std::vector<float> right(kLong);
  auto render = [&](uint32_t block) {
    for (uint32_t done = 0; done < kLong; done += block) {
      za32::BusBuffers out;
      out.left[0] = left.data() + done;
      out.right[0] = right.data() + done;
      instance->Render(block, nullptr, 0, out);
    }
    benchmark::DoNotOptimize(left.data());
  };
  auto timed = [&](uint32_t block) {
    const auto start = std::chrono::steady_clock::now();
    for (int turn = 0; turn < kTurn; ++turn)
      render(block);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  double shortBlocks = 0;
  double longBlocks = 0;
  for (auto _ : state) {
    shortBlocks += timed(64);
    longBlocks += timed(kLong);
  }
  state.counters["short_against_long"] = shortBlocks / longBlocks;
}

// What the loaded copies of the module take beyond the heap: the pages of their mappings
// that are their own (data, relocations, bss).
double ModuleCopiesBytes() {
  std::ifstream smaps("/proc/self/smaps");
  double bytes = 0;
  bool copy = false;
  for (std::string line; std::getline(smaps, line);) {
    const size_t colon = line.find(':');
    const bool header = !line.empty() && std::isxdigit(static_cast<unsigned char>(line[0])) &&
                        line.find('-') < line.find(' ');
    if (header)
      copy = line.find("/memfd:za32instance") != std::string::npos;
    else if (copy && (line.rfind("Private_Dirty:", 0) == 0 || line.rfind("Anonymous:", 0) == 0))
      bytes += 1024.0 * std::stod(line.substr(colon + 1));
  }
  return bytes;
}

// 16 instances at 48 kHz with 25 keys (/1: that follow the bend, so that a kernel is made
// ready for every frequency of their whole range) and every voice sounding, on samples of 16
// frames: the heap they take, their copies' own pages, and their memory files (the module's size
// each).
void BM_InstanceMemory(benchmark::State& state) {
  constexpr size_t kInstances = 16;
  const za32::InstanceKeys keys = LoopingKeys(true, state.range(0) != 0);
  double perInstance = 0;
  for (auto _ : state) {
    const struct mallinfo2 before = mallinfo2();
    const double copiesBefore = ModuleCopiesBytes();
    std::vector<std::unique_ptr<za32::EngineInstance>> running;
    for (size_t i = 0; i < kInstances; ++i)
      running.push_back(SoundingInstance(48000, state, keys));
    const struct mallinfo2 after = mallinfo2();
    const double heap =
        double(after.uordblks + after.hblkhd) - double(before.uordblks + before.hblkhd);
    perInstance = (heap + ModuleCopiesBytes() - copiesBefore) / kInstances +
                  double(std::filesystem::file_size(ZA32_INSTANCE_MODULE_FILE));
  }
  state.counters["bytes_per_instance"] = perInstance;
}

BENCHMARK(BM_InstanceOne25Voices64At44100)->UseRealTime();
BENCHMARK(BM_InstanceOne25Voices64At48000)->UseRealTime();
BENCHMARK(BM_InstanceSixteen25Voices128At48000)->UseRealTime();
BENCHMARK(BM_InstanceBlocks)->UseRealTime();
BENCHMARK(BM_InstanceMemory)->Arg(0)->Arg(1)->Iterations(1);

} // namespace

BENCHMARK_MAIN();
