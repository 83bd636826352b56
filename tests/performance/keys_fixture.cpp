#include "keys_fixture.h"

#include "tests/support/key_records.h"
#include "tests/support/wav_files.h"

#include <cmath>
#include <cstring>

void KeysTest::SetUp() {
  EngineTest::SetUp();
  ASSERT_NE(StartEngine(), nullptr);
}

void KeysTest::TearDown() {
  boxes.whileOpen(nullptr);
  dsemu::ClearFaults();
  AllNotesOff(0);
  EXPECT_EQ(ActiveVoices(), 0u) << "voices left taken";
  EXPECT_EQ(LiveDuplicates(), 0u) << "duplicates left alive";
  EngineTest::TearDown();
}

std::string KeysTest::Wav(const std::string& name, DWORD rate, DWORD frames, double tone) {
  wavfile::Format format;
  format.rate = rate;
  std::string samples;
  samples.reserve(2 * frames);
  const double pi = std::acos(-1.0);
  for (DWORD i = 0; i < frames; ++i) {
    const auto value =
        static_cast<int16_t>(std::lround(16384 * std::sin(2 * pi * tone * i / rate)));
    samples += wavfile::Le16(static_cast<uint16_t>(value));
  }
  return wavfile::WriteFile(dir.file(name), wavfile::Wav(format, samples));
}

KeyRecord KeysTest::Key(const std::string& file, int32_t keyCode) {
  return NeutralKey(file, keyCode);
}

std::vector<KeyRecord> KeysTest::KeysOf(std::vector<KeyRecord> keys) {
  return FullKeyMap(std::move(keys));
}

void KeysTest::Send(UINT message, WORD low, WORD high) {
  AudioDLLWndProc(EngineWindow, message, 0, MAKELPARAM(low, high));
}

void KeysTest::Post(UINT message, WORD low, WORD high) {
  ASSERT_TRUE(PostMessageA(EngineWindow, message, 0, MAKELPARAM(low, high)));
}

dsemu::BufferState KeysTest::VoiceBuffer(int key) {
  dsemu::BufferState state{};
  EXPECT_EQ(KeyMap[key].Playing, 1) << "key " << key << " has no voice";
  EXPECT_TRUE(dsemu::QueryBuffer(KeyVoice(key).Buffer, &state)) << "key " << key;
  return state;
}

size_t KeysTest::ActiveVoices() {
  size_t active = 0;
  for (const VoiceRecord& voice : VoiceTable) {
    active += voice.Active ? 1 : 0;
  }
  return active;
}

size_t KeysTest::LiveDuplicates() {
  size_t duplicates = 0;
  for (const dsemu::BufferState& buffer : dsemu::LiveBuffers()) {
    duplicates += buffer.duplicateOf ? 1 : 0;
  }
  return duplicates;
}
