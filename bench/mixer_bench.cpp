// Mixer throughput: 25 voices of 16-bit stereo at random frequencies from 11,025 to
// 88,200 Hz, mixed to 44,100 Hz 16-bit stereo, as a realtime factor on one core
// ("realtime" = seconds of output made per second), for each quality of the software
// device, beside a reference measured in the same run: a plain scalar loop that mixes
// the same voices by linear interpolation.
#include "platform/emul/dsound/device_control.h"
#include "platform/emul/dsound/resampler.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr int kVoices = 25;
constexpr DWORD kSourceFrames = 2 * 44100;
constexpr size_t kBlock = 4096; // output frames a call, as a render would ask

struct Voices {
  std::vector<std::vector<int16_t>> data; // interleaved stereo
  std::vector<DWORD> frequencies;
};

const Voices& TheVoices() {
  static const Voices voices = [] {
    Voices made;
    std::mt19937 random(2024);
    std::uniform_int_distribution<DWORD> frequency(11025, 88200);
    std::uniform_real_distribution<double> pitch(50, 5000);
    for (int v = 0; v < kVoices; ++v) {
      std::vector<int16_t> samples(2 * kSourceFrames);
      const double left = pitch(random);
      const double right = pitch(random);
      for (DWORD i = 0; i < kSourceFrames; ++i) {
        samples[2 * i] = static_cast<int16_t>(8000 * std::sin(2 * M_PI * left * i / 44100));
        samples[2 * i + 1] = static_cast<int16_t>(8000 * std::sin(2 * M_PI * right * i / 44100));
      }
      made.data.push_back(std::move(samples));
      made.frequencies.push_back(frequency(random));
    }
    return made;
  }();
  return voices;
}

