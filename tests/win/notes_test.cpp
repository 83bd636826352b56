// Notes and parameter messages posted by the host and dispatched by its message loop,
// checked on the sound device itself: every voice is a duplicate buffer playing at the
// frequency, level and pan that the engine's rules give.
#include "support/engine_test.h"

class Notes : public EngineTest {
protected:
  void SetUp() override {
    ZA32_REQUIRE_EXPORTS("InitialiseKeyMap", "GetSampleNumber", "AllNotesOff");
    EngineTest::SetUp();
    if (IsSkipped() || HasFatalFailure())
      return;
    ASSERT_NE(Engine().KeyMap, nullptr) << "no engine state in the symbol table";
    keys = EmptyKeyMap();
  }

  void Install() {
    ASSERT_EQ(Za32().InitialiseKeyMap(keys.data()), 0);
    ASSERT_TRUE(boxes.boxes().empty()) << boxes.boxes();
  }

  // The device's view of the voice that key `key` sounds on.
  BufferState Voice(int key) const {
    const KeyRecord& record = Engine().KeyMap[key];
    if (!record.Playing)
      return {};
    return QueryBuffer(Engine().VoiceTable[record.Voice].Buffer);
  }

  int ActiveVoices() const {
    int active = 0;
    for (int voice = 0; voice < ZA32_VOICES; ++voice)
      active += Engine().VoiceTable[voice].Active != 0;
    return active;
  }

  std::vector<KeyRecord> keys;
};

TEST_F(Notes, ANoteOnPlaysADuplicateAtTheKeysPitchLevelAndPan) {
  keys[0] = MakeKey(Wav("tone.wav", {22050, 1, 16, 3 * 22050}), 36);
  keys[0].Note = 72; // an octave up: 44100 Hz
  keys[0].Volume = 100;
  keys[0].Pan = 32;
  Install();

  Post(AM_NOTE, 36, 100);
  const KeyRecord& key = Engine().KeyMap[0];
  ASSERT_EQ(key.Playing, 1);
  const VoiceRecord& voice = Engine().VoiceTable[key.Voice];
  EXPECT_EQ(key.Voice, 0);
  EXPECT_EQ(voice.Active, 1);
  EXPECT_EQ(voice.Velocity, 100);
  EXPECT_EQ(voice.Volume, -759);
  ASSERT_EQ(Samples().size(), 1u);
  EXPECT_NE(voice.Buffer, Samples()[0]->Buffer) << "the voice must play a duplicate";

  BufferState state = Voice(0);
  ASSERT_TRUE(state.ok);
  EXPECT_TRUE(state.playing);
  EXPECT_FALSE(state.looping);
  EXPECT_EQ(state.frequency, 44100u);
  EXPECT_EQ(state.volume, -759);
  EXPECT_EQ(state.pan, -1000);
  // The sample's own buffer stays silent.
  EXPECT_FALSE(QueryBuffer(Samples()[0]->Buffer).playing);

  Post(AM_NOTE, 36, 0);
  EXPECT_EQ(key.Playing, 0);
  EXPECT_EQ(key.Released, 1);
  EXPECT_EQ(ActiveVoices(), 0);
}

TEST_F(Notes, KeysSharingASampleSoundAtOnceOnVoicesOfTheirOwn) {
  std::string tone = Wav("tone.wav", {22050, 1, 16, 3 * 22050});
  keys[0] = MakeKey(tone, 36);
  keys[1] = MakeKey(tone, 37);
  keys[1].Note = 67;
  keys[1].Loop = 1;
  keys[1].VelocitySense = 0;
  Install();

  Post(AM_NOTE, 36, 127);
  Post(AM_NOTE, 37, 5); // velocity ignored: plays at 127
  ASSERT_EQ(ActiveVoices(), 2);
  EXPECT_EQ(Engine().KeyMap[1].Voice, 1);
  EXPECT_EQ(Engine().VoiceTable[1].Velocity, 127);
  BufferState first = Voice(0), second = Voice(1);
  ASSERT_TRUE(first.ok && second.ok);
  EXPECT_EQ(first.frequency, 22050u);
  EXPECT_EQ(second.frequency, 33075u);
  EXPECT_TRUE(second.playing);
  EXPECT_TRUE(second.looping);
  EXPECT_EQ(second.volume, 0);

  EXPECT_EQ(Za32().AllNotesOff(0), 0);
  EXPECT_EQ(ActiveVoices(), 0);
  EXPECT_EQ(Engine().KeyMap[0].Playing, 0);
  EXPECT_EQ(Engine().KeyMap[1].Playing, 0);
}

