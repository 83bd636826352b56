// Writing 16-bit PCM WAV files: the rendered output (streamed, stereo) and the demo
// kit's samples.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <span>
#include <string>

class WavWriter {
public:
  // Creates the file at once; HostError when it cannot.
  WavWriter(const std::filesystem::path& file, uint32_t rate, uint16_t channels);
  ~WavWriter(); // without Close: the file is removed, so no half-written WAV stays
  WavWriter(const WavWriter&) = delete;
  WavWriter& operator=(const WavWriter&) = delete;

  // Interleaved samples, a whole number of frames.
  void Write(std::span<const int16_t> samples);
  // Completes the header; HostError when the file could not be written in full.
  void Close();

  uint64_t frames() const { return frames_; }
  const std::filesystem::path& path() const { return path_; }

private:
  void Fail(const std::string& what);

  std::filesystem::path path_;
  std::FILE* file_ = nullptr;
  uint16_t channels_;
  uint64_t frames_ = 0;
  bool failed_ = false;
};

void WriteWavFile(const std::filesystem::path& file, uint32_t rate, uint16_t channels,
                  std::span<const int16_t> samples);
