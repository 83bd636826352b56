#include "host/outputs/sound_file.h"

#include "host/host_error.h"

#include <sndfile.h>

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
    : output_(file, inputs), channels_(channels) {
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
  sf_count_t frames = static_cast<sf_count_t>(samples.size() / channels_);
  if (frames && sf_writef_short(file_, samples.data(), frames) != frames)
    throw HostError(output_.target().string() + ": cannot write: " + sf_strerror(file_));
}

void SoundFileWriter::Close() {
  if (!file_)
    return;
  sf_write_sync(file_);
  int status = sf_close(file_);
  file_ = nullptr;
  if (status != 0)
    throw HostError(output_.target().string() + ": cannot write the file");
  output_.Commit();
}
