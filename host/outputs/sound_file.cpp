#include "host/outputs/sound_file.h"

#include "host/host_error.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>

std::optional<RenderFormat> ParseRenderFormat(const std::string& name) {
  if (name == "wav16")
    return RenderFormat::Wav16;
  if (name == "wav24")
    return RenderFormat::Wav24;
  if (name == "float")
    return RenderFormat::WavFloat;
  if (name == "flac")
    return RenderFormat::Flac;
  return std::nullopt;
}

const char* RenderFormatExtension(RenderFormat format) {
  return format == RenderFormat::Flac ? ".flac" : ".wav";
}

namespace {

int SndfileFormat(RenderFormat format) {
  switch (format) {
  case RenderFormat::Wav16:
    return SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  case RenderFormat::Wav24:
    return SF_FORMAT_WAV | SF_FORMAT_PCM_24;
  case RenderFormat::WavFloat:
    return SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  case RenderFormat::Flac:
    return SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
  }
  return SF_FORMAT_WAV | SF_FORMAT_PCM_16;
}

} // namespace

SoundFileWriter::SoundFileWriter(const std::filesystem::path& file, RenderFormat format,
                                 uint32_t rate, uint16_t channels,
                                 const std::vector<std::filesystem::path>& inputs)
    : output_(file, inputs), channels_(channels), format_(format) {
  SF_INFO info{};
  info.samplerate = static_cast<int>(rate);
  info.channels = channels;
  info.format = SndfileFormat(format);
  // libsndfile writes the temporary file by its name; SafeOutput syncs and places it.
  file_ = sf_open(output_.temporary().c_str(), SFM_WRITE, &info);
  if (!file_)
    throw HostError(file.string() + ": cannot create the file: " + sf_strerror(nullptr));
  // libsndfile stores 16-bit values in a float file as they are (32767.0) unless told to
  // scale them; float's full scale is 1.0. PCM and FLAC scale by their width already.
  if (format == RenderFormat::WavFloat)
    sf_command(file_, SFC_SET_SCALE_INT_FLOAT_WRITE, nullptr, SF_TRUE);
}

SoundFileWriter::~SoundFileWriter() {
  if (file_)
    sf_close(file_);
}

void SoundFileWriter::Write(std::span<const int16_t> samples) {
  // Gathered into writes of a megabyte: the system spends less on each part of the file,
  // and its writing to the disk starts while the rest is rendered.
  constexpr size_t kPending = size_t{1} << 19;
  if (pending_.capacity() < kPending)
    pending_.reserve(kPending);
  while (!samples.empty()) {
    const size_t taken = std::min(samples.size(), kPending - pending_.size());
    pending_.insert(pending_.end(), samples.begin(), samples.begin() + taken);
    samples = samples.subspan(taken);
    if (pending_.size() == kPending) {
      WritePending();
      output_.StartWriteback();
    }
  }
}

void SoundFileWriter::WritePending() {
  sf_count_t frames = static_cast<sf_count_t>(pending_.size() / channels_);
  if (frames && sf_writef_short(file_, pending_.data(), frames) != frames)
    throw HostError(output_.target().string() + ": cannot write: " + sf_strerror(file_));
  pending_.clear();
}

void SoundFileWriter::Write(const MixBlock& block) {
  if (format_ == RenderFormat::Wav16 || format_ == RenderFormat::Flac) {
    Write(std::span<const int16_t>(block.device, block.frames * 2));
    return;
  }
  sf_count_t frames = static_cast<sf_count_t>(block.frames);
  sf_count_t written;
  if (format_ == RenderFormat::WavFloat) {
    floats_.resize(block.frames * 2);
    for (size_t i = 0; i < block.frames; ++i) {
      floats_[2 * i] = block.left[i];
      floats_[2 * i + 1] = block.right[i];
    }
    written = sf_writef_float(file_, floats_.data(), frames);
  } else {
    // 24 bits in the top of an int, as libsndfile takes them: rounded to nearest, clipped
    // at the format's full scale.
    auto to24 = [](float value) {
      double scaled = std::nearbyint(double(value) * 8388608.0);
      scaled = std::clamp(scaled, -8388608.0, 8388607.0);
      return static_cast<int>(scaled) * 256;
    };
    ints_.resize(block.frames * 2);
    for (size_t i = 0; i < block.frames; ++i) {
      ints_[2 * i] = to24(block.left[i]);
      ints_[2 * i + 1] = to24(block.right[i]);
    }
    written = sf_writef_int(file_, ints_.data(), frames);
  }
  if (written != frames)
    throw HostError(output_.target().string() + ": cannot write: " + sf_strerror(file_));
}

void SoundFileWriter::Close() {
  if (!file_)
    return;
  WritePending();
  sf_write_sync(file_);
  int status = sf_close(file_);
  file_ = nullptr;
  if (status != 0)
    throw HostError(output_.target().string() + ": cannot write the file");
  output_.Commit();
}
