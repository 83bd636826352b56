// Writing 16-bit PCM WAV files: the rendered output (streamed, stereo) and the demo
// kit's samples.
#pragma once

#include "host/files/safe_output.h"
#include "host/outputs/frame_sink.h"

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

class WavWriter : public FrameSink {
public:
  // Starts the file's temporary copy at once; HostError when the target is refused (see
  // SafeOutput: not a regular file, or one of `inputs`) or cannot be made.
  WavWriter(const std::filesystem::path& file, uint32_t rate, uint16_t channels,
            const std::vector<std::filesystem::path>& inputs = {});
  // Without Close the target is left as it was.
  WavWriter(const WavWriter&) = delete;
  WavWriter& operator=(const WavWriter&) = delete;

  // Interleaved samples, a whole number of frames.
  void Write(std::span<const int16_t> samples) override;
  // Completes the header and puts the file in place; HostError when it could not be
  // written in full.
  void Close();

  uint64_t frames() const { return frames_; }
  const std::filesystem::path& path() const { return out_.target(); }

private:
  SafeOutput out_;
  uint16_t channels_;
  uint64_t frames_ = 0;
};

// A whole 16-bit PCM WAV file's bytes.
std::string WavFileBytes(uint32_t rate, uint16_t channels, std::span<const int16_t> samples);
