// Mixer throughput: 25 voices of 16-bit stereo at random frequencies from 11,025 to
// 88,200 Hz, mixed to 16-bit stereo at 44,100 and at 48,000 Hz, as a realtime factor on
// one core ("realtime" = seconds of output made per second), for each quality of the
// software device, beside a reference measured in the same run: a plain scalar loop that
// mixes the same voices by linear interpolation, in turns with the device. Each quality's
// alias rejection is measured beside its speed ("alias_db": the loudest image or alias of a few
// test tones, relative to the tone).
#include "platform/emul/dsound/device_control.h"
#include "platform/emul/dsound/resampler.h"

#include <benchmark/benchmark.h>

#include <chrono>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstring>
#include <random>
#include <vector>

namespace {

using dsemu::Quality;

constexpr int kVoices = 25;
constexpr DWORD kSourceFrames = 2 * 44100;
constexpr size_t kBlock = 4096; // output frames a call, as a render would ask
// Blocks each side mixes in its turn when two take turns: enough that the caches the other
// side left cost little, short enough that both see the same load.
constexpr int kTurn = 32;

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

WAVEFORMATEX PcmFormat(WORD channels, DWORD rate) {
  WAVEFORMATEX format{};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = channels;
  format.nSamplesPerSec = rate;
  format.wBitsPerSample = 16;
  format.nBlockAlign = static_cast<WORD>(2 * channels);
  format.nAvgBytesPerSec = rate * format.nBlockAlign;
  return format;
}

IDirectSoundBuffer* MakeBuffer(IDirectSound* device, WORD channels, const int16_t* samples,
                               DWORD frames) {
  WAVEFORMATEX format = PcmFormat(channels, 44100);
  DSBUFFERDESC desc{};
  desc.dwSize = sizeof(DSBUFFERDESC1);
  desc.dwFlags = DSBCAPS_STATIC | DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLPAN;
  desc.dwBufferBytes = frames * format.nBlockAlign;
  desc.lpwfxFormat = &format;
  IDirectSoundBuffer* buffer = nullptr;
  if (device->CreateSoundBuffer(&desc, &buffer, nullptr) != DS_OK)
    return nullptr;
  void* region = nullptr;
  DWORD bytes = 0;
  buffer->Lock(0, desc.dwBufferBytes, &region, &bytes, nullptr, nullptr, 0);
  std::memcpy(region, samples, bytes);
  buffer->Unlock(region, bytes, nullptr, 0);
  return buffer;
}

// The level of the component at `frequency` Hz in the left channel, through a
// Blackman-Harris window (side lobes 92 dB down).
double Amplitude(const std::vector<int16_t>& stereo, double frequency, double rate) {
  const size_t n = stereo.size() / 2;
  std::complex<double> sum = 0;
  double weights = 0;
  for (size_t i = 0; i < n; ++i) {
    const double u = 2 * M_PI * i / (n - 1);
    const double w =
        0.35875 - 0.48829 * std::cos(u) + 0.14128 * std::cos(2 * u) - 0.01168 * std::cos(3 * u);
    sum += w * (stereo[2 * i] / 32768.0) * std::polar(1.0, -2 * M_PI * frequency * i / rate);
    weights += w;
  }
  return 2 * std::abs(sum) / weights;
}

// A component folded into 0 .. rate / 2.
double Folded(double frequency, double rate) {
  frequency = std::fmod(frequency, rate);
  return frequency > rate / 2 ? rate - frequency : frequency;
}

// The loudest image or alias, in dB relative to the tone, of sines of `tone` Hz (in
// 44,100 Hz data) played at `frequency`: the image mirrored about the buffer's own
// Nyquist frequency, and the tone itself when it lands above the output's.
double WorstImage(IDirectSound* device, uint32_t rate, Quality quality) {
  struct Case {
    DWORD frequency;
    double tone;
  };
  // The high quality's cases: an octave down, an octave up (the tone above the output's
  // Nyquist frequency), a fourth down; the fast quality's: a tenth of the buffer's rate,
  // a fourth down and a fifth up, where its documented bound is 50 dB.
  const Case high[] = {{22050, 12000}, {88200, 15000}, {33075, 16000}};
  const Case fast[] = {{33075, 4410}, {66150, 4410}};
  double worst = -200;
  for (const Case& c : quality == Quality::High
                           ? std::vector<Case>(std::begin(high), std::end(high))
                           : std::vector<Case>(std::begin(fast), std::end(fast))) {
    constexpr DWORD kFrames = 65536;
    std::vector<int16_t> sine(kFrames);
    for (DWORD i = 0; i < kFrames; ++i)
      sine[i] = static_cast<int16_t>(std::lrint(16384 * std::sin(2 * M_PI * c.tone * i / 44100)));
    IDirectSoundBuffer* buffer = MakeBuffer(device, 1, sine.data(), kFrames);
    buffer->SetFrequency(c.frequency);
    buffer->Play(0, 0, 0);
    std::vector<int16_t> out(2 * 2000);
    dsemu::AdvanceFrames(2000, out.data()); // past the start
    out.assign(2 * 8192, 0);
    dsemu::AdvanceFrames(8192, out.data());
    buffer->Release();
    const double played = c.tone * c.frequency / 44100;
    std::vector<double> unwanted{Folded(c.frequency - played, rate)};
    const bool above = played > rate / 2.0;
    if (above)
      unwanted.push_back(Folded(played, rate));
    // An octave up the tone itself must go: measure against the level it was made at.
    const double reference = above ? 0.5 : Amplitude(out, played, rate);
    for (double at : unwanted)
      worst = std::max(worst, 20 * std::log10(Amplitude(out, at, rate) / reference));
  }
  return worst;
}

// The reference: the same voices, gains and output, by linear interpolation in a plain
// scalar loop with a 32.32 fixed-point cursor.
class ScalarLinearReference {
public:
  explicit ScalarLinearReference(uint32_t rate)
      : voices_(TheVoices()), rate_(rate), cursors_(kVoices, 0), left_(kBlock), right_(kBlock),
        out_(2 * kBlock) {}

