// Runs the built za32 program and reads the WAV files it writes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

struct RunResult {
  int status = -1; // exit status; -1 when it did not exit normally
  int signal = 0;  // the signal that ended it, if one did
  std::string out;
  std::string err;
};

// Runs za32 with `args` in `directory`, standard input empty.
RunResult RunZa32(const std::vector<std::string>& args, const std::filesystem::path& directory);

struct Wav {
  uint32_t rate = 0;
  uint16_t channels = 0;
  uint16_t bits = 0;
  std::vector<int16_t> samples; // interleaved
  size_t frames() const { return channels ? samples.size() / channels : 0; }
};

// Reads a 16-bit PCM WAV file; fails the test (and returns an empty Wav) if it is not one.
Wav ReadWav(const std::filesystem::path& file);
void WriteWav(const std::filesystem::path& file, uint32_t rate, uint16_t channels,
              const std::vector<int16_t>& samples);
std::string ReadText(const std::filesystem::path& file);
void WriteText(const std::filesystem::path& file, const std::string& text);
