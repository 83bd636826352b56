// Runs the built za32 program and reads the WAV files it writes.
#pragma once

#include <cctype>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

struct RunResult {
  int status = -1; // exit status; -1 when it did not exit normally
  int signal = 0;  // the signal that ended it, if one did
  std::string out;
  std::string err;
};

// Runs za32 with `args` in `directory`, standard input empty; standard output goes to
// `standardOutput` when one is given (e.g. /dev/full), else into RunResult::out.
RunResult RunZa32(const std::vector<std::string>& args, const std::filesystem::path& directory,
                  const std::string& standardOutput = "");

// Starts za32 as RunZa32 does, without waiting; WaitZa32 collects its result.
struct StartedZa32 {
  int pid = -1;
  std::filesystem::path directory;
};
StartedZa32 StartZa32(const std::vector<std::string>& args, const std::filesystem::path& directory,
                      const std::string& standardOutput = "");
RunResult WaitZa32(const StartedZa32& started);

struct Wav {
  uint32_t rate = 0;
  uint16_t channels = 0;
  uint16_t bits = 0;
  std::vector<int16_t> samples; // interleaved
  size_t frames() const { return channels ? samples.size() / channels : 0; }
};

// Reads a 16-bit PCM WAV file; fails the test (and returns an empty Wav) if it is not one.
Wav ReadWav(const std::filesystem::path& file);

// A rendered file's samples in its own units (16-bit and 24-bit values, float as stored),
// read without libsndfile, the writer's library: WAV from its bytes, FLAC by sox.
struct RenderedSamples {
  std::string encoding;        // "pcm16", "pcm24" or "float32" (WAV), "flac16" (FLAC)
  std::vector<double> samples; // interleaved
};
RenderedSamples ReadRender(const std::filesystem::path& file);

void WriteWav(const std::filesystem::path& file, uint32_t rate, uint16_t channels,
              const std::vector<int16_t>& samples);
std::string ReadText(const std::filesystem::path& file);
void WriteText(const std::filesystem::path& file, const std::string& text);

// Names a parameterised case after its `what`, letters and digits kept, the rest '_'.
template <typename Case> std::string CaseName(const testing::TestParamInfo<Case>& info) {
  std::string name = info.param.what;
  for (char& ch : name)
    if (!std::isalnum(static_cast<unsigned char>(ch)))
      ch = '_';
  return name;
}
