// Every sample encoding the device takes is read as libsndfile, an independent reader,
// reads the same bytes.
#include "platform/emul/dsound/decode.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <random>

namespace {

constexpr size_t kFrames = 4096;

WAVEFORMATEXTENSIBLE Format(WORD tag, WORD channels, WORD bits) {
  WAVEFORMATEXTENSIBLE format{};
  format.Format.wFormatTag = tag;
  format.Format.nChannels = channels;
  format.Format.nSamplesPerSec = 44100;
  format.Format.wBitsPerSample = bits;
  format.Format.nBlockAlign = static_cast<WORD>(channels * bits / 8);
  format.Format.nAvgBytesPerSec = 44100 * format.Format.nBlockAlign;
  return format;
}

WAVEFORMATEXTENSIBLE Extensible(const GUID& subFormat, WORD channels, WORD bits) {
  WAVEFORMATEXTENSIBLE format = Format(WAVE_FORMAT_EXTENSIBLE, channels, bits);
  format.Format.cbSize = 22;
  format.Samples.wValidBitsPerSample = bits;
  format.SubFormat = subFormat;
  return format;
}

// The device's reading, interleaved as libsndfile gives it (two channels at most).
std::vector<float> Decode(const WAVEFORMATEXTENSIBLE& format, const std::vector<BYTE>& bytes) {
  dsemu::SampleFormat parsed;
  EXPECT_EQ(dsemu::CheckFormat(&format.Format, &parsed), DS_OK);
  const size_t frames = bytes.size() / format.Format.nBlockAlign;
  std::vector<float> left(frames), right(frames);
  dsemu::DecodeFrames(parsed, bytes.data(), frames, false, 0, frames, left.data(), right.data());
  const unsigned channels = std::min<unsigned>(format.Format.nChannels, 2);
  std::vector<float> out;
  for (size_t i = 0; i < frames; ++i) {
    out.push_back(left[i]);
    if (channels == 2)
      out.push_back(right[i]);
    else
      EXPECT_EQ(right[i], left[i]);
  }
  return out;
}

// libsndfile's reading of the same bytes as raw little-endian data.
std::vector<float> ReadWithSndfile(const std::vector<BYTE>& bytes, int subtype, int channels) {
  TempDir dir;
  const std::string path = dir.write("raw", std::string(bytes.begin(), bytes.end()));
  SF_INFO info{};
  info.format = SF_FORMAT_RAW | subtype | SF_ENDIAN_LITTLE;
  info.channels = channels;
  info.samplerate = 44100;
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  EXPECT_NE(file, nullptr) << sf_strerror(nullptr);
  std::vector<float> samples(static_cast<size_t>(info.frames) * channels);
  if (file) {
    EXPECT_EQ(sf_readf_float(file, samples.data(), info.frames), info.frames);
    sf_close(file);
  }
  return samples;
}

// Random bytes for integers (every bit pattern), random in-range values for floats.
std::vector<BYTE> Samples(int subtype, size_t count, std::mt19937& random) {
  std::vector<BYTE> bytes;
  std::uniform_real_distribution<double> level(-1.0, 1.0);
  for (size_t i = 0; i < count; ++i) {
    if (subtype == SF_FORMAT_FLOAT) {
      const float value = i < 3 ? float(i) - 1 : float(level(random));
      bytes.insert(bytes.end(), reinterpret_cast<const BYTE*>(&value),
                   reinterpret_cast<const BYTE*>(&value) + 4);
    } else if (subtype == SF_FORMAT_DOUBLE) {
      const double value = i < 3 ? double(i) - 1 : level(random);
      bytes.insert(bytes.end(), reinterpret_cast<const BYTE*>(&value),
                   reinterpret_cast<const BYTE*>(&value) + 8);
    } else {
      const int width = subtype == SF_FORMAT_PCM_U8   ? 1
                        : subtype == SF_FORMAT_PCM_16 ? 2
                        : subtype == SF_FORMAT_PCM_24 ? 3
                                                      : 4;
      for (int b = 0; b < width; ++b)
        bytes.push_back(static_cast<BYTE>(random()));
    }
  }
  return bytes;
}

TEST(Decoding, EveryEncodingReadsAsLibsndfileReadsIt) {
  struct Case {
    WAVEFORMATEXTENSIBLE format;
    int subtype;
  };
  std::vector<Case> cases;
  for (WORD channels : {1, 2}) {
    cases.push_back({Format(WAVE_FORMAT_PCM, channels, 8), SF_FORMAT_PCM_U8});
    cases.push_back({Format(WAVE_FORMAT_PCM, channels, 16), SF_FORMAT_PCM_16});
    cases.push_back({Format(WAVE_FORMAT_PCM, channels, 24), SF_FORMAT_PCM_24});
    cases.push_back({Format(WAVE_FORMAT_PCM, channels, 32), SF_FORMAT_PCM_32});
    cases.push_back({Format(WAVE_FORMAT_IEEE_FLOAT, channels, 32), SF_FORMAT_FLOAT});
    cases.push_back({Format(WAVE_FORMAT_IEEE_FLOAT, channels, 64), SF_FORMAT_DOUBLE});
    cases.push_back({Extensible(KSDATAFORMAT_SUBTYPE_PCM, channels, 8), SF_FORMAT_PCM_U8});
    cases.push_back({Extensible(KSDATAFORMAT_SUBTYPE_PCM, channels, 24), SF_FORMAT_PCM_24});
    cases.push_back({Extensible(KSDATAFORMAT_SUBTYPE_PCM, channels, 32), SF_FORMAT_PCM_32});
    cases.push_back({Extensible(KSDATAFORMAT_SUBTYPE_IEEE_FLOAT, channels, 64), SF_FORMAT_DOUBLE});
  }
  std::mt19937 random(15);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "tag " << c.format.Format.wFormatTag << ", " << c.format.Format.nChannels
                 << " x " << c.format.Format.wBitsPerSample << " bits");
    const std::vector<BYTE> bytes = Samples(c.subtype, kFrames * c.format.Format.nChannels, random);
    const std::vector<float> ours = Decode(c.format, bytes);
    const std::vector<float> theirs = ReadWithSndfile(bytes, c.subtype, c.format.Format.nChannels);
    ASSERT_EQ(ours.size(), theirs.size());
    for (size_t i = 0; i < ours.size(); ++i)
      ASSERT_EQ(ours[i], theirs[i]) << "sample " << i;
  }
}

