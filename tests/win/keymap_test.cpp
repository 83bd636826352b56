// The key map on the real module: files loaded once and shared by name, sample numbers,
// replacing a key's file, and the loading failures reported to the user.
#include "support/engine_test.h"

class KeyMap : public EngineTest {
protected:
  void SetUp() override {
    ZA32_REQUIRE_EXPORTS("InitialiseKeyMap", "UpdateKey", "GetSampleNumber");
    EngineTest::SetUp();
  }
};

TEST_F(KeyMap, EachNamedFileIsLoadedOnceIntoItsOwnStaticBuffer) {
  std::string a = Wav("a.wav", {22050, 1, 16, 22050});
  std::string b = Wav("b.wav", {44100, 2, 16, 4410});
  std::string c = Wav("c.wav", {11025, 1, 8, 11025});
  std::string missing = files / "missing.wav";
  std::string text = files / "notes.wav";
  WriteBytes(text, {'n', 'o', 't', ' ', 'a', ' ', 'w', 'a', 'v', 'e'});

  auto keys = EmptyKeyMap();
  keys[0] = MakeKey(a, 36);
  keys[1] = MakeKey(b, 37);
  keys[2] = MakeKey(a, 38);
  keys[4] = MakeKey(missing, 40);
  keys[5] = MakeKey(text, 41);
  keys[6] = MakeKey(c, 42);
  EXPECT_EQ(Za32().InitialiseKeyMap(keys.data()), 0);

  EXPECT_EQ(SampleNumbers(8), (std::vector<LONG>{0, 1, 0, -1, -1, -1, 2, -1}));
  EXPECT_EQ(SampleNames(), (std::vector<std::string>{a, b, c}));
  ExpectBoxes({"Cannot load " + missing + "\nIt may be in another directory or CD-Rom",
               text + " is not a Wave File"},
              host.hwnd(), BoxIcon::Error);
  EXPECT_EQ(GetFocus(), host.hwnd());

  // Each sample has a static buffer of its own on the device, silent, at the file's rate.
  const DWORD rates[] = {22050, 44100, 11025};
  auto samples = Samples();
  ASSERT_EQ(samples.size(), 3u);
  for (size_t i = 0; i < samples.size(); ++i) {
    SCOPED_TRACE(samples[i]->Name);
    BufferState state = QueryBuffer(samples[i]->Buffer);
    ASSERT_TRUE(state.ok);
    EXPECT_EQ(state.frequency, rates[i]);
    EXPECT_FALSE(state.playing);
    EXPECT_EQ(state.volume, 0);
    EXPECT_EQ(state.pan, 0);
    DSBCAPS caps{};
    caps.dwSize = sizeof caps;
    ASSERT_EQ(samples[i]->Buffer->GetCaps(&caps), DS_OK);
    EXPECT_EQ(caps.dwFlags & 0x141E2u, 0x141E2u);
    EXPECT_EQ(caps.dwBufferBytes, samples[i]->DataSize);
  }
}

// The file system does not care about letter case, the key map does: two names for
// one file are two samples.
TEST_F(KeyMap, NamesThatDifferOnlyInCaseAreTwoSamples) {
  std::string lower = Wav("kick.wav");
  std::string upper = files / "KICK.WAV";
  auto keys = EmptyKeyMap();
  keys[0] = MakeKey(lower, 36);
  keys[1] = MakeKey(upper, 37);
  keys[2] = MakeKey(lower, 38);
  EXPECT_EQ(Za32().InitialiseKeyMap(keys.data()), 0);
  EXPECT_EQ(SampleNumbers(3), (std::vector<LONG>{0, 1, 0}));
  EXPECT_EQ(Samples().size(), 2u);
}

