// Auditioning files on the software device (manual clock): sharing samples with the
// keys by name, loading and unloading, the sample limit, restarting a playing sample,
// failures of the device, a second audition, and the exports after AudioTerm.
#include "audition_fixture.h"

#include "samples/samples.h"

namespace {

class Audition : public AuditionFixture {
protected:
  void SetUp() override {
    AuditionFixture::SetUp();
    a = Wav("a.wav");
    b = Wav("b.wav");
    x = Wav("x.wav");
  }

  // The audition's own buffer plays looping, and only it.
  static void ExpectAuditioned(SampleRecord* sample) {
    ASSERT_NE(sample, nullptr);
    EXPECT_EQ(AuditionSample, sample);
    EXPECT_EQ(sample->Looping, 1);
    EXPECT_EQ(sample->Playing, 1);
    dsemu::BufferState state = State(sample->Buffer);
    EXPECT_TRUE(state.playing);
    EXPECT_TRUE(state.looping);
  }

  std::string a, b, x;
};

TEST_F(Audition, StopWithoutAnAuditionDoesNothing) {
  Install({Key(a, 1)});
  dsemu::ResetCallCounts();
  EXPECT_EQ(StopAudition(0), 1);
  EXPECT_EQ(dsemu::CallCount(dsemu::Call::Stop), 0u);
  EXPECT_EQ(SampleNames(), std::vector<std::string>{a});
}

TEST_F(Audition, AKeysFilePlaysTheKeysSampleAndStaysLoaded) {
  Install({Key(a, 1), Key(b, 2)});
  const size_t buffers = dsemu::LiveBufferCount();

  EXPECT_EQ(StartAudition(b.c_str()), 0);
  EXPECT_EQ(SampleNames(), (std::vector<std::string>{a, b}));
  EXPECT_EQ(dsemu::LiveBufferCount(), buffers) << "nothing is loaded for the audition";
  ExpectAuditioned(SampleAt(1));
  // The key plays a duplicate while the audition plays the sample's own buffer.
  AudioDLLWndProc(EngineWindow, AM_NOTE, 0, MAKELPARAM(2, 100));
  ASSERT_EQ(KeyMap[1].Playing, 1);

  EXPECT_EQ(StopAudition(0), 1);
  EXPECT_EQ(AuditionSample, nullptr);
  EXPECT_EQ(SampleNames(), (std::vector<std::string>{a, b}));
  EXPECT_EQ(GetSampleNumber(1), 1);
  EXPECT_FALSE(State(SampleAt(1)->Buffer).playing);
  EXPECT_EQ(SampleAt(1)->Playing, 0);
  EXPECT_TRUE(State(VoiceTable[KeyMap[1].Voice].Buffer).playing) << "the key's voice sounds on";
  EXPECT_TRUE(boxes.calls().empty());
}

TEST_F(Audition, ANewFileIsLoadedAndUnloadedAndLaterSamplesMoveDown) {
  Install({Key(a, 1)});
  const size_t buffers = dsemu::LiveBufferCount();
  const size_t blocks = emul::LiveGlobalBlocks();

  EXPECT_EQ(StartAudition(x.c_str()), 1);
  EXPECT_EQ(SampleNames(), (std::vector<std::string>{a, x}));
  ExpectAuditioned(SampleAt(1));
  EXPECT_EQ(boxes.calls().size(), 0u);
  // A key loaded while the audition runs comes after it.
  KeyRecord key = Key(b, 2);
  ASSERT_EQ(UpdateKey(&key, 1), 1);
  ASSERT_EQ(GetSampleNumber(1), 2);

  EXPECT_EQ(StopAudition(0), 1);
  EXPECT_EQ(AuditionSample, nullptr);
  EXPECT_EQ(SampleNames(), (std::vector<std::string>{a, b}));
  EXPECT_EQ(GetSampleNumber(0), 0);
  EXPECT_EQ(GetSampleNumber(1), 1);
  // The audition's buffer and blocks are gone; b's are the only new ones.
  EXPECT_EQ(dsemu::LiveBufferCount(), buffers + 1);
  EXPECT_EQ(emul::LiveGlobalBlocks(), blocks + 3);
  EXPECT_TRUE(boxes.calls().empty());
}

TEST_F(Audition, AFileThatCannotBeLoadedIsReportedAndNothingPlays) {
  Install({Key(a, 1)});
  const std::string missing = dir.file("nowhere.wav");
  dsemu::ResetCallCounts();

  EXPECT_EQ(StartAudition(missing.c_str()), -1);
  ASSERT_EQ(boxes.calls().size(), 1u);
  EXPECT_EQ(boxes.calls()[0].text,
            "Cannot load " + missing + "\nIt may be in another directory or CD-Rom");
  EXPECT_EQ(boxes.calls()[0].owner, host);
  EXPECT_EQ(boxes.calls()[0].type, static_cast<UINT>(MB_ICONERROR));
  EXPECT_EQ(AuditionSample, nullptr);
  EXPECT_EQ(dsemu::CallCount(dsemu::Call::Play), 0u);
  EXPECT_EQ(SampleNames(), std::vector<std::string>{a});
  EXPECT_EQ(StopAudition(0), 1);
  EXPECT_EQ(SampleNames(), std::vector<std::string>{a});
}

TEST_F(Audition, AnEmptyNameIsNoKeysFile) {
  Install({Key(a, 1)}); // keys 1 to 24 have empty names
  EXPECT_EQ(StartAudition(""), -1);
  EXPECT_EQ(BoxTexts(),
            std::vector<std::string>{"Cannot load \nIt may be in another directory or CD-Rom"});
  EXPECT_EQ(AuditionSample, nullptr);
}

TEST_F(Audition, AtTheSampleLimitOnlyAKeysFileCanBeAuditioned) {
  std::vector<KeyRecord> keys;
  for (int k = 0; k < ZA32_KEYS; ++k)
    keys.push_back(Key(Wav("k" + std::to_string(k) + ".wav", 64), k + 1));
  Install(keys);
  const std::string left = Wav("left.wav", 64);
  ASSERT_EQ(LoadSample(left.c_str()), 1);
  ASSERT_EQ(CountSamples(&SampleList), ZA32_MAX_SAMPLES);
  const std::vector<std::string> full = SampleNames();

  EXPECT_EQ(StartAudition(x.c_str()), -1);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{"No more WAV files can be loaded"});
  EXPECT_EQ(AuditionSample, nullptr);
  EXPECT_EQ(SampleNames(), full);

