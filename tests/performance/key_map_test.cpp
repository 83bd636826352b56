// Installing keys, sharing and renumbering samples, and replacing one key.
#include "keys_fixture.h"

#include "engine/za32.h"
#include "performance/key_map.h"
#include "samples/samples.h"

#include <cstring>
#include <filesystem>

namespace {

class KeyMapping : public KeysTest {
protected:
  void SetUp() override {
    KeysTest::SetUp();
    a = Wav("a.wav", 22050);
    b = Wav("b.wav", 11025);
    c = Wav("c.wav", 44100);
  }

  static std::string CannotLoad(const std::string& file) {
    return "Cannot load " + file + "\nIt may be in another directory or CD-Rom";
  }
  std::vector<std::string> BoxTexts() const {
    std::vector<std::string> texts;
    for (const MessageBoxCall& call : boxes.calls()) {
      texts.push_back(call.text);
    }
    return texts;
  }
  static LONG Samples() { return CountSamples(&SampleList); }
  static std::string SampleName(int position) {
    SampleRecord* sample = SampleList.Next;
    while (sample && position-- > 0) {
      sample = sample->Next;
    }
    return sample ? sample->Name : "";
  }

  std::string a, b, c;
};

TEST_F(KeyMapping, KeysNamingOneFileShareOneSample) {
  Install({Key(a, 1), Key(b, 2), Key(a, 3)});
  EXPECT_EQ(Samples(), 2);
  EXPECT_EQ(GetSampleNumber(0), 0);
  EXPECT_EQ(GetSampleNumber(1), 1);
  EXPECT_EQ(GetSampleNumber(2), 0);
  for (LONG k = 3; k < ZA32_KEYS; ++k) {
    EXPECT_EQ(GetSampleNumber(k), -1) << k;
  }
  EXPECT_TRUE(boxes.calls().empty());
}

TEST_F(KeyMapping, NamesDifferingInCaseAreTwoSamples) {
  const std::string upper = Wav("A.WAV", 22050);
  Install({Key(a, 1), Key(upper, 2)});
  EXPECT_EQ(Samples(), 2);
  EXPECT_EQ(GetSampleNumber(0), 0);
  EXPECT_EQ(GetSampleNumber(1), 1);
}

TEST_F(KeyMapping, AFileThatFailsToLoadLeavesTheKeyWithoutASample) {
  const std::string missing = dir.file("missing.wav");
  EXPECT_EQ(InitialiseKeyMap(KeysOf({Key(a, 1), Key(missing, 2), Key(b, 3)}).data()), 0);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{CannotLoad(missing)});
  EXPECT_EQ(GetSampleNumber(1), -1);
  EXPECT_EQ(KeyMap[1].SampleName, missing);
  EXPECT_EQ(GetSampleNumber(2), 1);
}

TEST_F(KeyMapping, ReplacingTheOnlyKeyOfASampleUnloadsItAndRenumbersTheRest) {
  Install({Key(a, 1), Key(b, 2), Key(c, 3)});
  const std::string d = Wav("d.wav", 8000);
  EXPECT_EQ(Update(Key(d, 9), 0), 1);
  EXPECT_EQ(Samples(), 3);
  EXPECT_EQ(SampleName(0), b);
  EXPECT_EQ(GetSampleNumber(1), 0);
  EXPECT_EQ(GetSampleNumber(2), 1);
  EXPECT_EQ(GetSampleNumber(0), 2);
  EXPECT_EQ(KeyMap[0].KeyCode, 9);
}

TEST_F(KeyMapping, UpdatingWithTheSameNameReloadsTheFileWhenNoOtherKeyHasIt) {
  Install({Key(a, 1), Key(b, 2)});
  KeyRecord quieter = Key(a, 1);
  quieter.Volume = 50;
  EXPECT_EQ(UpdateKey(&quieter, 0), 1);
  EXPECT_EQ(Samples(), 2);
  EXPECT_EQ(SampleName(1), a); // moved to the end
  EXPECT_EQ(GetSampleNumber(0), 1);
  EXPECT_EQ(GetSampleNumber(1), 0);
  EXPECT_EQ(KeyMap[0].Volume, 50);
}