// libsndfile reads no integers wider than 32 bits: 48 and 64-bit samples are read as
// their top 32 bits are, to within what a float keeps of the rest.
TEST(Decoding, WideIntegersReadAsTheirTopThirtyTwoBits) {
  std::mt19937 random(48);
  for (WORD bits : {40, 48, 56, 64}) {
    SCOPED_TRACE(bits);
    const unsigned width = bits / 8;
    std::vector<BYTE> wide;
    std::vector<BYTE> top;
    for (size_t i = 0; i < 2 * kFrames; ++i)
      for (unsigned b = 0; b < width; ++b) {
        wide.push_back(static_cast<BYTE>(random()));
        if (b >= width - 4)
          top.push_back(wide.back());
      }
    const std::vector<float> ours = Decode(Format(WAVE_FORMAT_PCM, 2, bits), wide);
    const std::vector<float> theirs = ReadWithSndfile(top, SF_FORMAT_PCM_32, 2);
    ASSERT_EQ(ours.size(), theirs.size());
    for (size_t i = 0; i < ours.size(); ++i)
      ASSERT_NEAR(ours[i], theirs[i], std::ldexp(std::fabs(theirs[i]), -23) + 0x1p-31)
          << "sample " << i;
  }
}

TEST(Decoding, HalfFloatsAndFloatsWithoutAFormat) {
  const struct {
    uint16_t half;
    float value;
  } halves[] = {{0x0000, 0.0f},     {0x3800, 0.5f},        {0xB400, -0.25f},     {0x3C00, 1.0f},
                {0x0001, 0x1p-24f}, {0x83FF, -0x3FFp-24f}, {0x3555, 0x555p-12f}, {0x4000, 1.0f},
                {0xFC00, -1.0f},    {0x7E00, 0.0f}}; // clipped, NaN silent
  for (const auto& h : halves) {
    SCOPED_TRACE(h.half);
    const std::vector<BYTE> bytes = {static_cast<BYTE>(h.half), static_cast<BYTE>(h.half >> 8)};
    EXPECT_EQ(Decode(Format(WAVE_FORMAT_IEEE_FLOAT, 1, 16), bytes), std::vector<float>{h.value});
  }
  // No IEEE format is 24 bits wide: such data plays as silence.
  const std::vector<BYTE> bytes = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC};
  EXPECT_EQ(Decode(Format(WAVE_FORMAT_IEEE_FLOAT, 2, 24), bytes), std::vector<float>(2, 0.0f));
}

} // namespace
