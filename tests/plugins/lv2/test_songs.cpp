#include "test_songs.h"

#include "tests/support/midi_files.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr uint32_t kTempo = 500000;
constexpr int kPulsesPerQuarter = 441;
} // namespace

uint32_t FrameOf(uint32_t pulse, double rate) {
  return static_cast<uint32_t>(std::llround(pulse * (kTempo * rate) / (kPulsesPerQuarter * 1e6)));
}

std::string MidiFileOf(const std::vector<TimedMidi>& song) {
  std::vector<midifile::Event> events = {{0, midifile::Tempo(kTempo)}};
  uint32_t at = 0;
  for (const TimedMidi& e : song) {
    events.push_back({e.pulse - at, std::string(e.bytes.begin(), e.bytes.end())});
    at = e.pulse;
  }
  return midifile::File(0, kPulsesPerQuarter, {midifile::Track(events)});
}

std::vector<float> Play(HostedPlugin& plugin, const std::vector<TimedMidi>& song, double rate,
                        uint32_t frames, uint32_t block) {
  std::vector<float> out;
  out.reserve(2 * frames);
  size_t next = 0;
  for (uint32_t start = 0; start < frames; start += block) {
    uint32_t n = std::min(block, frames - start);
    while (next < song.size() && FrameOf(song[next].pulse, rate) < start + n) {
      plugin.Midi(FrameOf(song[next].pulse, rate) - start, song[next].bytes);
      ++next;
    }
    plugin.Run(n);
    for (uint32_t i = 0; i < n; ++i) {
      float left = 0, right = 0;
      for (unsigned p = 0; p < plugin.pairs(); ++p) {
        left += plugin.Left(p)[i];
        right += plugin.Right(p)[i];
      }
      out.push_back(left);
      out.push_back(right);
    }
  }
  return out;
}

std::vector<TimedMidi> Groove() {
  return {{0, {0x99, 36, 100}}, {3, {0x99, 38, 64}},  {10, {0x89, 36, 0}}, {12, {0x99, 36, 127}},
          {12, {0x99, 40, 90}}, {25, {0x90, 38, 30}}, {31, {0x99, 42, 0}}, {40, {0x99, 42, 110}}};
}

std::vector<TestKey> GrooveKeys() {
  return {{36, 3000, 9000, 90}, {38, 2000, 6000, 60}, {40, 1500, 12000, 40}, {42, 800, 4000, 20}};
}
