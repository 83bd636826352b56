#include "session.h"
#include "engine/device.h"

#include "samples/samples.h"
#include "tests/support/key_records.h"
#include "tests/support/wav_files.h"

#include <cstring>

CallCounts TakeCallCounts() {
  CallCounts counts{};
  for (size_t call = 0; call < counts.size(); ++call)
    counts[call] = dsemu::CallCount(static_cast<dsemu::Call>(call));
  return counts;
}

unsigned TotalCalls(const CallCounts& counts) {
  unsigned total = 0;
  for (unsigned count : counts)
    total += count;
  return total;
}

const char* CallName(dsemu::Call call) {
  static const char* const names[] = {"CreateDevice",
                                      "Initialize",
                                      "SetCooperativeLevel",
                                      "CreateSoundBuffer",
                                      "DuplicateSoundBuffer",
                                      "SetFormat",
                                      "Play",
                                      "Stop",
                                      "GetStatus",
                                      "SetCurrentPosition",
                                      "GetCurrentPosition",
                                      "Lock",
                                      "Unlock",
                                      "SetVolume",
                                      "SetPan",
                                      "SetFrequency"};
  static_assert(std::size(names) == static_cast<size_t>(dsemu::Call::Count_));
  return names[static_cast<size_t>(call)];
}

void SessionTest::SetUp() {
  EngineTest::SetUp();
}

void SessionTest::TearDown() {
  boxes.whileOpen(nullptr);
  dsemu::ClearFaults();
  emul::SetTimerStep(0);
  EngineTest::TearDown();
}

std::string SessionTest::Wav(const std::string& name) {
  wavfile::Format format;
  format.rate = 22050;
  return wavfile::WriteFile(dir.file(name), wavfile::Wav(format, 2205));
}

KeyRecord SessionTest::Key(const std::string& file, int32_t keyCode) {
  return NeutralKey(file, keyCode);
}

std::vector<KeyRecord> SessionTest::KeysOf(std::vector<KeyRecord> keys) {
  return FullKeyMap(std::move(keys));
}

void SessionTest::Install(std::vector<KeyRecord> keys) {
  EXPECT_EQ(InitialiseKeyMap(KeysOf(std::move(keys)).data()), 0);
}

void SessionTest::Send(UINT message, WORD low, WORD high) {
  SendMessageA(EngineWindow, message, 0, MAKELPARAM(low, high));
}

size_t SessionTest::ActiveVoices() {
  size_t active = 0;
  for (const VoiceRecord& voice : VoiceTable)
    active += voice.Active ? 1 : 0;
  return active;
}

size_t SessionTest::CountLoaded() {
  return static_cast<size_t>(CountSamples(&SampleList));
}

size_t SessionTest::EngineBlocks() {
  return (PrimaryFormat ? 1 : 0) + 3 * CountLoaded();
}

size_t SessionTest::EngineBuffers() {
  size_t buffers = PrimaryBuffer ? 1 : 0;
  for (const SampleRecord* sample = SampleList.Next; sample; sample = sample->Next)
    buffers += sample->Buffer ? 1 : 0;
  return buffers + ActiveVoices();
}

void SessionTest::DestroyLostBuffers() {
  if (dsemu::LiveDeviceCount() != 0)
    return;
  FreeSamplesAndVoices();
  for (const dsemu::BufferState& lost : dsemu::LiveBuffers())
    for (ULONG reference = 0; reference < lost.references; ++reference)
      lost.buffer->Release();
}

void SessionTest::ExpectEverythingAccountedFor() {
  EXPECT_EQ(emul::LiveGlobalBlocks(), globalBlocksAtStart + EngineBlocks())
      << "global blocks the engine does not hold";
  EXPECT_EQ(dsemu::LiveBufferCount(), EngineBuffers()) << "device buffers the engine does not hold";
}