  // One block of kBlock frames.
  void Mix() {
    const float gain = static_cast<float>(std::pow(10.0, -1000 / 2000.0));
    const uint64_t end = uint64_t{kSourceFrames} << 32;
    std::fill(left_.begin(), left_.end(), 0.0f);
    std::fill(right_.begin(), right_.end(), 0.0f);
    for (int v = 0; v < kVoices; ++v) {
      const int16_t* data = voices_.data[v].data();
      const uint64_t step = (uint64_t{voices_.frequencies[v]} << 32) / rate_;
      uint64_t cursor = cursors_[v];
      for (size_t k = 0; k < kBlock; ++k) {
        const uint32_t i = static_cast<uint32_t>(cursor >> 32);
        const uint32_t next = i + 1 == kSourceFrames ? 0 : i + 1;
        const float t = static_cast<float>(cursor & 0xFFFFFFFFu) * (1.0f / 4294967296.0f);
        const float l = data[2 * i] + t * (data[2 * next] - data[2 * i]);
        const float r = data[2 * i + 1] + t * (data[2 * next + 1] - data[2 * i + 1]);
        left_[k] += gain * l;
        right_[k] += gain * r;
        cursor += step;
        if (cursor >= end)
          cursor -= end;
      }
      cursors_[v] = cursor;
    }
    for (size_t k = 0; k < kBlock; ++k) {
      out_[2 * k] = static_cast<int16_t>(std::clamp(std::lrint(left_[k]), -32768L, 32767L));
      out_[2 * k + 1] = static_cast<int16_t>(std::clamp(std::lrint(right_[k]), -32768L, 32767L));
    }
    benchmark::DoNotOptimize(out_.data());
  }

private:
  const Voices& voices_;
  uint32_t rate_;
  std::vector<uint64_t> cursors_;
  std::vector<float> left_;
  std::vector<float> right_;
  std::vector<int16_t> out_;
};

// Seconds a call of `work` takes, added to `total`.
template <typename Work> void Timed(double& total, Work work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void MixerRealtimeFactor(benchmark::State& state, Quality quality, uint32_t rate) {
  const Voices& voices = TheVoices();
  dsemu::SelectOutput(dsemu::Output::Manual);
  dsemu::SelectQuality(quality);
  if (!dsemu::SelectOutputRate(rate)) {
    state.SkipWithError("the output rate cannot be chosen");
    return;
  }
  IDirectSound* device = nullptr;
  if (DirectSoundCreate(nullptr, &device, nullptr) != DS_OK) {
    state.SkipWithError("no device");
    return;
  }
  device->SetCooperativeLevel(reinterpret_cast<HWND>(1), DSSCL_PRIORITY);
  std::vector<IDirectSoundBuffer*> buffers;
  for (int v = 0; v < kVoices; ++v) {
    IDirectSoundBuffer* buffer = MakeBuffer(device, 2, voices.data[v].data(), kSourceFrames);
    buffer->SetFrequency(voices.frequencies[v]);
    buffer->SetVolume(-1000);
    buffer->SetPan(v * 800 - 10000);
    buffer->Play(0, 0, DSBPLAY_LOOPING);
    buffers.push_back(buffer);
  }
  // The mixer and the reference take turns, block by block, so that a shared machine's
  // changing load falls on both alike.
  ScalarLinearReference reference(rate);
  std::vector<int16_t> out(2 * kBlock);
  double mixing = 0;
  double referenceMixing = 0;
  for (auto _ : state) {
    Timed(mixing, [&] {
      for (int turn = 0; turn < kTurn; ++turn)
        dsemu::AdvanceFrames(kBlock, out.data());
    });
    benchmark::DoNotOptimize(out.data());
    Timed(referenceMixing, [&] {
      for (int turn = 0; turn < kTurn; ++turn)
        reference.Mix();
    });
  }
  const double made = double(state.iterations()) * kTurn * kBlock / rate;
  state.counters["realtime"] = made / mixing;
  state.counters["reference_realtime"] = made / referenceMixing;
  state.counters["against_reference"] = referenceMixing / mixing;
  state.SetLabel(dsemu::ChosenResamplers().name);
  for (IDirectSoundBuffer* buffer : buffers)
    buffer->Release();
  state.counters["alias_db"] = WorstImage(device, rate, quality);
  device->Release();
  dsemu::SelectOutputRate(44100);
}

// What a block costs beside its frames: the same voices at high quality into float buses
// at 48 kHz, as an engine instance renders them for a plugin, in 64-frame blocks and in
// 4096-frame blocks by turns, as nanoseconds an output frame.
void BM_MixerBlocks(benchmark::State& state) {
  const Voices& voices = TheVoices();
  dsemu::SelectOutput(dsemu::Output::Manual);
  dsemu::SelectQuality(Quality::High);
  dsemu::SelectOutputRate(48000);
  IDirectSound* device = nullptr;
  if (DirectSoundCreate(nullptr, &device, nullptr) != DS_OK) {
    state.SkipWithError("no device");
    return;
  }
  device->SetCooperativeLevel(reinterpret_cast<HWND>(1), DSSCL_PRIORITY);
  std::vector<IDirectSoundBuffer*> buffers;
  for (int v = 0; v < kVoices; ++v) {
    IDirectSoundBuffer* buffer = MakeBuffer(device, 2, voices.data[v].data(), kSourceFrames);
    buffer->SetFrequency(voices.frequencies[v]);
    buffer->SetVolume(-1000);
    buffer->SetPan(v * 800 - 10000);
    buffer->Play(0, 0, DSBPLAY_LOOPING);
    buffers.push_back(buffer);
  }
  std::vector<float> left(kBlock);
  std::vector<float> right(kBlock);
  auto render = [&](size_t block) {
    for (size_t done = 0; done < kBlock; done += block) {
      dsemu::FloatBuses buses;
      buses.left[0] = left.data() + done;
      buses.right[0] = right.data() + done;
      dsemu::AdvanceFramesInto(block, buses);
    }
    benchmark::DoNotOptimize(left.data());
  };
  double shortBlocks = 0;
  double longBlocks = 0;
  for (auto _ : state) {
    Timed(shortBlocks, [&] {
      for (int turn = 0; turn < kTurn; ++turn)
        render(64);
    });
    Timed(longBlocks, [&] {
      for (int turn = 0; turn < kTurn; ++turn)
        render(kBlock);
    });
  }
  const double frames = double(state.iterations()) * kTurn * kBlock;
  state.counters["ns_per_frame_64"] = shortBlocks / frames * 1e9;
  state.counters["ns_per_frame_4096"] = longBlocks / frames * 1e9;
  state.counters["short_against_long"] = shortBlocks / longBlocks;
  for (IDirectSoundBuffer* buffer : buffers)
    buffer->Release();
  device->Release();
  dsemu::SelectOutputRate(44100);
}

void BM_ReferenceScalarLinear(benchmark::State& state) {
  ScalarLinearReference reference(44100);
  for (auto _ : state)
    reference.Mix();
  state.counters["realtime"] =
      benchmark::Counter(double(state.iterations()) * kBlock / 44100, benchmark::Counter::kIsRate);
}

void BM_MixerFast(benchmark::State& state) {
  MixerRealtimeFactor(state, dsemu::Quality::Fast, 44100);
}
void BM_MixerHigh(benchmark::State& state) {
  MixerRealtimeFactor(state, dsemu::Quality::High, 44100);
}
void BM_MixerFast48k(benchmark::State& state) {
  MixerRealtimeFactor(state, dsemu::Quality::Fast, 48000);
}
void BM_MixerHigh48k(benchmark::State& state) {
  MixerRealtimeFactor(state, dsemu::Quality::High, 48000);
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
BENCHMARK(BM_KernelCubic)->Arg(30000)->Arg(80000)->Arg(88200);
BENCHMARK(BM_KernelSinc)->Arg(30000)->Arg(45000)->Arg(60000)->Arg(80000)->Arg(88200);
BENCHMARK(BM_KernelCubicPortable)->Arg(30000);
BENCHMARK(BM_KernelSincPortable)->Arg(30000);

BENCHMARK(BM_ReferenceScalarLinear);
BENCHMARK(BM_MixerFast);
BENCHMARK(BM_MixerHigh);
BENCHMARK(BM_MixerFast48k);
BENCHMARK(BM_MixerHigh48k);
BENCHMARK(BM_MixerBlocks);

} // namespace

BENCHMARK_MAIN();
