// The rendered output in the format the user asks for, written through libsndfile: 16-bit
// (the default) or 24-bit PCM WAV, 32-bit float WAV, or FLAC. The device mixes to 16 bits;
// every format holds the mix exactly, at its own full scale (float 1.0, 24-bit 2^23).
#pragma once

#include "host/files/safe_output.h"
#include "host/outputs/frame_sink.h"
#include "host/outputs/mix_sink.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

enum class RenderFormat { Wav16, Wav24, WavFloat, Flac };

// "wav16", "wav24", "float" or "flac"; nothing for any other name.
std::optional<RenderFormat> ParseRenderFormat(const std::string& name);
// ".wav" or ".flac"
const char* RenderFormatExtension(RenderFormat format);

class SoundFileWriter : public FrameSink, public MixSink {
public:
  // Writes through SafeOutput: a temporary file beside `file`, which Close puts in place;
  // HostError when the target is refused (see SafeOutput) or cannot be made.
  SoundFileWriter(const std::filesystem::path& file, RenderFormat format, uint32_t rate,
                  uint16_t channels, const std::vector<std::filesystem::path>& inputs = {});
  ~SoundFileWriter() override; // without Close the target is left as it was
  SoundFileWriter(const SoundFileWriter&) = delete;
  SoundFileWriter& operator=(const SoundFileWriter&) = delete;

  void Write(std::span<const int16_t> samples) override;
  // 16-bit WAV and FLAC take the device's 16 bits; float and 24-bit the float mix, at their
  // own full scale (float 1.0, 24-bit 2^23, clipped there).
  void Write(const MixBlock& block) override;
  void Close();

private:
  void WritePending();

  SafeOutput output_;
  struct sf_private_tag* file_ = nullptr;
  uint16_t channels_;
  RenderFormat format_;
  std::vector<float> floats_; // a block interleaved
  std::vector<int> ints_;
  std::vector<int16_t> pending_; // 16-bit samples not yet written, written in large pieces
};
