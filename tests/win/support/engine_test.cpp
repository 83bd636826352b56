#include "engine_test.h"

BufferState QueryBuffer(IDirectSoundBuffer* buffer) {
  BufferState state;
  if (!buffer)
    return state;
  DWORD status = 0;
  state.ok = SUCCEEDED(buffer->GetStatus(&status)) &&
             SUCCEEDED(buffer->GetFrequency(&state.frequency)) &&
             SUCCEEDED(buffer->GetVolume(&state.volume)) && SUCCEEDED(buffer->GetPan(&state.pan));
  state.playing = (status & DSBSTATUS_PLAYING) != 0;
  state.looping = (status & DSBSTATUS_LOOPING) != 0;
  return state;
}

KeyRecord MakeKey(const std::string& sampleName, int32_t keyCode) {
  KeyRecord key{};
  lstrcpynA(key.SampleName, sampleName.c_str(), sizeof key.SampleName);
  key.Voice = 0;
  key.SampleNumber = -1;
  key.KeyCode = keyCode;
  key.Volume = 127;
  key.Pan = 64;
  key.Note = 60;
  key.FineTune = 50;
  key.VelocitySense = 1;
  return key;
}

std::vector<KeyRecord> EmptyKeyMap() {
  std::vector<KeyRecord> keys;
  for (int i = 0; i < ZA32_KEYS; ++i)
    keys.push_back(MakeKey("", 100 + i));
  return keys;
}

void EngineTest::SetUp() {
  ZA32_REQUIRE_EXPORTS("AudioInit", "AudioTerm", "AudioDLLWndProc");
  ASSERT_NE(host.hwnd(), nullptr);
  engine = Za32().AudioInit(instance, host.hwnd());
  ASSERT_NE(engine, nullptr) << "AudioInit failed: " << boxes.boxes();
  ASSERT_TRUE(boxes.boxes().empty()) << boxes.boxes();
}

void EngineTest::TearDown() {
  if (engine)
    Za32().AudioTerm(0);
  host.Destroy();
  PumpMessages(50);
  EXPECT_TRUE(boxes.boxes().empty()) << "unexpected " << boxes.boxes();
}

void EngineTest::Post(UINT message, WORD low, WORD high) {
  ASSERT_TRUE(PostMessageA(engine, message, 0, MAKELPARAM(low, high)));
  LoopResult loop = PumpMessages(50);
  ASSERT_FALSE(loop.quit);
}

std::vector<SampleRecord*> EngineTest::Samples() const {
  std::vector<SampleRecord*> samples;
  if (Engine().SampleList)
    for (SampleRecord* s = Engine().SampleList->Next; s && samples.size() < 100; s = s->Next)
      samples.push_back(s);
  return samples;
}

std::vector<std::string> EngineTest::SampleNames() const {
  std::vector<std::string> names;
  for (SampleRecord* sample : Samples())
    names.push_back(sample->Name);
  return names;
}

std::vector<LONG> EngineTest::SampleNumbers(int count) const {
  std::vector<LONG> numbers;
  for (int key = 0; key < count; ++key)
    numbers.push_back(Za32().GetSampleNumber(key));
  return numbers;
}

std::string EngineTest::Wav(const std::string& name, const WavSpec& spec) {
  std::string path = files / name;
  WriteWav(path, spec);
  return path;
}

void EngineTest::ExpectBoxes(const std::vector<std::string>& texts, HWND owner, BoxIcon icon) {
  std::vector<std::string> seen;
  for (const auto& box : boxes.boxes()) {
    EXPECT_EQ(box.caption, "ZA32") << box;
    EXPECT_EQ(box.owner, GetAncestor(owner, GA_ROOT)) << box;
    EXPECT_EQ(box.icon, icon) << box;
    seen.push_back(box.text);
  }
  EXPECT_EQ(seen, texts) << boxes.boxes();
  boxes.clear();
}