TEST_F(KeyMap, UpdateKeyReplacesFilesAndRenumbersTheKeys) {
  std::string a = Wav("a.wav"), b = Wav("b.wav"), c = Wav("c.wav"), d = Wav("d.wav");
  auto keys = EmptyKeyMap();
  keys[0] = MakeKey(a, 36);
  keys[1] = MakeKey(b, 37);
  keys[2] = MakeKey(c, 38);
  keys[3] = MakeKey(c, 39);
  ASSERT_EQ(Za32().InitialiseKeyMap(keys.data()), 0);
  ASSERT_EQ(SampleNumbers(4), (std::vector<LONG>{0, 1, 2, 2}));

  // a was key 0's alone: it goes, and the samples behind it move down.
  EXPECT_EQ(Za32().UpdateKey(&(keys[0] = MakeKey(d, 36)), 0), 1);
  EXPECT_EQ(SampleNames(), (std::vector<std::string>{b, c, d}));
  EXPECT_EQ(SampleNumbers(4), (std::vector<LONG>{2, 0, 1, 1}));

  // c is shared with key 3: key 2 takes b, which is loaded already.
  EXPECT_EQ(Za32().UpdateKey(&(keys[2] = MakeKey(b, 38)), 2), 0);
  EXPECT_EQ(SampleNames(), (std::vector<std::string>{b, c, d}));
  EXPECT_EQ(SampleNumbers(4), (std::vector<LONG>{2, 0, 0, 1}));

  // An empty name leaves the key without a sample.
  EXPECT_EQ(Za32().UpdateKey(&(keys[3] = MakeKey("", 39)), 3), 0);
  EXPECT_EQ(SampleNames(), (std::vector<std::string>{b, d}));
  EXPECT_EQ(SampleNumbers(4), (std::vector<LONG>{1, 0, 0, -1}));
  EXPECT_TRUE(boxes.boxes().empty()) << boxes.boxes();
}

TEST_F(KeyMap, AFileThatCannotBeLoadedLeavesTheKeyOnItsPreviousFile) {
  std::string a = Wav("a.wav");
  std::string missing = files / "gone.wav";
  auto keys = EmptyKeyMap();
  keys[0] = MakeKey(a, 36);
  ASSERT_EQ(Za32().InitialiseKeyMap(keys.data()), 0);

  KeyRecord replacement = MakeKey(missing, 36);
  replacement.Volume = 99;
  EXPECT_EQ(Za32().UpdateKey(&replacement, 0), -1);
  ExpectBoxes({"Cannot load " + missing + "\nIt may be in another directory or CD-Rom"},
              host.hwnd(), BoxIcon::Error);
  // The old file was the key's alone, so it was loaded again from disk.
  EXPECT_EQ(SampleNames(), (std::vector<std::string>{a}));
  EXPECT_EQ(Za32().GetSampleNumber(0), 0);
  ASSERT_NE(Engine().KeyMap, nullptr);
  EXPECT_STREQ(Engine().KeyMap[0].SampleName, a.c_str());
  EXPECT_EQ(Engine().KeyMap[0].Volume, 99);
  EXPECT_EQ(GetFocus(), host.hwnd());
}

// Samples of an earlier key map stay loaded, and the list holds 26 at most.
TEST_F(KeyMap, ASecondKeyMapMeetsTheLimitOf26Samples) {
  auto first = EmptyKeyMap();
  auto second = EmptyKeyMap();
  for (int i = 0; i < ZA32_KEYS; ++i) {
    first[i] = MakeKey(Wav("first" + std::to_string(i) + ".wav", {22050, 1, 16, 100}), 36 + i);
    second[i] = MakeKey(Wav("second" + std::to_string(i) + ".wav", {22050, 1, 16, 100}), 36 + i);
  }
  second[24] = first[3]; // already loaded: still gets its number
  ASSERT_EQ(Za32().InitialiseKeyMap(first.data()), 0);
  ASSERT_TRUE(boxes.boxes().empty()) << boxes.boxes();

  EXPECT_EQ(Za32().InitialiseKeyMap(second.data()), 0);
  EXPECT_EQ(Samples().size(), 26u);
  std::vector<std::string> refused(23, "No more WAV files can be loaded");
  ExpectBoxes(refused, host.hwnd(), BoxIcon::Error);
  EXPECT_EQ(Za32().GetSampleNumber(0), 25);
  for (int key = 1; key < 24; ++key)
    EXPECT_EQ(Za32().GetSampleNumber(key), -1) << "key " << key;
  EXPECT_EQ(Za32().GetSampleNumber(24), 3);
}
