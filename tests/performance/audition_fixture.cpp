#include "audition_fixture.h"

#include "tests/support/key_records.h"
#include "tests/support/wav_files.h"

#include <cstring>
#include <utility>

void AuditionFixture::SetUp() {
  EngineTest::SetUp();
  ASSERT_NE(StartEngine(), nullptr);
}

void AuditionFixture::TearDown() {
  boxes.whileOpen(nullptr);
  dsemu::ClearFaults();
  AllNotesOff(0);
  EngineTest::TearDown();
}

std::string AuditionFixture::Wav(const std::string& name, unsigned frames) {
  wavfile::Format format;
  return wavfile::WriteFile(dir.file(name), wavfile::Wav(format, frames));
}

KeyRecord AuditionFixture::Key(const std::string& file, int32_t keyCode) {
  return NeutralKey(file, keyCode, false);
}

void AuditionFixture::Install(std::vector<KeyRecord> keys) {
  InitialiseKeyMap(FullKeyMap(std::move(keys)).data());
}

std::vector<std::string> AuditionFixture::SampleNames() {
  std::vector<std::string> names;
  for (SampleRecord* sample = SampleList.Next; sample; sample = sample->Next)
    names.push_back(sample->Name);
  return names;
}

dsemu::BufferState AuditionFixture::State(IDirectSoundBuffer* buffer) {
  dsemu::BufferState state{};
  dsemu::QueryBuffer(buffer, &state);
  return state;
}

std::vector<std::string> AuditionFixture::BoxTexts() const {
  std::vector<std::string> texts;
  for (const MessageBoxCall& call : boxes.calls())
    texts.push_back(call.text);
  return texts;
}