  boxes.clear();
  EXPECT_EQ(StartAudition(keys[7].SampleName), 0);
  ExpectAuditioned(SampleAt(7));
  EXPECT_EQ(StopAudition(0), 1);
  EXPECT_EQ(SampleNames(), full);
  EXPECT_TRUE(boxes.calls().empty());
}

TEST_F(Audition, AnAuditionThatCannotPlayIsStillStoppedAndUnloaded) {
  Install({Key(a, 1)});
  dsemu::FailNext(dsemu::Call::Play, DSERR_BUFFERLOST);
  EXPECT_EQ(StartAudition(x.c_str()), 1);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Cannot start playing"});
  ASSERT_NE(AuditionSample, nullptr);
  EXPECT_EQ(AuditionSample->Playing, 0);
  dsemu::ResetCallCounts();
  EXPECT_EQ(StopAudition(0), 1);
  EXPECT_EQ(dsemu::CallCount(dsemu::Call::Stop), 0u) << "nothing was playing";
  EXPECT_EQ(SampleNames(), std::vector<std::string>{a});
}

TEST_F(Audition, AFailingStopIsReportedAndTheSampleStillGoes) {
  Install({Key(a, 1)});
  ASSERT_EQ(StartAudition(x.c_str()), 1);
  const size_t buffers = dsemu::LiveBufferCount();
  dsemu::FailNext(dsemu::Call::Stop, DSERR_INVALIDCALL);
  EXPECT_EQ(StopAudition(0), 1);
  ASSERT_EQ(boxes.calls().size(), 1u);
  EXPECT_EQ(boxes.calls()[0].text, "Cannot stop the sound");
  EXPECT_EQ(boxes.calls()[0].owner, EngineWindow);
  EXPECT_EQ(AuditionSample, nullptr);
  EXPECT_EQ(SampleNames(), std::vector<std::string>{a});
  EXPECT_EQ(dsemu::LiveBufferCount(), buffers - 1);
}

TEST_F(Audition, AKeyInstalledWithTheAuditionedFileSharesItsSample) {
  Install({Key(a, 1)});
  ASSERT_EQ(StartAudition(x.c_str()), 1);
  SampleRecord* sample = AuditionSample;
  KeyRecord key = Key(x, 3);
  EXPECT_EQ(UpdateKey(&key, 2), 0) << "the audition's sample is taken, not loaded again";
  EXPECT_EQ(SampleNames(), (std::vector<std::string>{a, x}));
  EXPECT_EQ(GetSampleNumber(2), 1);

  EXPECT_EQ(StopAudition(0), 1);
  EXPECT_EQ(SampleNames(), (std::vector<std::string>{a, x}));
  EXPECT_EQ(SampleAt(1), sample);
  EXPECT_EQ(GetSampleNumber(2), 1);
  EXPECT_FALSE(State(sample->Buffer).playing);
  // The key plays it.
  AudioDLLWndProc(EngineWindow, AM_NOTE, 0, MAKELPARAM(3, 100));
  EXPECT_EQ(KeyMap[2].Playing, 1);
  EXPECT_EQ(VoiceTable[KeyMap[2].Voice].Sample, sample);
}