void MixerRealtimeFactor(benchmark::State& state, dsemu::Quality quality) {
  const Voices& voices = TheVoices();
  dsemu::SelectOutput(dsemu::Output::Manual);
  dsemu::SelectQuality(quality);
  IDirectSound* device = nullptr;
  if (DirectSoundCreate(nullptr, &device, nullptr) != DS_OK) {
    state.SkipWithError("no device");
    return;
  }
  device->SetCooperativeLevel(reinterpret_cast<HWND>(1), DSSCL_PRIORITY);
  WAVEFORMATEX format{};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = 2;
  format.nSamplesPerSec = 44100;
  format.wBitsPerSample = 16;
  format.nBlockAlign = 4;
  format.nAvgBytesPerSec = 44100 * 4;
  DSBUFFERDESC desc{};
  desc.dwSize = sizeof(DSBUFFERDESC1);
  desc.dwFlags = DSBCAPS_STATIC | DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLPAN;
  desc.dwBufferBytes = kSourceFrames * 4;
  desc.lpwfxFormat = &format;
  std::vector<IDirectSoundBuffer*> buffers;
  for (int v = 0; v < kVoices; ++v) {
    IDirectSoundBuffer* buffer = nullptr;
    device->CreateSoundBuffer(&desc, &buffer, nullptr);
    void* region = nullptr;
    DWORD bytes = 0;
    buffer->Lock(0, desc.dwBufferBytes, &region, &bytes, nullptr, nullptr, 0);
    std::memcpy(region, voices.data[v].data(), bytes);
    buffer->Unlock(region, bytes, nullptr, 0);
    buffer->SetFrequency(voices.frequencies[v]);
    buffer->SetVolume(-1000);
    buffer->SetPan(v * 800 - 10000);
    buffer->Play(0, 0, DSBPLAY_LOOPING);
    buffers.push_back(buffer);
  }
  std::vector<int16_t> out(2 * kBlock);
  for (auto _ : state) {
    dsemu::AdvanceFrames(kBlock, out.data());
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["realtime"] =
      benchmark::Counter(double(state.iterations()) * kBlock / 44100, benchmark::Counter::kIsRate);
  state.SetLabel(dsemu::ChosenResamplers().name);
  for (IDirectSoundBuffer* buffer : buffers)
    buffer->Release();
  device->Release();
}

void BM_MixerFast(benchmark::State& state) {
  MixerRealtimeFactor(state, dsemu::Quality::Fast);
}
void BM_MixerHigh(benchmark::State& state) {
  MixerRealtimeFactor(state, dsemu::Quality::High);
}

// The reference: the same voices, gains and output, by linear interpolation in a plain
// scalar loop with a 32.32 fixed-point cursor.
void BM_ReferenceScalarLinear(benchmark::State& state) {
  const Voices& voices = TheVoices();
  std::vector<uint64_t> cursors(kVoices, 0);
  const float gain = static_cast<float>(std::pow(10.0, -1000 / 2000.0));
  std::vector<float> left(kBlock);
  std::vector<float> right(kBlock);
  std::vector<int16_t> out(2 * kBlock);
  const uint64_t end = uint64_t{kSourceFrames} << 32;
  for (auto _ : state) {
    std::fill(left.begin(), left.end(), 0.0f);
    std::fill(right.begin(), right.end(), 0.0f);
    for (int v = 0; v < kVoices; ++v) {
      const int16_t* data = voices.data[v].data();
      const uint64_t step = (uint64_t{voices.frequencies[v]} << 32) / 44100;
      uint64_t cursor = cursors[v];
      for (size_t k = 0; k < kBlock; ++k) {
        const uint32_t i = static_cast<uint32_t>(cursor >> 32);
        const uint32_t next = i + 1 == kSourceFrames ? 0 : i + 1;
        const float t = static_cast<float>(cursor & 0xFFFFFFFFu) * (1.0f / 4294967296.0f);
        const float l = data[2 * i] + t * (data[2 * next] - data[2 * i]);
        const float r = data[2 * i + 1] + t * (data[2 * next + 1] - data[2 * i + 1]);
        left[k] += gain * l;
        right[k] += gain * r;
        cursor += step;
        if (cursor >= end)
          cursor -= end;
      }
      cursors[v] = cursor;
    }
    for (size_t k = 0; k < kBlock; ++k) {
      out[2 * k] = static_cast<int16_t>(std::clamp(std::lrint(left[k]), -32768L, 32767L));
      out[2 * k + 1] = static_cast<int16_t>(std::clamp(std::lrint(right[k]), -32768L, 32767L));
    }
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["realtime"] =
      benchmark::Counter(double(state.iterations()) * kBlock / 44100, benchmark::Counter::kIsRate);
}

// One voice through one interpolator alone, already decoded: nanoseconds an output frame.
void KernelCost(benchmark::State& state, bool high, bool portable) {
  const uint32_t frequency = static_cast<uint32_t>(state.range(0));
  std::vector<float> left(20000, 0.25f);
  std::vector<float> right(20000, -0.25f);
  std::vector<float> out(2 * kBlock);
  const dsemu::SincKernel& kernel = dsemu::SincKernelFor(frequency);
  const dsemu::Resamplers& set = portable ? dsemu::PortableResamplers() : dsemu::ChosenResamplers();
  const dsemu::MixFunction mix = high ? set.sinc : set.cubic;
  const dsemu::VoiceRun run{left.data(), right.data(), kernel.half, 1234,
                            frequency,   kBlock,       0.5f,        0.5f};
  for (auto _ : state) {
    mix(run, &kernel, out.data(), out.data() + kBlock);
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["ns_per_frame"] =
      benchmark::Counter(double(state.iterations()) * kBlock,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["ns_per_frame"].value *= 1;
}
void BM_KernelCubic(benchmark::State& state) {
  KernelCost(state, false, false);
}
void BM_KernelSinc(benchmark::State& state) {
  KernelCost(state, true, false);
}
void BM_KernelCubicPortable(benchmark::State& state) {
  KernelCost(state, false, true);
}
void BM_KernelSincPortable(benchmark::State& state) {
  KernelCost(state, true, true);
}
BENCHMARK(BM_KernelCubic)->Arg(30000)->Arg(80000);
BENCHMARK(BM_KernelSinc)->Arg(30000)->Arg(45000)->Arg(60000)->Arg(80000)->Arg(88200);
BENCHMARK(BM_KernelCubicPortable)->Arg(30000);
BENCHMARK(BM_KernelSincPortable)->Arg(30000);

BENCHMARK(BM_ReferenceScalarLinear);
BENCHMARK(BM_MixerFast);
BENCHMARK(BM_MixerHigh);

} // namespace

BENCHMARK_MAIN();