TEST_F(KeyMapping, UpdatingWithASharedNameLoadsNothing) {
  Install({Key(a, 1), Key(a, 2)});
  SampleRecord* shared = SampleList.Next;
  EXPECT_EQ(Update(Key(a, 7), 0), 0);
  EXPECT_EQ(Samples(), 1);
  EXPECT_EQ(SampleList.Next, shared);
  EXPECT_EQ(GetSampleNumber(0), 0);
}

TEST_F(KeyMapping, AnEmptyNameEmptiesTheKey) {
  Install({Key(a, 1), Key(b, 2)});
  KeyRecord empty = Key("", 5);
  empty.Voice = 7;
  EXPECT_EQ(UpdateKey(&empty, 0), 0);
  EXPECT_EQ(GetSampleNumber(0), -1);
  EXPECT_EQ(KeyMap[0].Voice, -1);
  EXPECT_EQ(Samples(), 1);
  EXPECT_EQ(GetSampleNumber(1), 0);
}

TEST_F(KeyMapping, AFailedFileFallsBackToTheOldOneWithTheNewSettings) {
  Install({Key(a, 1)});
  const std::string missing = dir.file("missing.wav");
  KeyRecord next = Key(missing, 4);
  next.Pan = 10;
  EXPECT_EQ(UpdateKey(&next, 0), -1);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{CannotLoad(missing)});
  EXPECT_EQ(KeyMap[0].SampleName, a);
  EXPECT_EQ(KeyMap[0].Pan, 10);
  EXPECT_EQ(KeyMap[0].KeyCode, 4);
  EXPECT_EQ(KeyMap[0].Voice, -1);
  EXPECT_EQ(GetSampleNumber(0), 0); // reloaded from disk
  EXPECT_EQ(Samples(), 1);
}

TEST_F(KeyMapping, WhenTheOldFileIsGoneTooASecondBoxSaysSo) {
  Install({Key(a, 1)});
  std::filesystem::remove(a);
  const std::string missing = dir.file("missing.wav");
  EXPECT_EQ(Update(Key(missing, 1), 0), -1);
  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{CannotLoad(missing), CannotLoad(a)}));
  EXPECT_EQ(KeyMap[0].SampleName, a);
  EXPECT_EQ(GetSampleNumber(0), -1);
  EXPECT_EQ(Samples(), 0);
}

TEST_F(KeyMapping, AFailedFileOnAnEmptyKeyLeavesItEmpty) {
  const std::string missing = dir.file("missing.wav");
  EXPECT_EQ(Update(Key(missing, 1), 3), -1);
  EXPECT_EQ(KeyMap[3].SampleName[0], '\0');
  EXPECT_EQ(GetSampleNumber(3), -1);
  EXPECT_EQ(boxes.calls().size(), 1u);
}

TEST_F(KeyMapping, TheAuditionKeepsAReplacedKeysSampleLoaded) {
  Install({Key(a, 1)});
  AuditionSample = SampleList.Next;
  EXPECT_EQ(Update(Key(b, 1), 0), 1);
  EXPECT_EQ(Samples(), 2);
  EXPECT_EQ(SampleName(0), a);
  EXPECT_EQ(GetSampleNumber(0), 1);
  AuditionSample = nullptr;
}

TEST_F(KeyMapping, WithTwoSamplesOfOneNameKeysTakeTheLaterOne) {
  Install({Key(a, 1), Key(b, 2)});
  ASSERT_EQ(LoadSample(a.c_str()), 1); // as the audition would
  RenumberKeys();
  EXPECT_EQ(GetSampleNumber(0), 2);
  EXPECT_EQ(GetSampleNumber(1), 1);
  NoteOnMessage(1, 127);
  EXPECT_EQ(KeyVoice(0).Sample, SampleList.Next->Next->Next);
}