TEST_F(Audition, ASecondAuditionEndsTheFirst) {
  Install({Key(a, 1)});
  const size_t buffers = dsemu::LiveBufferCount();
  ASSERT_EQ(StartAudition(x.c_str()), 1);

  EXPECT_EQ(StartAudition(b.c_str()), 1);
  EXPECT_EQ(dsemu::LiveBufferCount(), buffers + 1) << "the first sample's buffer is released";
  EXPECT_EQ(SampleNames(), (std::vector<std::string>{a, b}));
  ExpectAuditioned(SampleAt(1));

  // The same file again: one copy, playing from its start.
  EXPECT_EQ(StartAudition(b.c_str()), 1);
  EXPECT_EQ(SampleNames(), (std::vector<std::string>{a, b}));
  ExpectAuditioned(SampleAt(1));

  // A key's file next: the key's sample plays; the file no key names goes.
  EXPECT_EQ(StartAudition(a.c_str()), 0);
  EXPECT_EQ(SampleNames(), std::vector<std::string>{a});
  ExpectAuditioned(SampleAt(0));
  // And after it another file: the key's sample stops but stays.
  EXPECT_EQ(StartAudition(x.c_str()), 1);
  EXPECT_EQ(SampleNames(), (std::vector<std::string>{a, x}));
  EXPECT_FALSE(State(SampleAt(0)->Buffer).playing);
  EXPECT_EQ(SampleAt(0)->Playing, 0);
  ExpectAuditioned(SampleAt(1));

  EXPECT_EQ(StopAudition(0), 1);
  EXPECT_EQ(SampleNames(), std::vector<std::string>{a});
  EXPECT_EQ(dsemu::LiveBufferCount(), buffers);
  EXPECT_TRUE(boxes.calls().empty());
}

TEST_F(Audition, AFileLeftByAnEarlierKeyMapIsAuditionedFromTheCopyItLoads) {
  Install({Key(x, 1)});
  Install({Key(a, 1)}); // x stays loaded, named by no key
  SampleRecord* left = SampleAt(0);
  ASSERT_EQ(SampleNames(), (std::vector<std::string>{x, a}));

  EXPECT_EQ(StartAudition(x.c_str()), 1);
  ExpectAuditioned(SampleAt(2));
  EXPECT_FALSE(State(left->Buffer).playing);
  EXPECT_EQ(StopAudition(0), 1);
  EXPECT_EQ(SampleNames(), (std::vector<std::string>{x, a})) << "the audition leaves no copy";
  EXPECT_EQ(SampleAt(0), left);
}

TEST_F(Audition, AfterAudioTermNothingCallsTheGoneDevice) {
  Install({Key(a, 1)});
  ASSERT_EQ(StartAudition(x.c_str()), 1);
  // On Windows the buffers die with the device; the software device keeps them as lost
  // buffers, which this test releases at the end in its place.
  IDirectSoundBuffer* lost = AuditionSample->Buffer;
  AudioTerm(0);
  ASSERT_EQ(SoundDevice, nullptr);
  const size_t blocks = emul::LiveGlobalBlocks();
  dsemu::ResetCallCounts();

  EXPECT_EQ(StopAudition(0), 1);
  EXPECT_EQ(AuditionSample, nullptr);
  EXPECT_EQ(SampleNames(), std::vector<std::string>{a});
  EXPECT_EQ(emul::LiveGlobalBlocks(), blocks - 3) << "record, format and data freed";
  EXPECT_TRUE(dsemu::QueryBuffer(lost, nullptr)) << "not released through the engine";

  // A key's file finds its sample but has nothing to play it on; any other file fails
  // to load in the loader's words.
  EXPECT_EQ(StartAudition(a.c_str()), 0);
  EXPECT_EQ(AuditionSample, nullptr);
  EXPECT_EQ(StartAudition(b.c_str()), -1);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Could not initialise " + b});
  EXPECT_EQ(StartTest(0, 1), 0);
  EXPECT_EQ(StopAudition(0), 1);
  EXPECT_EQ(SampleNames(), std::vector<std::string>{a});

  unsigned deviceCalls = 0;
  for (int call = 0; call < static_cast<int>(dsemu::Call::Count_); ++call)
    deviceCalls += dsemu::CallCount(static_cast<dsemu::Call>(call));
  EXPECT_EQ(deviceCalls, 0u);
  lost->Release();
}

TEST_F(Audition, AStopDuringAudioTermLeavesAKeysSampleLoaded) {
  Install({Key(a, 1)});
  ASSERT_EQ(StartAudition(a.c_str()), 0);
  AudioTerm(0);
  dsemu::ResetCallCounts();
  EXPECT_EQ(StopAudition(0), 1);
  EXPECT_EQ(AuditionSample, nullptr);
  EXPECT_EQ(SampleNames(), std::vector<std::string>{a});
  EXPECT_EQ(dsemu::CallCount(dsemu::Call::Stop), 0u);
}

} // namespace
