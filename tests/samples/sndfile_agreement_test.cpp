// Valid WAV files, whether written by the test generator or by libsndfile, read the
// same through ReadWaveFile as through libsndfile, an independent reader: channels,
// rate, sample width, frame count and the stored sample bytes.
#include "samples/samples.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wav_files.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cstring>
#include <string>
#include <vector>

using namespace wavfile;

namespace {

struct Independent {
  SF_INFO info{};
  std::string bytes; // the raw sample bytes as stored
};

Independent ReadWithSndfile(const std::string& path) {
  Independent result;
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &result.info);
  if (!file) {
    ADD_FAILURE() << "libsndfile cannot read " << path << ": " << sf_strerror(nullptr);
    return result;
  }
  // Raw reads come in whole frames: a multiple of every frame size used here.
  std::string chunk(3 * 65536, '\0');
  for (;;) {
    sf_count_t got = sf_read_raw(file, chunk.data(), static_cast<sf_count_t>(chunk.size()));
    if (got <= 0)
      break;
    result.bytes.append(chunk.data(), static_cast<size_t>(got));
  }
  sf_close(file);
  return result;
}

int BitsOfSubtype(int format) {
  switch (format & SF_FORMAT_SUBMASK) {
  case SF_FORMAT_PCM_U8:
    return 8;
  case SF_FORMAT_PCM_16:
    return 16;
  case SF_FORMAT_PCM_24:
    return 24;
  case SF_FORMAT_PCM_32:
  case SF_FORMAT_FLOAT:
    return 32;
  default:
    return -1;
  }
}

// Reads the file both ways and checks that they agree.
void ExpectAgreement(const std::string& path) {
  Independent expected = ReadWithSndfile(path);
  DWORD size = 0;
  WAVEFORMATEX* format = nullptr;
  BYTE* data = nullptr;
  ASSERT_EQ(ReadWaveFile(path.c_str(), &size, &format, &data), 0u);

  EXPECT_EQ(format->nChannels, expected.info.channels);
  EXPECT_EQ(static_cast<int>(format->nSamplesPerSec), expected.info.samplerate);
  EXPECT_EQ(format->wBitsPerSample, BitsOfSubtype(expected.info.format));
  ASSERT_NE(format->nBlockAlign, 0);
  EXPECT_EQ(size / format->nBlockAlign, expected.info.frames);
  // libsndfile's raw read of an odd-sized chunk runs on into the pad byte: only whole
  // frames count.
  size_t frameBytes = static_cast<size_t>(expected.info.channels) *
                      static_cast<size_t>(BitsOfSubtype(expected.info.format) / 8);
  std::string expectedBytes =
      expected.bytes.substr(0, static_cast<size_t>(expected.info.frames) * frameBytes);
  EXPECT_EQ(size, expectedBytes.size());
  EXPECT_TRUE(std::string(reinterpret_cast<char*>(data), size) == expectedBytes)
      << "sample bytes differ";

  GlobalFree(GlobalHandle(format));
  GlobalFree(GlobalHandle(data));
}

struct SndfileCase {
  const char* name;
  int format;
  int channels;
  int rate;
  int frames;
};

class WrittenBySndfile : public ::testing::TestWithParam<SndfileCase> {};

TEST_P(WrittenBySndfile, ReadsAlike) {
  const SndfileCase& c = GetParam();
  TempDir dir;
  std::string path = dir.file(std::string(c.name) + ".wav");
  SF_INFO info{};
  info.format = c.format;
  info.channels = c.channels;
  info.samplerate = c.rate;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
  Format layout;
  layout.channels = static_cast<uint16_t>(c.channels);
  layout.bits = static_cast<uint16_t>(BitsOfSubtype(c.format));
  std::string bytes = Frames(layout, static_cast<size_t>(c.frames), 3);
  if ((c.format & SF_FORMAT_SUBMASK) == SF_FORMAT_FLOAT) {
    // Keep the floats finite and ordinary so that no writer rewrites them.
    std::vector<float> values(bytes.size() / 4);
    for (size_t i = 0; i < values.size(); ++i)
      values[i] = static_cast<float>(static_cast<int>(i % 200) - 100) / 128.0f;
    std::memcpy(bytes.data(), values.data(), bytes.size());
  }
  ASSERT_EQ(sf_write_raw(file, bytes.data(), static_cast<sf_count_t>(bytes.size())),
            static_cast<sf_count_t>(bytes.size()));
  sf_close(file);

  ExpectAgreement(path);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, WrittenBySndfile,
    ::testing::Values(
        SndfileCase{"u8_mono_odd", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 1, 8000, 1001},
        SndfileCase{"s16_stereo", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, 20000},
        SndfileCase{"s24_mono", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 1, 48000, 777},
        SndfileCase{"s32_stereo", SF_FORMAT_WAV | SF_FORMAT_PCM_32, 2, 96000, 500},
        SndfileCase{"float_stereo", SF_FORMAT_WAVEX | SF_FORMAT_FLOAT, 2, 22050, 3000},
        SndfileCase{"extensible_s16", SF_FORMAT_WAVEX | SF_FORMAT_PCM_16, 2, 44100, 4096}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WrittenByGenerator, ReadsAlike) {
  TempDir dir;
  struct Case {
    uint16_t channels;
    uint32_t rate;
    uint16_t bits;
    size_t frames;
  };
  for (Case c : {Case{1, 11025, 8, 4097}, Case{2, 44100, 16, 30000}, Case{1, 96000, 24, 1234},
                 Case{2, 8000, 8, 1}}) {
    SCOPED_TRACE(c.bits * 1000 + c.channels);
    Format format;
    format.channels = c.channels;
    format.rate = c.rate;
    format.bits = c.bits;
    ExpectAgreement(dir.write("plain.wav", Wav(format, c.frames)));
    // The same, with other chunks around and between.
    std::string chunks = Chunk("LIST", "INFO" + Chunk("INAM", "kick")) +
                         Chunk("fmt ", FmtData(format)) + Chunk("odd ", "xyz") +
                         Chunk("data", Frames(format, c.frames)) + Chunk("cue ", Le32(0));
    ExpectAgreement(dir.write("chunky.wav", Riff("WAVE", chunks)));
  }
}

} // namespace