TEST_F(KeyMapping, ANewMapOverAnOldOneHitsTheLimitOf26Samples) {
  std::vector<KeyRecord> first;
  for (int k = 0; k < ZA32_KEYS; ++k) {
    first.push_back(Key(Wav("old" + std::to_string(k) + ".wav", 8000, 100), k));
  }
  Install(first);
  ASSERT_EQ(Samples(), 25);
  std::vector<KeyRecord> second;
  for (int k = 0; k < ZA32_KEYS; ++k) {
    second.push_back(Key(Wav("new" + std::to_string(k) + ".wav", 8000, 100), k));
  }
  second[5] = Key(dir.file("old3.wav"), 5); // still loaded from the first map
  boxes.clear();
  EXPECT_EQ(InitialiseKeyMap(KeysOf(second).data()), 0);
  EXPECT_EQ(Samples(), 26);
  EXPECT_EQ(GetSampleNumber(0), 25);
  EXPECT_EQ(GetSampleNumber(5), 3);
  EXPECT_EQ(boxes.calls().size(), 23u);
  for (const MessageBoxCall& call : boxes.calls()) {
    EXPECT_EQ(call.text, "No more WAV files can be loaded");
  }
  for (int k = 1; k < ZA32_KEYS; ++k) {
    if (k != 5) {
      EXPECT_EQ(GetSampleNumber(k), -1) << k;
    }
  }
  // Replacing the file of a key that alone holds its sample works at the limit.
  EXPECT_EQ(UpdateKey(&second[0], 0), 1);
}

TEST_F(KeyMapping, ANewMapStopsTheVoicesOfTheOldOne) {
  KeyRecord looping = Key(a, 1);
  looping.Loop = 1;
  Install({looping, Key(b, 2)});
  NoteOnMessage(1, 127);
  NoteOnMessage(2, 127);
  ASSERT_EQ(LiveDuplicates(), 2u);
  Install({Key(c, 1)});
  EXPECT_EQ(LiveDuplicates(), 0u);
  EXPECT_EQ(ActiveVoices(), 0u);
  EXPECT_TRUE(boxes.calls().empty());
  NoteOnMessage(1, 127);
  EXPECT_EQ(VoiceBuffer(0).frequency, 44100u);
}

TEST_F(KeyMapping, AFailedStopIsReportedOnceTheNewMapIsIn) {
  Install({Key(a, 1)});
  NoteOnMessage(1, 127);
  int32_t keyCodeInBox = -1;
  boxes.whileOpen([&](const MessageBoxCall&) {
    keyCodeInBox = KeyMap[0].KeyCode;
    Post(AM_NOTE, 1, 0);   // the old key's note-off: nothing left to stop
    Post(AM_NOTE, 2, 127); // the new key has no sample yet
    Pump();
  });
  dsemu::FailNext(dsemu::Call::Stop, DSERR_GENERIC);
  Install({Key(b, 2)});
  ASSERT_EQ(boxes.calls().size(), 1u);
  EXPECT_EQ(boxes.calls()[0].text, "Error stopping playback");
  EXPECT_EQ(keyCodeInBox, 2);
  EXPECT_EQ(LiveDuplicates(), 0u);
  EXPECT_EQ(ActiveVoices(), 0u);
}

TEST_F(KeyMapping, UpdatingASoundingKeyStopsItAndDoesNotRestartIt) {
  Install({Key(a, 1), Key(b, 2)});
  NoteOnMessage(1, 127);
  NoteOnMessage(2, 127);
  EXPECT_EQ(Update(Key(c, 1), 0), 1);
  EXPECT_EQ(KeyMap[0].Playing, 0);
  EXPECT_EQ(KeyMap[1].Playing, 1);
  EXPECT_EQ(LiveDuplicates(), 1u);
  EXPECT_EQ(GetSampleNumber(1), 0);
}

