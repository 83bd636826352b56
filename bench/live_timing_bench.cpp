// Live timing on a JACK server of its own (dummy driver, 128 frames at 44,100 Hz): a
// click track posted as a JACK MIDI input would post it, each hit at the start of the
// period its frame falls in, with that frame, recorded from what the output played. Reports the
// largest error of a click interval (goal 0 frames) and the latency from an event's
// frame to its sound: the command latency measured plus the period JACK holds.
#include "host/files/kit_file.h"
#include "host/outputs/engine_session.h"
#include "host/outputs/wav_file.h"
#include "host/sources/pattern.h"
#include "host/sources/timeline.h"
#include "kit/kit_model.h"
#include "tests/support/jack_server.h"

#include "platform/emul/dsound/device_control.h"

#include <benchmark/benchmark.h>
#include <sndfile.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

constexpr unsigned kPeriod = 128;

void WriteText(const std::filesystem::path& file, const char* text) {
  std::ofstream(file) << text;
}

// The frames at which sound starts after silence in a 16-bit stereo recording.
std::vector<uint64_t> Onsets(const std::filesystem::path& file) {
  SF_INFO info{};
  SNDFILE* in = sf_open(file.c_str(), SFM_READ, &info);
  std::vector<uint64_t> onsets;
  if (!in)
    return onsets;
  std::vector<short> frames(2 * size_t(info.frames));
  sf_readf_short(in, frames.data(), info.frames);
  sf_close(in);
  bool silent = true;
  for (uint64_t f = 0; f < uint64_t(info.frames); ++f) {
    const bool sounding = frames[2 * f] != 0 || frames[2 * f + 1] != 0;
    if (sounding && silent)
      onsets.push_back(f);
    silent = !sounding;
  }
  return onsets;
}

void BM_LiveClickTrackOnJack(benchmark::State& state) {
  JackServer server(kPeriod);
  if (!server.ready()) {
    state.SkipWithError("no JACK server could be started (jackd -d dummy)");
    return;
  }
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "za32-live-bench";
  std::filesystem::create_directories(dir);
  {
    WavWriter click(dir / "click.wav", kOutputRate, 1);
    const std::vector<int16_t> samples(32, 16000);
    click.Write(samples);
    click.Close();
  }
  WriteText(dir / "kit.json",
            R"({"keys": [{"sample": "click.wav", "key": 1, "velocity_sense": false}]})");
  WriteText(dir / "pattern.json",
            R"({"tempo": 105, "steps": 16, "tracks": {"1": "x.x.x.x.x.x.x.x."}, "repeat": 1})");
  const Kit kit = LoadKit(dir / "kit.json");
  const Timeline timeline = BuildTimeline(kit, LoadPattern(dir / "pattern.json"));

  double worstError = 0;
  double latency = 0;
  for (auto _ : state) {
    const std::filesystem::path recording = dir / "played.wav";
    dsemu::StartWavCapture(recording.c_str());
    std::vector<uint64_t> due;
    {
      EngineSession engine(AudioOutput::Jack);
      engine.InstallKit(kit);
      const uint64_t origin = dsemu::OutputFrameNow() + kOutputRate / 10;
      for (const TimedMessage& message : timeline.messages) {
        // Posted at the start of the period its frame falls in, when a JACK MIDI input
        // would have it.
        const uint64_t frame = origin + message.frame;
        while (dsemu::OutputFrameNow() < frame - frame % kPeriod)
          std::this_thread::sleep_for(std::chrono::microseconds(200));
        engine.PostAt(message.message, message.lParam, frame);
        engine.Pump();
        if (message.message == AM_NOTE && HIWORD(message.lParam) != 0)
          due.push_back(frame);
      }
      while (dsemu::OutputFrameNow() < origin + timeline.frames)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    dsemu::StopWavCapture();
    const std::vector<uint64_t> onsets = Onsets(recording);
    if (onsets.size() != due.size()) {
      state.SkipWithError(("a click was lost: " + std::to_string(onsets.size()) + " of " +
                           std::to_string(due.size()))
                              .c_str());
      break;
    }
    for (size_t i = 0; i < onsets.size(); ++i) {
      latency = std::max(latency, double(onsets[i] - due[i]));
      if (i > 0)
        worstError = std::max(
            worstError, std::abs(double(onsets[i] - onsets[i - 1]) - double(due[i] - due[i - 1])));
    }
  }
  state.counters["timing_error_frames"] = worstError;
  state.counters["latency_ms"] = (latency + kPeriod) * 1000.0 / kOutputRate;
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
}
BENCHMARK(BM_LiveClickTrackOnJack)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
