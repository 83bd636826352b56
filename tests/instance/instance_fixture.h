// Engine instances for tests: samples written to a temporary folder, keys on them, and
// blocks rendered into plain vectors.
#pragma once

#include "instance/engine_instance.h"
#include "tests/support/key_records.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wav_files.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace instance_test {

// Mono 16-bit samples of a sine of `hz` at `rate`, starting at its peak so that its first
// frame sounds, `level` of full scale.
inline std::string SineWav(uint32_t rate, double hz, size_t frames, double level) {
  wavfile::Format format;
  format.rate = rate;
  std::string bytes;
  for (size_t i = 0; i < frames; ++i) {
    const auto value =
        static_cast<int16_t>(std::lrint(32767 * level * std::cos(2 * M_PI * hz * i / rate)));
    bytes += wavfile::Le16(static_cast<uint16_t>(value));
  }
  return wavfile::Wav(format, bytes);
}

// Keys 0.. on `files`, key codes 60.., all on bus 0.
inline za32::InstanceKeys KeysOn(const std::vector<std::string>& files) {
  std::vector<KeyRecord> keys;
  for (size_t k = 0; k < files.size(); ++k)
    keys.push_back(NeutralKey(files[k], static_cast<int32_t>(60 + k), false));
  const std::vector<KeyRecord> full = FullKeyMap(keys);
  za32::InstanceKeys installed;
  std::copy(full.begin(), full.end(), installed.records.begin());
  return installed;
}

inline za32::InstanceEvent Note(uint32_t frame, int code, int velocity) {
  return {frame, AM_NOTE, static_cast<LPARAM>(MAKELONG(code, velocity))};
}

// A stereo block: left then right.
struct Block {
  std::vector<float> left;
  std::vector<float> right;
};

inline Block RenderSummed(za32::EngineInstance& instance, uint32_t frames,
                          const std::vector<za32::InstanceEvent>& events = {}) {
  Block block{std::vector<float>(frames), std::vector<float>(frames)};
  za32::BusBuffers out;
  out.left[0] = block.left.data();
  out.right[0] = block.right.data();
  instance.Render(frames, events.data(), events.size(), out);
  return block;
}

inline std::unique_ptr<za32::EngineInstance> OpenAt(uint32_t rate) {
  std::string why;
  auto instance = za32::EngineInstance::Open(rate, &why);
  EXPECT_TRUE(instance) << why;
  return instance;
}

inline std::unique_ptr<za32::EngineInstance> OpenWith(uint32_t rate,
                                                      const za32::InstanceKeys& keys) {
  auto instance = OpenAt(rate);
  std::string why;
  if (instance) {
    EXPECT_TRUE(instance->InstallKeys(keys, &why)) << why;
  }
  return instance;
}

} // namespace instance_test
