// The device answers CreateSoundBuffer as Wine's DirectSound does, for every format of
// the record tests/win/format_probe/record-format-answers made under Wine.
#include "device_fixture.h"

#include <fstream>
#include <sstream>
#include <string>

namespace dsound_test {
namespace {

struct Answer {
  std::string line;
  WAVEFORMATEXTENSIBLE format{};
  HRESULT result = DS_OK;
};

std::vector<Answer> ReadAnswers() {
  std::ifstream file(ZA32_FORMAT_ANSWERS);
  std::vector<Answer> answers;
  std::string line;
  bool header = true;
  while (std::getline(file, line)) {
    if (line.empty() || line[0] == '#')
      continue;
    if (header) { // the column names
      header = false;
      continue;
    }
    std::istringstream fields(line);
    std::string tag, subFormat, mask, result;
    unsigned long channels, rate, bits, blockAlign, byteRate, cbSize, validBits;
    fields >> tag >> subFormat >> channels >> rate >> bits >> blockAlign >> byteRate >> cbSize >>
        validBits >> mask >> result;
    EXPECT_FALSE(fields.fail()) << line;
    Answer answer;
    answer.line = line;
    WAVEFORMATEX& format = answer.format.Format;
    format.wFormatTag = static_cast<WORD>(std::stoul(tag, nullptr, 16));
    format.nChannels = static_cast<WORD>(channels);
    format.nSamplesPerSec = static_cast<DWORD>(rate);
    format.wBitsPerSample = static_cast<WORD>(bits);
    format.nBlockAlign = static_cast<WORD>(blockAlign);
    format.nAvgBytesPerSec = static_cast<DWORD>(byteRate);
    format.cbSize = static_cast<WORD>(cbSize);
    if (subFormat != "-") {
      answer.format.Samples.wValidBitsPerSample = static_cast<WORD>(validBits);
      answer.format.dwChannelMask = static_cast<DWORD>(std::stoul(mask, nullptr, 16));
      answer.format.SubFormat = KSDATAFORMAT_SUBTYPE_PCM;
      answer.format.SubFormat.Data1 = static_cast<DWORD>(std::stoul(subFormat, nullptr, 16));
    }
    answer.result = static_cast<HRESULT>(std::stoul(result, nullptr, 16));
    answers.push_back(answer);
  }
  return answers;
}

using FormatAnswers = DeviceTest;

TEST_F(FormatAnswers, EqualWinesForEveryRecordedFormat) {
  const std::vector<Answer> answers = ReadAnswers();
  ASSERT_GT(answers.size(), 400u) << ZA32_FORMAT_ANSWERS;
  // The probe's buffer size and flags: the engine's for a sample.
  constexpr DWORD kFlags = DSBCAPS_STATIC | DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN |
                           DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLPOSITIONNOTIFY |
                           DSBCAPS_GETCURRENTPOSITION2;
  // Room behind the block for any cbSize, as the probe gave.
  std::vector<BYTE> block(sizeof(WAVEFORMATEX) + 65536);
  for (const Answer& answer : answers) {
    std::fill(block.begin(), block.end(), 0);
    std::memcpy(block.data(), &answer.format, sizeof answer.format);
    DSBUFFERDESC desc =
        SecondaryDesc(reinterpret_cast<WAVEFORMATEX*>(block.data()), 40320 * 4, kFlags);
    desc.dwSize = sizeof desc;
    IDirectSoundBuffer* buffer = nullptr;
    EXPECT_EQ(device->CreateSoundBuffer(&desc, &buffer, nullptr), answer.result) << answer.line;
    if (buffer)
      buffer->Release();
  }
}

} // namespace
} // namespace dsound_test
