#include "test_kits.h"

#include "tests/support/wav_files.h"

#include <fstream>

namespace fs = std::filesystem;

std::vector<int16_t> SquareWave(uint32_t frames, int16_t level, uint32_t period) {
  std::vector<int16_t> samples(frames);
  for (uint32_t i = 0; i < frames; ++i)
    samples[i] = (i % period) < period / 2 ? level : static_cast<int16_t>(-level);
  return samples;
}

fs::path WriteTestKit(const fs::path& folder, const std::vector<TestKey>& keys) {
  fs::create_directories(folder / "samples");
  std::string json = "{\"keys\": [";
  for (size_t i = 0; i < keys.size(); ++i) {
    const TestKey& key = keys[i];
    std::vector<int16_t> samples = SquareWave(key.frames, key.level, key.period);
    std::string bytes;
    for (int16_t s : samples)
      bytes += wavfile::Le16(static_cast<uint16_t>(s));
    wavfile::Format format;
    format.rate = 44100;
    std::string name = "samples/key" + std::to_string(i) + ".wav";
    std::ofstream(folder / name, std::ios::binary) << wavfile::Wav(format, bytes);
    json += std::string(i ? ", " : "") + "{\"sample\": \"" + name +
            "\", \"key\": " + std::to_string(key.note) +
            ", \"output\": " + std::to_string(key.output) + (key.loop ? ", \"loop\": true" : "") +
            "}";
  }
  json += "]}\n";
  std::ofstream(folder / "kit.json") << json;
  return folder / "kit.json";
}