TEST_F(KeyMapping, NotesInsideAFailedStopBoxOfAnUpdateCannotRestartTheOldKey) {
  Install({Key(a, 1), Key(b, 2)});
  NoteOnMessage(1, 127);
  LONG secondKeyNumberInBox = -2;
  boxes.whileOpen([&](const MessageBoxCall&) {
    Post(AM_NOTE, 1, 127); // the key being replaced
    Post(AM_NOTE, 2, 127); // another key: its number must already be right
    Pump();
    secondKeyNumberInBox = GetSampleNumber(1);
  });
  dsemu::FailNext(dsemu::Call::Stop, DSERR_GENERIC);
  EXPECT_EQ(Update(Key(c, 3), 0), 1);
  ASSERT_EQ(boxes.calls().size(), 1u);
  EXPECT_EQ(secondKeyNumberInBox, 0);
  EXPECT_EQ(KeyMap[0].Playing, 0);
  EXPECT_EQ(KeyMap[1].Playing, 1);
  EXPECT_EQ(KeyVoice(1).Sample->Name, b);
  EXPECT_EQ(ActiveVoices(), 1u);
  EXPECT_EQ(LiveDuplicates(), 1u);
}

TEST_F(KeyMapping, KeyIndexesOutsideTheMapAreRefusedQuietly) {
  Install({Key(a, 1)});
  KeyRecord keys[ZA32_KEYS];
  std::memcpy(keys, KeyMap, sizeof keys);
  const KeyRecord other = Key(b, 2);
  for (LONG k : {-1, 25, 26, 1000, INT32_MIN, INT32_MAX}) {
    EXPECT_EQ(UpdateKey(&other, k), -1) << k;
    EXPECT_EQ(GetSampleNumber(k), -1) << k;
  }
  EXPECT_EQ(UpdateKey(nullptr, 0), -1);
  EXPECT_EQ(InitialiseKeyMap(nullptr), 0);
  EXPECT_EQ(std::memcmp(keys, KeyMap, sizeof keys), 0);
  EXPECT_EQ(Samples(), 1);
  EXPECT_TRUE(boxes.calls().empty());
}

TEST_F(KeyMapping, ANameFillingAll256BytesIsReadAs255Characters) {
  KeyRecord key = Key("", 1);
  std::memset(key.SampleName, 'x', sizeof key.SampleName);
  Install({key});
  EXPECT_EQ(std::strlen(KeyMap[0].SampleName), 255u);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{CannotLoad(std::string(255, 'x'))});
  EXPECT_EQ(UpdateKey(&key, 1), -1);
  EXPECT_EQ(std::strlen(KeyMap[1].SampleName), 0u); // fell back to its empty name
}

TEST_F(KeyMapping, TheHostsPlayingFlagIsNotTakenIn) {
  KeyRecord key = Key(a, 1);
  key.Playing = 1;
  key.Voice = 1000;
  Install({key});
  EXPECT_EQ(KeyMap[0].Playing, 0);
  NoteOffMessage(1);
  Send(AM_VOLUME, 0, 3);
  Send(AM_BEND, 0, 3);
  AllNotesOff(0);
  NoteOnMessage(1, 127);
  EXPECT_EQ(KeyMap[0].Playing, 1);
  EXPECT_EQ(KeyMap[0].Voice, 0);
  EXPECT_EQ(UpdateKey(&key, 0), 1);
  EXPECT_EQ(KeyMap[0].Playing, 0);
  EXPECT_EQ(LiveDuplicates(), 0u);
}

TEST_F(KeyMapping, NamesThatCompareEqualShareTheFirstOnesSample) {
  // "\xdf" weighs as "ss" and the soft hyphen (0xAD) weighs nothing: three files, one sample.
  const std::string first = Wav("ss.wav", 22050);
  Install({Key(first, 1), Key(Wav("\xdf.wav", 11025), 2), Key(Wav("s\xads.wav", 44100), 3)});
  EXPECT_EQ(Samples(), 1);
  EXPECT_EQ(SampleName(0), first);
  for (LONG k = 0; k < 3; ++k)
    EXPECT_EQ(GetSampleNumber(k), 0) << k;
}

} // namespace
