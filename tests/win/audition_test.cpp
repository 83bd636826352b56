// Auditioning a WAV file on the real device: the sample's own buffer plays looping,
// shares the sample with the keys by name, and goes again when no key names it.
#include "support/engine_test.h"

class Audition : public EngineTest {
protected:
  void SetUp() override {
    ZA32_REQUIRE_EXPORTS("StartAudition", "StopAudition", "InitialiseKeyMap", "GetSampleNumber");
    EngineTest::SetUp();
    if (IsSkipped() || HasFatalFailure())
      return;
    ASSERT_NE(Engine().AuditionSample, nullptr) << "no engine state in the symbol table";
  }
};

TEST_F(Audition, AFileNoKeyNamesIsLoadedPlayedLoopingAndUnloaded) {
  std::string kept = Wav("kept.wav");
  std::string preview = Wav("preview.wav", {44100, 2, 16, 4410});
  auto keys = EmptyKeyMap();
  keys[0] = MakeKey(kept, 36);
  ASSERT_EQ(Za32().InitialiseKeyMap(keys.data()), 0);

  EXPECT_EQ(Za32().StopAudition(0), 1); // nothing to stop
  EXPECT_EQ(Za32().StartAudition(preview.c_str()), 1);
  ASSERT_EQ(SampleNames(), (std::vector<std::string>{kept, preview}));
  SampleRecord* sample = Samples()[1];
  EXPECT_EQ(*Engine().AuditionSample, sample);
  EXPECT_EQ(sample->Playing, 1);
  BufferState state = QueryBuffer(sample->Buffer);
  ASSERT_TRUE(state.ok);
  EXPECT_TRUE(state.playing);
  EXPECT_TRUE(state.looping);
  EXPECT_EQ(state.frequency, 44100u);

  EXPECT_EQ(Za32().StopAudition(0), 1);
  EXPECT_EQ(*Engine().AuditionSample, nullptr);
  EXPECT_EQ(SampleNames(), (std::vector<std::string>{kept}));
  EXPECT_EQ(Za32().GetSampleNumber(0), 0);
  EXPECT_TRUE(boxes.boxes().empty()) << boxes.boxes();
}

TEST_F(Audition, AFileAKeyNamesPlaysTheKeysSampleAndStaysLoaded) {
  std::string other = Wav("other.wav");
  std::string shared = Wav("shared.wav");
  auto keys = EmptyKeyMap();
  keys[0] = MakeKey(other, 36);
  keys[1] = MakeKey(shared, 37);
  ASSERT_EQ(Za32().InitialiseKeyMap(keys.data()), 0);

  EXPECT_EQ(Za32().StartAudition(shared.c_str()), 0);
  ASSERT_EQ(Samples().size(), 2u);
  EXPECT_EQ(*Engine().AuditionSample, Samples()[1]);
  EXPECT_TRUE(QueryBuffer(Samples()[1]->Buffer).looping);
  // The key plays a duplicate while the audition plays the sample's own buffer.
  Post(AM_NOTE, 37, 100);
  EXPECT_EQ(Engine().KeyMap[1].Playing, 1);

  EXPECT_EQ(Za32().StopAudition(0), 1);
  EXPECT_EQ(SampleNames(), (std::vector<std::string>{other, shared}));
  EXPECT_FALSE(QueryBuffer(Samples()[1]->Buffer).playing);
  EXPECT_EQ(Za32().GetSampleNumber(1), 1);
  EXPECT_TRUE(QueryBuffer(Engine().VoiceTable[Engine().KeyMap[1].Voice].Buffer).playing);
  Za32().AllNotesOff(0);
}

TEST_F(Audition, AFileThatCannotBeLoadedIsReportedAndNothingPlays) {
  std::string missing = files / "nowhere.wav";
  EXPECT_EQ(Za32().StartAudition(missing.c_str()), -1);
  ExpectBoxes({"Cannot load " + missing + "\nIt may be in another directory or CD-Rom"},
              host.hwnd(), BoxIcon::Error);
  EXPECT_EQ(*Engine().AuditionSample, nullptr);
  EXPECT_TRUE(Samples().empty());
  EXPECT_EQ(Za32().StopAudition(0), 1);
}
