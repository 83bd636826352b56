// After AudioTerm the device is closed and, on the real system, every buffer it made is
// gone with it: the voices' duplicates and the samples' own buffers. Whatever the host
// does then must not reach them. Here the device keeps them as lost buffers, so any call
// on one shows in the device's call counts, and any release in its live buffer count.
#include "session.h"

#include "samples/samples.h"

namespace {

class AfterTerm : public SessionTest {
protected:
  void SetUp() override {
    SessionTest::SetUp();
    ASSERT_NE(StartEngine(), nullptr);
    a = Wav("a.wav");
    b = Wav("b.wav");
    Install({Key(a, 36), Key(b, 38), Key(a, 40)});
    NoteOnMessage(36, 100);
    NoteOnMessage(38, 100);
    ASSERT_EQ(ActiveVoices(), 2u);
    ASSERT_EQ(AudioTerm(0), 0);
    ASSERT_EQ(SoundDevice, nullptr);
    calls = TakeCallCounts();
    buffers = dsemu::LiveBufferCount();
    ASSERT_EQ(buffers, 4u) << "two samples' buffers and two duplicates, lost with the device";
  }

  void TearDown() override {
    DestroyLostBuffers();
    SessionTest::TearDown();
  }

  // Nothing reached a buffer of the closed device.
  void ExpectDeviceUntouched() {
    const CallCounts now = TakeCallCounts();
    for (size_t call = 0; call < now.size(); ++call)
      EXPECT_EQ(now[call], calls[call]) << CallName(static_cast<dsemu::Call>(call));
    EXPECT_EQ(dsemu::LiveBufferCount(), buffers) << "a buffer of the closed device was released";
  }

