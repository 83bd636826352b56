#include "wav_file.h"

#include "host_error.h"

#include <bit>
#include <cerrno>
#include <cstring>
#include <vector>

namespace {

constexpr uint32_t kHeaderBytes = 44;
constexpr uint64_t kMaxDataBytes = 0xFFFFFFFFull - kHeaderBytes;

void PutU16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i)
    out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void PutTag(std::vector<uint8_t>& out, const char* tag) {
  out.insert(out.end(), tag, tag + 4);
}

std::vector<uint8_t> Header(uint32_t rate, uint16_t channels, uint32_t dataBytes) {
  std::vector<uint8_t> h;
  PutTag(h, "RIFF");
  PutU32(h, 36 + dataBytes);
  PutTag(h, "WAVE");
  PutTag(h, "fmt ");
  PutU32(h, 16);
  PutU16(h, 1); // PCM
  PutU16(h, channels);
  PutU32(h, rate);
  PutU32(h, rate * channels * 2);
  PutU16(h, static_cast<uint16_t>(channels * 2));
  PutU16(h, 16);
  PutTag(h, "data");
  PutU32(h, dataBytes);
  return h;
}

} // namespace

WavWriter::WavWriter(const std::filesystem::path& file, uint32_t rate, uint16_t channels)
    : path_(file), channels_(channels) {
  file_ = std::fopen(file.c_str(), "wb");
  if (!file_)
    throw HostError(file.string() + ": cannot create the file: " + std::strerror(errno));
  std::vector<uint8_t> header = Header(rate, channels, 0);
  if (std::fwrite(header.data(), 1, header.size(), file_) != header.size())
    Fail("cannot write");
  // The rate is kept in the header written now; Close only patches the sizes.
}

WavWriter::~WavWriter() {
  if (file_) {
    std::fclose(file_);
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }
}

void WavWriter::Fail(const std::string& what) {
  failed_ = true;
  throw HostError(path_.string() + ": " + what + ": " + std::strerror(errno));
}

void WavWriter::Write(std::span<const int16_t> samples) {
  if (failed_ || samples.empty())
    return;
  if ((frames_ + samples.size() / channels_) * channels_ * 2 > kMaxDataBytes)
    Fail("too long for a WAV file");
  // WAV is little-endian, as are the machines this host runs on.
  static_assert(std::endian::native == std::endian::little);
  if (std::fwrite(samples.data(), sizeof(int16_t), samples.size(), file_) != samples.size())
    Fail("cannot write");
  frames_ += samples.size() / channels_;
}

void WavWriter::Close() {
  if (!file_)
    return;
  uint32_t dataBytes = static_cast<uint32_t>(frames_ * channels_ * 2);
  uint8_t sizes[4];
  bool ok = !failed_;
  auto patch = [&](long offset, uint32_t value) {
    for (int i = 0; i < 4; ++i)
      sizes[i] = static_cast<uint8_t>(value >> (8 * i));
    ok = ok && std::fseek(file_, offset, SEEK_SET) == 0 && std::fwrite(sizes, 1, 4, file_) == 4;
  };
  patch(4, 36 + dataBytes);
  patch(40, dataBytes);
  ok = std::fflush(file_) == 0 && ok;
  ok = std::fclose(file_) == 0 && ok;
  file_ = nullptr;
  if (!ok) {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
    throw HostError(path_.string() + ": cannot write the file");
  }
}

void WriteWavFile(const std::filesystem::path& file, uint32_t rate, uint16_t channels,
                  std::span<const int16_t> samples) {
  WavWriter writer(file, rate, channels);
  writer.Write(samples);
  writer.Close();
}
