#include "host/outputs/wav_file.h"

#include "host/host_error.h"

#include <bit>

namespace {

constexpr uint32_t kHeaderBytes = 44;
constexpr uint64_t kMaxDataBytes = 0xFFFFFFFFull - kHeaderBytes;

// The 44-byte header of a 16-bit PCM file, little-endian as WAV is.
std::string Header(uint32_t rate, uint16_t channels, uint32_t dataBytes) {
  std::string h;
  h.reserve(kHeaderBytes);
  auto u32 = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i)
      h += static_cast<char>(v >> (8 * i));
  };
  auto u16 = [&](uint16_t v) {
    h += static_cast<char>(v);
    h += static_cast<char>(v >> 8);
  };
  h += "RIFF";
  u32(36 + dataBytes);
  h += "WAVEfmt ";
  u32(16);
  u16(1); // PCM
  u16(channels);
  u32(rate);
  u32(rate * channels * 2);
  u16(static_cast<uint16_t>(channels * 2));
  u16(16);
  h += "data";
  u32(dataBytes);
  return h;
}

} // namespace

WavWriter::WavWriter(const std::filesystem::path& file, uint32_t rate, uint16_t channels,
                     const std::vector<std::filesystem::path>& inputs)
    : out_(file, inputs), channels_(channels) {
  // The rate is kept in the header written now; Close only patches the sizes.
  out_.Write(Header(rate, channels, 0));
}

void WavWriter::Write(std::span<const int16_t> samples) {
  if (samples.empty())
    return;
  if ((frames_ + samples.size() / channels_) * channels_ * 2 > kMaxDataBytes)
    throw HostError(out_.target().string() + ": too long for a WAV file");
  // WAV is little-endian, as are the machines this host runs on.
  static_assert(std::endian::native == std::endian::little);
  out_.Write(samples.data(), samples.size() * sizeof(int16_t));
  frames_ += samples.size() / channels_;
}

void WavWriter::Close() {
  uint32_t dataBytes = static_cast<uint32_t>(frames_ * channels_ * 2);
  auto patch = [&](uint64_t offset, uint32_t value) {
    uint8_t bytes[4];
    for (int i = 0; i < 4; ++i)
      bytes[i] = static_cast<uint8_t>(value >> (8 * i));
    out_.WriteAt(offset, bytes, 4);
  };
  patch(4, 36 + dataBytes);
  patch(40, dataBytes);
  out_.Commit();
}

std::string WavFileBytes(uint32_t rate, uint16_t channels, std::span<const int16_t> samples) {
  std::string bytes =
      Header(rate, channels, static_cast<uint32_t>(samples.size() * sizeof(int16_t)));
  bytes.append(reinterpret_cast<const char*>(samples.data()), samples.size() * sizeof(int16_t));
  return bytes;
}