TEST_F(Notes, ParameterMessagesReachTheSoundingVoice) {
  // Long enough to be still sounding when its loop is switched off.
  keys[0] = MakeKey(Wav("tone.wav", {22050, 1, 16, 10 * 22050}), 36);
  keys[0].Loop = 1;
  Install();
  Post(AM_NOTE, 36, 127);
  ASSERT_TRUE(Voice(0).ok);
  ASSERT_EQ(Voice(0).frequency, 22050u);

  Post(AM_NOTEPITCH, 0, 72);
  EXPECT_EQ(Voice(0).frequency, 44100u);
  Post(AM_BEND, 99, 127); // the key ignores the bend until it is enabled
  EXPECT_EQ(Voice(0).frequency, 44100u);
  Post(AM_BENDENABLE, 0, 1);
  EXPECT_EQ(Voice(0).frequency, 88200u);
  Post(AM_BEND, 0, 0);
  EXPECT_EQ(Voice(0).frequency, 22050u);
  Post(AM_BENDENABLE, 0, 0);
  EXPECT_EQ(Voice(0).frequency, 44100u);
  Post(AM_NOTEPITCH, 0, 61);
  Post(AM_FINETUNE, 0, 75);
  EXPECT_EQ(Voice(0).frequency, 24036u); // 23546 x 1.02083337

  Post(AM_VOLUME, 0, 0);
  EXPECT_EQ(Voice(0).volume, -2000);
  Post(AM_MUTE, 0, 1);
  EXPECT_EQ(Voice(0).volume, -10000);
  Post(AM_VOLUME, 0, 64); // waits behind the mute
  EXPECT_EQ(Voice(0).volume, -10000);
  Post(AM_MUTE, 0, 0);
  EXPECT_EQ(Voice(0).volume, -992);

  Post(AM_PAN, 0, 0);
  EXPECT_EQ(Voice(0).pan, -10000);
  Post(AM_PAN, 0, 127);
  EXPECT_EQ(Voice(0).pan, 10000);
  Post(AM_PAN, 0, 97);
  EXPECT_EQ(Voice(0).pan, 1062);

  Post(AM_LOOP, 0, 0);
  EXPECT_FALSE(Voice(0).looping);
  EXPECT_TRUE(Voice(0).playing);
  Post(AM_LOOP, 0, 1);
  EXPECT_TRUE(Voice(0).looping);
  EXPECT_TRUE(boxes.boxes().empty()) << boxes.boxes();
}

TEST_F(Notes, AHeldKeyLatchesUntilPressedAgainOrReleased) {
  keys[0] = MakeKey(Wav("tone.wav", {22050, 1, 16, 22050}), 36);
  keys[0].Loop = 1;
  Install();
  Post(AM_HOLD, 0, 1);
  EXPECT_EQ(Engine().KeyMap[0].Hold, 1);

  Post(AM_NOTE, 36, 90);
  Post(AM_NOTE, 36, 0);
  EXPECT_EQ(Engine().KeyMap[0].Playing, 1);
  EXPECT_EQ(Engine().KeyMap[0].Released, 1);
  EXPECT_TRUE(Voice(0).playing);
  Post(AM_NOTE, 36, 90); // a second press stops it
  EXPECT_EQ(Engine().KeyMap[0].Playing, 0);
  EXPECT_EQ(ActiveVoices(), 0);

  Post(AM_NOTE, 36, 90);
  Post(AM_NOTE, 36, 0);
  ASSERT_EQ(Engine().KeyMap[0].Playing, 1);
  Post(AM_HOLD, 0, 0); // released while held: hold off stops it at once
  EXPECT_EQ(Engine().KeyMap[0].Playing, 0);
  EXPECT_EQ(ActiveVoices(), 0);
}

TEST_F(Notes, NotesForUnknownCodesOrKeysWithoutSamplesDoNothing) {
  keys[0] = MakeKey(Wav("tone.wav"), 36);
  keys[1] = MakeKey(files / "missing.wav", 37);
  ASSERT_EQ(Za32().InitialiseKeyMap(keys.data()), 0);
  boxes.clear(); // the missing file's load failure
  Post(AM_NOTE, 99, 100);
  Post(AM_NOTE, 37, 100);
  Post(AM_NOTE, 37, 0);
  EXPECT_EQ(ActiveVoices(), 0);
  EXPECT_EQ(Engine().KeyMap[1].Playing, 0);
}
