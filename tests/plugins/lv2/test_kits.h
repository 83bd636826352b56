// Kits for the plugin's tests, written into a folder: WAV samples made byte by byte and
// the kit.json that names them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

struct TestKey {
  int note;              // the key code MIDI notes play it with
  uint32_t frames;       // of its sample
  int16_t level = 8000;  // of its square wave
  uint32_t period = 100; // frames of one cycle of it
  int output = 1;        // the pair it plays into
  bool loop = false;
};

// Writes `folder`/kit.json and its samples (44,100 Hz mono 16-bit); returns the kit file.
std::filesystem::path WriteTestKit(const std::filesystem::path& folder,
                                   const std::vector<TestKey>& keys);

// The samples of a square wave: `level`, then `-level`, each half a period.
std::vector<int16_t> SquareWave(uint32_t frames, int16_t level, uint32_t period);