  std::string a, b;
  CallCounts calls{};
  size_t buffers = 0;
};

TEST_F(AfterTerm, AllNotesOffSilencesTheKeysWithoutTouchingTheirDuplicates) {
  EXPECT_EQ(AllNotesOff(0), 0);
  EXPECT_EQ(KeyMap[0].Playing, 0);
  EXPECT_EQ(KeyMap[1].Playing, 0);
  EXPECT_EQ(ActiveVoices(), 0u);
  EXPECT_TRUE(boxes.calls().empty());
  ExpectDeviceUntouched();
}

TEST_F(AfterTerm, MessagesDoNothing) {
  Send(AM_NOTE, 36, 0);
  Send(AM_HOLD, 1, 0);
  Send(AM_VOLUME, 0, 10);
  Send(AM_PAN, 1, 0);
  Send(AM_BEND, 0, 127);
  Send(AM_LOOP, 0, 1);
  Send(AM_MUTE, 1, 1);
  Send(AM_NOTEPITCH, 0, 72);
  Send(AM_NOTE, 40, 100);
  EXPECT_EQ(KeyMap[0].Playing, 1) << "the note-off was not handled";
  EXPECT_EQ(KeyMap[2].Playing, 0) << "no key starts without a device";
  EXPECT_EQ(ActiveVoices(), 2u);
  ExpectDeviceUntouched();
}

TEST_F(AfterTerm, UpdateKeyStopsTheKeyAndUnloadsItsSampleWithoutReleasingTheBuffer) {
  // Key 1 alone names b.wav: its sample goes, and a.wav, named by keys 0 and 2, stays.
  const size_t blocks = emul::LiveGlobalBlocks();
  EXPECT_EQ(Update(Key("", 38), 1), 0);
  EXPECT_EQ(KeyMap[1].Playing, 0);
  EXPECT_EQ(KeyMap[1].SampleNumber, -1);
  EXPECT_EQ(ActiveVoices(), 1u);
  EXPECT_EQ(CountLoaded(), 1u);
  EXPECT_EQ(emul::LiveGlobalBlocks(), blocks - 3) << "record, format and data are freed";
  EXPECT_EQ(KeyMap[0].SampleNumber, 0);
  EXPECT_TRUE(boxes.calls().empty());
  ExpectDeviceUntouched();
}

TEST_F(AfterTerm, LoadingFailsWithAMessageAndTheKeyFallsBack) {
  const std::string c = Wav("c.wav");
  EXPECT_EQ(Update(Key(c, 38), 1), -1);
  // b.wav went with the old record and cannot come back either.
  ASSERT_EQ(boxes.calls().size(), 2u);
  EXPECT_EQ(boxes.calls()[0].text, "Could not initialise " + c);
  EXPECT_EQ(boxes.calls()[1].text, "Could not initialise " + b);
  EXPECT_STREQ(KeyMap[1].SampleName, b.c_str());
  EXPECT_EQ(KeyMap[1].SampleNumber, -1);
  EXPECT_EQ(CountLoaded(), 1u);
  ExpectDeviceUntouched();
}

TEST_F(AfterTerm, InitialiseKeyMapFreesTheVoicesAndKeepsTheLoadedSamples) {
  const std::string c = Wav("c.wav");
  Install({Key(a, 36), Key(c, 38)});
  EXPECT_EQ(ActiveVoices(), 0u);
  EXPECT_EQ(KeyMap[0].SampleNumber, 0) << "a.wav is still loaded";
  EXPECT_EQ(KeyMap[1].SampleNumber, -1);
  ASSERT_EQ(boxes.calls().size(), 1u);
  EXPECT_EQ(boxes.calls()[0].text, "Could not initialise " + c);
  ExpectDeviceUntouched();
}

TEST_F(AfterTerm, TheRateTestReturnsZeroAtOnce) {
  const size_t blocks = emul::LiveGlobalBlocks();
  EXPECT_EQ(StartTest(0, 5), 0);
  EXPECT_EQ(emul::LiveGlobalBlocks(), blocks);
  EXPECT_TRUE(boxes.calls().empty());
  ExpectDeviceUntouched();
}

TEST_F(AfterTerm, AuditionsNeitherPlayNorReleaseAnything) {
  // a.wav is named by a key, so there is nothing to load: but no buffer to play either.
  EXPECT_EQ(StartAudition(a.c_str()), 0);
  EXPECT_EQ(AuditionSample, nullptr);
  const std::string c = Wav("c.wav");
  EXPECT_EQ(StartAudition(c.c_str()), -1);
  ASSERT_EQ(boxes.calls().size(), 1u);
  EXPECT_EQ(boxes.calls()[0].text, "Could not initialise " + c);
  EXPECT_EQ(StopAudition(0), 1);
  EXPECT_EQ(CountLoaded(), 2u);
  ExpectDeviceUntouched();
}

TEST_F(AfterTerm, AudioInitAgainKeepsTheDeviceClosed) {
  EXPECT_EQ(AudioInit(TestInstance, host), EngineWindow);
  EXPECT_EQ(SoundDevice, nullptr);
  EXPECT_EQ(AllNotesOff(0), 0);
  ExpectDeviceUntouched();
}

class AuditionAfterTerm : public SessionTest {
protected:
  void TearDown() override {
    DestroyLostBuffers();
    SessionTest::TearDown();
  }
};

TEST_F(AuditionAfterTerm, StopAuditionUnloadsTheSampleWithoutTouchingItsBuffer) {
  ASSERT_NE(StartEngine(), nullptr);
  ASSERT_EQ(StartAudition(Wav("c.wav").c_str()), 1);
  ASSERT_EQ(AudioTerm(0), 0);
  const CallCounts calls = TakeCallCounts();
  const size_t buffers = dsemu::LiveBufferCount();
  EXPECT_EQ(StopAudition(0), 1);
  EXPECT_EQ(AuditionSample, nullptr);
  EXPECT_EQ(CountLoaded(), 0u);
  EXPECT_EQ(emul::LiveGlobalBlocks(), globalBlocksAtStart) << "the sample's blocks are freed";
  EXPECT_EQ(TotalCalls(TakeCallCounts()), TotalCalls(calls));
  EXPECT_EQ(dsemu::LiveBufferCount(), buffers) << "its buffer went with the device";
  EXPECT_TRUE(boxes.calls().empty());
}

} // namespace
