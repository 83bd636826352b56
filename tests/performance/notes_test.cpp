// Note and hold messages, the 25 voices, and every device failure while starting or
// stopping a key.
#include "keys_fixture.h"

#include "engine/za32.h"
#include "performance/notes.h"

namespace {

class Notes : public KeysTest {
protected:
  void SetUp() override {
    KeysTest::SetUp();
    file = Wav("a.wav", 22050);
    KeyRecord held = Key(file, 37);
    held.Hold = 1;
    Install({Key(file, 36), held});
  }

  void ExpectSilent(int key) { EXPECT_EQ(KeyMap[key].Playing, 0) << "key " << key; }

  std::string file;
};

TEST_F(Notes, NoteOnStartsTheKeyOnTheFirstFreeVoiceAndNoteOffStopsIt) {
  NoteOnMessage(36, 100);
  ASSERT_EQ(KeyMap[0].Playing, 1);
  EXPECT_EQ(KeyMap[0].Released, 0);
  EXPECT_EQ(KeyMap[0].Voice, 0);
  const VoiceRecord& voice = VoiceTable[0];
  EXPECT_EQ(voice.Active, 1);
  EXPECT_EQ(voice.SampleNumber, 0);
  EXPECT_EQ(voice.Sample, SampleList.Next);
  EXPECT_EQ(voice.Velocity, 100);
  const dsemu::BufferState state = VoiceBuffer(0);
  EXPECT_EQ(state.duplicateOf, SampleList.Next->Buffer);
  EXPECT_TRUE(state.playing);
  EXPECT_FALSE(state.looping);
  EXPECT_EQ(LiveDuplicates(), 1u);

  NoteOffMessage(36);
  ExpectSilent(0);
  EXPECT_EQ(KeyMap[0].Released, 1);
  EXPECT_EQ(VoiceTable[0].Active, 0);
  EXPECT_EQ(LiveDuplicates(), 0u);
  EXPECT_TRUE(boxes.calls().empty());
}

TEST_F(Notes, KeysSharingASampleSoundAtOnceOnTheirOwnVoices) {
  Install({Key(file, 36), Key(file, 40)});
  NoteOnMessage(36, 127);
  NoteOnMessage(40, 127);
  EXPECT_EQ(KeyMap[0].Voice, 0);
  EXPECT_EQ(KeyMap[1].Voice, 1);
  EXPECT_EQ(LiveDuplicates(), 2u);
  NoteOffMessage(36);
  NoteOnMessage(36, 127); // voice 0 is free again
  EXPECT_EQ(KeyMap[0].Voice, 0);
}

TEST_F(Notes, TheLowestKeyWithTheCodeWinsAndOtherCodesNeverMatch) {
  KeyRecord negative = Key(file, -1);
  KeyRecord wide = Key(file, 0x10024); // 36 in the low word, but not 36
  Install({negative, wide, Key(file, 36), Key(file, 36)});
  NoteOnMessage(36, 127);
  NoteOnMessage(0xFFFF, 127);
  EXPECT_EQ(KeyMap[0].Playing, 0);
  EXPECT_EQ(KeyMap[1].Playing, 0);
  EXPECT_EQ(KeyMap[2].Playing, 1);
  EXPECT_EQ(KeyMap[3].Playing, 0);
  EXPECT_EQ(LiveDuplicates(), 1u);
  NoteOnMessage(99, 127); // no key has it
  EXPECT_EQ(LiveDuplicates(), 1u);
}

TEST_F(Notes, VelocitySenseOffPlaysEveryNoteOnAt127) {
  Send(AM_VELOCITYSENSE, 0, 0);
  NoteOnMessage(36, 5);
  EXPECT_EQ(KeyVoice(0).Velocity, 127);
  EXPECT_EQ(VoiceBuffer(0).volume, 0);
  NoteOffMessage(36);
  Send(AM_VELOCITYSENSE, 0, 1);
  NoteOnMessage(36, 5);
  EXPECT_EQ(KeyVoice(0).Velocity, 5);
  EXPECT_EQ(VoiceBuffer(0).volume, -1921);
}

TEST_F(Notes, ANoteOnForAPlayingKeyNeitherRestartsNorStopsIt) {
  NoteOnMessage(36, 127);
  dsemu::AdvanceFrames(44100, nullptr); // the one-shot sample has finished
  ASSERT_FALSE(VoiceBuffer(0).playing);
  dsemu::ResetCallCounts();
  NoteOnMessage(36, 127);
  EXPECT_EQ(KeyMap[0].Playing, 1);
  EXPECT_EQ(dsemu::CallCount(dsemu::Call::DuplicateSoundBuffer), 0u);
  EXPECT_EQ(dsemu::CallCount(dsemu::Call::Play), 0u);
  EXPECT_EQ(LiveDuplicates(), 1u);
  NoteOffMessage(36);
  NoteOnMessage(36, 127); // after its note-off it starts again
  EXPECT_TRUE(VoiceBuffer(0).playing);
  NoteOffMessage(36);
  NoteOffMessage(36); // a note-off for a silent key is ignored
  EXPECT_EQ(LiveDuplicates(), 0u);
}

TEST_F(Notes, LoopingKeysPlayLooping) {
  Send(AM_LOOP, 0, 1);
  NoteOnMessage(36, 127);
  EXPECT_TRUE(VoiceBuffer(0).looping);
  dsemu::AdvanceFrames(44100, nullptr);
  EXPECT_TRUE(VoiceBuffer(0).playing);
}

TEST_F(Notes, HeldKeyLatchesUntilItsNextPress) {
  NoteOnMessage(37, 127); // press: starts
  ASSERT_EQ(KeyMap[1].Playing, 1);
  NoteOffMessage(37); // release: keeps sounding
  EXPECT_EQ(KeyMap[1].Playing, 1);
  EXPECT_EQ(KeyMap[1].Released, 1);
  EXPECT_EQ(LiveDuplicates(), 1u);
  NoteOffMessage(37); // a further release changes nothing
  EXPECT_EQ(KeyMap[1].Playing, 1);
  NoteOnMessage(37, 127); // press again: stops
  ExpectSilent(1);
  EXPECT_EQ(LiveDuplicates(), 0u);
  NoteOffMessage(37); // its release only marks it
  ExpectSilent(1);
  EXPECT_EQ(KeyMap[1].Released, 1);
  NoteOnMessage(37, 127); // and the next press starts it again
  EXPECT_EQ(KeyMap[1].Playing, 1);
  EXPECT_EQ(KeyMap[1].Released, 0);
}

TEST_F(Notes, SwitchingHoldOffStopsAReleasedKeyAtOnce) {
  NoteOnMessage(37, 127);
  NoteOffMessage(37);
  Send(AM_HOLD, 1, 0);
  ExpectSilent(1);
  EXPECT_EQ(KeyMap[1].Hold, 0);
  EXPECT_EQ(LiveDuplicates(), 0u);
}

TEST_F(Notes, SwitchingHoldOffLeavesAPressedKeyToItsNoteOff) {
  NoteOnMessage(37, 127);
  Send(AM_HOLD, 1, 0);
  EXPECT_EQ(KeyMap[1].Playing, 1);
  NoteOffMessage(37);
  ExpectSilent(1);
  // And switching hold on makes a plain key latch.
  Send(AM_HOLD, 0, 1);
  NoteOnMessage(36, 127);
  NoteOffMessage(36);
  EXPECT_EQ(KeyMap[0].Playing, 1);
}

TEST_F(Notes, AllNotesOffStopsHeldKeysTooAndKeepsTheirHold) {
  NoteOnMessage(36, 127);
  NoteOnMessage(37, 127);
  EXPECT_EQ(AllNotesOff(0), 0);
  ExpectSilent(0);
  ExpectSilent(1);
  EXPECT_EQ(KeyMap[1].Hold, 1);
  EXPECT_EQ(ActiveVoices(), 0u);
  EXPECT_EQ(LiveDuplicates(), 0u);
}

TEST_F(Notes, AllNotesOffWithNothingSoundingCallsNoDevice) {
  dsemu::ResetCallCounts();
  EXPECT_EQ(AllNotesOff(12345), 0);
  EXPECT_EQ(dsemu::CallCount(dsemu::Call::Stop), 0u);
  EXPECT_TRUE(boxes.calls().empty());
}

TEST_F(Notes, TwentyFiveVoicesAtMostAndTheNextNoteOnWaitsForAFreeOne) {
  std::vector<KeyRecord> keys;
  for (int32_t k = 0; k < ZA32_KEYS; ++k) {
    keys.push_back(Key(file, 100 + k));
  }
  Install(keys);
  for (WORD k = 0; k < ZA32_KEYS; ++k) {
    NoteOnMessage(100 + k, 127);
  }
  EXPECT_EQ(ActiveVoices(), 25u);
  EXPECT_EQ(LiveDuplicates(), 25u);
  // Voices are taken by every key in turn, lowest first.
  for (int32_t k = 0; k < ZA32_KEYS; ++k) {
    EXPECT_EQ(KeyMap[k].Voice, k);
  }
  // A voice taken without a key that could free it (only a test can do that) leaves
  // a note-on with no voice: dropped silently.
  NoteOffMessage(110);
  VoiceTable[10].Active = 1;
  NoteOnMessage(110, 127);
  ExpectSilent(10);
  EXPECT_EQ(LiveDuplicates(), 24u);
  EXPECT_TRUE(boxes.calls().empty());
  VoiceTable[10].Active = 0;
  NoteOnMessage(110, 127);
  EXPECT_EQ(KeyMap[10].Playing, 1);
  EXPECT_EQ(KeyMap[10].Voice, 10);
}

TEST_F(Notes, KeysWithoutASampleIgnoreNotes) {
  Install({Key(dir.file("missing.wav"), 36)});
  boxes.clear();
  ASSERT_EQ(KeyMap[0].SampleNumber, -1);
  dsemu::ResetCallCounts();
  NoteOnMessage(36, 127);
  NoteOffMessage(36);
  ExpectSilent(0);
  EXPECT_EQ(dsemu::CallCount(dsemu::Call::DuplicateSoundBuffer), 0u);
  EXPECT_TRUE(boxes.calls().empty());
}

TEST_F(Notes, ASampleNumberBeyondTheListStartsNothing) {
  KeyMap[0].SampleNumber = 5;
  NoteOnMessage(36, 127);
  ExpectSilent(0);
  EXPECT_EQ(ActiveVoices(), 0u);
  EXPECT_TRUE(boxes.calls().empty());
}

// --- device failures -------------------------------------------------------------

void ExpectBox(const MessageBoxRecorder& boxes, const char* text) {
  ASSERT_EQ(boxes.calls().size(), 1u);
  EXPECT_EQ(boxes.calls()[0].text, text);
  EXPECT_EQ(boxes.calls()[0].caption, "ZA32");
  EXPECT_EQ(boxes.calls()[0].type, static_cast<UINT>(MB_OK));
  EXPECT_EQ(boxes.calls()[0].owner, EngineWindow);
}

TEST_F(Notes, FailedDuplicateLeavesTheKeySilentAndTheVoiceFree) {
  dsemu::FailNext(dsemu::Call::DuplicateSoundBuffer, DSERR_OUTOFMEMORY);
  NoteOnMessage(36, 127);
  ExpectBox(boxes, "Cannot create duplicate buffer");
  ExpectSilent(0);
  EXPECT_EQ(ActiveVoices(), 0u);
  EXPECT_EQ(LiveDuplicates(), 0u);
  NoteOnMessage(36, 127); // the next note-on works
  EXPECT_EQ(KeyMap[0].Playing, 1);
}

TEST_F(Notes, FailedSetCurrentPositionLeavesTheKeyPlayingWithoutSound) {
  dsemu::FailNext(dsemu::Call::SetCurrentPosition, DSERR_INVALIDCALL);
  NoteOnMessage(36, 127);
  ExpectBox(boxes, "Cannot set current position");
  EXPECT_EQ(KeyMap[0].Playing, 1);
  EXPECT_EQ(VoiceTable[0].Active, 1);
  EXPECT_FALSE(VoiceBuffer(0).playing);
  NoteOffMessage(36);
  ExpectSilent(0);
  EXPECT_EQ(LiveDuplicates(), 0u);
}

TEST_F(Notes, FailedGetStatusLeavesTheKeyPlayingWithoutSoundAndSaysNothing) {
  dsemu::FailNext(dsemu::Call::GetStatus, DSERR_INVALIDPARAM);
  NoteOnMessage(36, 127);
  EXPECT_TRUE(boxes.calls().empty());
  EXPECT_EQ(KeyMap[0].Playing, 1);
  EXPECT_EQ(VoiceTable[0].Active, 1);
  EXPECT_FALSE(VoiceBuffer(0).playing);
  NoteOffMessage(36);
  EXPECT_EQ(LiveDuplicates(), 0u);
}

TEST_F(Notes, FailedPlayReleasesTheDuplicateAndFreesTheVoice) {
  dsemu::FailNext(dsemu::Call::Play, DSERR_BUFFERLOST);
  NoteOnMessage(36, 127);
  ExpectBox(boxes, "Cannot start playing");
  ExpectSilent(0);
  EXPECT_EQ(VoiceTable[0].Active, 0);
  EXPECT_EQ(LiveDuplicates(), 0u);
}

TEST_F(Notes, IgnoredResultsOfVolumePanAndFrequencyLetTheVoiceStart) {
  dsemu::FailNext(dsemu::Call::SetVolume, DSERR_CONTROLUNAVAIL);
  dsemu::FailNext(dsemu::Call::SetPan, DSERR_CONTROLUNAVAIL);
  dsemu::FailNext(dsemu::Call::SetFrequency, DSERR_CONTROLUNAVAIL);
  Send(AM_NOTEPITCH, 0, 72);
  NoteOnMessage(36, 64);
  EXPECT_TRUE(boxes.calls().empty());
  EXPECT_EQ(KeyMap[0].Playing, 1);
  EXPECT_TRUE(VoiceBuffer(0).playing);
  EXPECT_EQ(KeyVoice(0).Volume, -992); // the engine holds the level the device refused
}

TEST_F(Notes, FailedStopStillFreesTheVoiceAndReleasesTheDuplicate) {
  NoteOnMessage(36, 127);
  dsemu::FailNext(dsemu::Call::Stop, DSERR_GENERIC);
  NoteOffMessage(36);
  ExpectBox(boxes, "Error stopping playback");
  ExpectSilent(0);
  EXPECT_EQ(KeyMap[0].Released, 1);
  EXPECT_EQ(VoiceTable[0].Active, 0);
  EXPECT_EQ(LiveDuplicates(), 0u);
}

TEST_F(Notes, ANoteOnAfterTheDeviceClosedIsReportedNotFollowed) {
  AudioTerm(0);
  ASSERT_EQ(SoundDevice, nullptr);
  NoteOn(0, 127); // the window ignores the message itself without a device
  ExpectBox(boxes, "Cannot create duplicate buffer");
  ExpectSilent(0);
  EXPECT_EQ(ActiveVoices(), 0u);
}

// --- messages handled while a failure box is open -------------------------------

TEST_F(Notes, ANoteOffInsideTheFailedPlayBoxFindsTheKeyAlreadySilent) {
  boxes.whileOpen([this](const MessageBoxCall&) {
    Post(AM_NOTE, 36, 0);
    Pump();
  });
  dsemu::FailNext(dsemu::Call::Play, DSERR_BUFFERLOST);
  NoteOnMessage(36, 127);
  ASSERT_EQ(boxes.calls().size(), 1u);
  ExpectSilent(0);
  EXPECT_EQ(VoiceTable[0].Active, 0);
  EXPECT_EQ(LiveDuplicates(), 0u);
}

TEST_F(Notes, ANoteOnInsideTheFailedPlayBoxStartsTheKeyForGood) {
  boxes.whileOpen([this](const MessageBoxCall&) {
    Post(AM_NOTE, 36, 127);
    Pump();
  });
  dsemu::FailNext(dsemu::Call::Play, DSERR_BUFFERLOST);
  NoteOnMessage(36, 127);
  ASSERT_EQ(boxes.calls().size(), 1u);
  // The failed start was undone before the box, so the second start stands.
  EXPECT_EQ(KeyMap[0].Playing, 1);
  EXPECT_EQ(VoiceTable[KeyMap[0].Voice].Active, 1);
  EXPECT_TRUE(VoiceBuffer(0).playing);
  EXPECT_EQ(LiveDuplicates(), 1u);
  EXPECT_EQ(ActiveVoices(), 1u);
}

TEST_F(Notes, NotesInsideTheFailedStopBoxSeeTheKeyStopped) {
  NoteOnMessage(36, 127);
  boxes.whileOpen([this](const MessageBoxCall&) {
    Post(AM_NOTE, 36, 0);  // ignored: already silent
    Post(AM_NOTE, 36, 90); // starts it again
    Pump();
  });
  dsemu::FailNext(dsemu::Call::Stop, DSERR_GENERIC);
  NoteOffMessage(36);
  ASSERT_EQ(boxes.calls().size(), 1u);
  EXPECT_EQ(KeyMap[0].Playing, 1);
  EXPECT_EQ(KeyVoice(0).Velocity, 90);
  EXPECT_EQ(LiveDuplicates(), 1u);
  EXPECT_EQ(ActiveVoices(), 1u);
}

TEST_F(Notes, ANoteOffInsideTheSetPositionBoxStopsTheKey) {
  boxes.whileOpen([this](const MessageBoxCall&) {
    Post(AM_NOTE, 36, 0);
    Pump();
  });
  dsemu::FailNext(dsemu::Call::SetCurrentPosition, DSERR_INVALIDCALL);
  NoteOnMessage(36, 127);
  ExpectSilent(0);
  EXPECT_EQ(ActiveVoices(), 0u);
  EXPECT_EQ(LiveDuplicates(), 0u);
}

TEST_F(Notes, AllNotesOffGoesOnPastAFailedStop) {
  NoteOnMessage(36, 127);
  NoteOnMessage(37, 127);
  dsemu::FailNext(dsemu::Call::Stop, DSERR_GENERIC);
  AllNotesOff(0);
  ExpectBox(boxes, "Error stopping playback");
  ExpectSilent(0);
  ExpectSilent(1);
  EXPECT_EQ(LiveDuplicates(), 0u);
}

} // namespace
