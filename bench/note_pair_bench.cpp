// A note-on and its note-off through the engine window's procedure, with the sample
// list full (26 samples) and 25 keys installed, on the software device.
#include "engine/state.h"
#include "platform/emul/control.h"
#include "platform/emul/dsound/device_control.h"
#include "samples/samples.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

// A mono 16-bit PCM file of 4410 frames of silence at 22050 Hz.
void WriteWav(const std::string& path) {
  const uint32_t frames = 4410, rate = 22050, bytes = frames * 2;
  std::FILE* file = std::fopen(path.c_str(), "wb");
  auto u32 = [&](uint32_t v) { std::fwrite(&v, 4, 1, file); };
  auto u16 = [&](uint16_t v) { std::fwrite(&v, 2, 1, file); };
  std::fwrite("RIFF", 1, 4, file);
  u32(36 + bytes);
  std::fwrite("WAVEfmt ", 1, 8, file);
  u32(16);
  u16(1);
  u16(1);
  u32(rate);
  u32(rate * 2);
  u16(2);
  u16(16);
  std::fwrite("data", 1, 4, file);
  u32(bytes);
  std::string silence(bytes, '\0');
  std::fwrite(silence.data(), 1, bytes, file);
  std::fclose(file);
}

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(window, message, wParam, lParam);
}

struct Engine {
  std::filesystem::path dir;
  HWND host = nullptr;
  HWND engine = nullptr;

  Engine() {
    dsemu::SelectOutput(dsemu::Output::Manual);
    char pattern[] = "/tmp/za32_bench_XXXXXX";
    dir = mkdtemp(pattern);
    WNDCLASSA wc{};
    wc.lpfnWndProc = HostProc;
    wc.lpszClassName = "NotePairBenchHost";
    RegisterClassA(&wc);
    host = CreateWindowExA(0, "NotePairBenchHost", "host", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                           nullptr, nullptr, nullptr, nullptr);
    engine = AudioInit(nullptr, host);

    KeyRecord keys[ZA32_KEYS];
    std::memset(keys, 0, sizeof keys);
    for (int k = 0; k < ZA32_KEYS; ++k) {
      const std::string path = (dir / ("key" + std::to_string(k) + ".wav")).string();
      WriteWav(path);
      std::strcpy(keys[k].SampleName, path.c_str());
      keys[k].KeyCode = 36 + k;
      keys[k].Volume = 100;
      keys[k].Pan = 40;
      keys[k].Note = 62;
      keys[k].FineTune = 60;
      keys[k].PitchBend = 1;
      keys[k].VelocitySense = 1;
    }
    InitialiseKeyMap(keys);
    // A 26th sample, as an audition would leave it: the list is full.
    const std::string extra = (dir / "extra.wav").string();
    WriteWav(extra);
    LoadSample(extra.c_str());
  }

  ~Engine() {
    AllNotesOff(0);
    DestroyWindow(host);
    std::filesystem::remove_all(dir);
  }
};

void NoteOnNoteOff(benchmark::State& state) {
  static Engine engine;
  const WORD keyCode = 36 + ZA32_KEYS - 1; // the last key: the longest searches
  if (GetSampleNumber(ZA32_KEYS - 1) != ZA32_KEYS - 1 ||
      CountSamples(&SampleList) != ZA32_MAX_SAMPLES) {
    state.SkipWithError("the key map did not load");
    return;
  }
  for (auto _ : state) {
    AudioDLLWndProc(engine.engine, AM_NOTE, 0, MAKELPARAM(keyCode, 100));
    AudioDLLWndProc(engine.engine, AM_NOTE, 0, MAKELPARAM(keyCode, 0));
  }
  if (KeyMap[ZA32_KEYS - 1].Released != 1 || KeyMap[ZA32_KEYS - 1].Playing != 0) {
    state.SkipWithError("the note did not play");
  }
}
BENCHMARK(NoteOnNoteOff);

} // namespace

BENCHMARK_MAIN();
