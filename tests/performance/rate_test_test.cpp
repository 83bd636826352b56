// The playback-rate test on the software device's real-time null output, which moves
// the play cursors at 44,100 frames a second of wall-clock time. These take real time:
// few and short, in suites named RealTime so that they run alone.
#include "audition_fixture.h"

#include "samples/samples.h"

#include <chrono>
#include <cstdlib>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

constexpr LONG BytesASecond = 176400;

class RateTestRealTime : public AuditionFixture {
protected:
  void SetUp() override {
    EngineTest::SetUp();
    dsemu::SelectOutput(dsemu::Output::Null);
    ASSERT_NE(StartEngine(), nullptr);
    dsemu::Output output;
    ASSERT_TRUE(dsemu::RunningOutput(&output));
    ASSERT_EQ(output, dsemu::Output::Null);
    SetPriorityClass(GetCurrentProcess(), NORMAL_PRIORITY_CLASS);
  }

  // StartTest and the wall-clock milliseconds it took.
  static LONG Run(LONG seconds, long* milliseconds) {
    const auto started = Clock::now();
    const LONG result = StartTest(0, seconds);
    *milliseconds = static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started).count());
    return result;
  }
};

// A measurement is within 0.5 % of the nominal rate. The device moves its cursors 256
// frames at a time, so a second reads 172 or 173 periods: -0.15 % or +0.43 %; a machine
// too busy to run the device's thread in time reads a period off, so a reading outside
// is measured again.
TEST_F(RateTestRealTime, OneAndTwoSecondsPlayTheNominalRateAndLeaveEverythingAsItWas) {
  const std::string a = Wav("a.wav", 44100);
  const std::string b = Wav("b.wav", 44100);
  KeyRecord looping = Key(a, 1);
  looping.Loop = 1;
  Install({looping, Key(b, 2)});
  AudioDLLWndProc(EngineWindow, AM_NOTE, 0, MAKELPARAM(1, 100));
  ASSERT_EQ(KeyMap[0].Playing, 1);
  const std::vector<std::string> samples = SampleNames();
  const size_t buffers = dsemu::LiveBufferCount();
  const size_t blocks = emul::LiveGlobalBlocks();
  const int32_t voice = KeyMap[0].Voice;
  SetPriorityClass(GetCurrentProcess(), BELOW_NORMAL_PRIORITY_CLASS);

  for (LONG seconds : {1, 2}) {
    const LONG nominal = BytesASecond * seconds;
    const LONG tolerance = nominal / 200;
    std::string readings;
    LONG played = 0;
    for (int attempt = 0; attempt < 3; ++attempt) {
      long took = 0;
      played = Run(seconds, &took);
      readings += std::to_string(played) + " ";
      EXPECT_GE(took, 1000 + 1000 * seconds) << "the settling second comes first";
      if (std::abs(played - nominal) <= tolerance)
        break;
    }
    EXPECT_NEAR(played, nominal, tolerance) << seconds << " s, readings: " << readings;
    EXPECT_EQ(GetPriorityClass(GetCurrentProcess()),
              static_cast<DWORD>(BELOW_NORMAL_PRIORITY_CLASS));
  }

  EXPECT_EQ(SampleNames(), samples);
  EXPECT_EQ(dsemu::LiveBufferCount(), buffers);
  EXPECT_EQ(emul::LiveGlobalBlocks(), blocks);
  EXPECT_EQ(GetSampleNumber(0), 0);
  EXPECT_EQ(GetSampleNumber(1), 1);
  EXPECT_EQ(KeyMap[0].Playing, 1);
  EXPECT_EQ(KeyMap[0].Voice, voice);
  EXPECT_TRUE(State(VoiceTable[voice].Buffer).playing);
  EXPECT_TRUE(boxes.calls().empty());
}

TEST_F(RateTestRealTime, NoMeasuringTimeGivesNothingAfterTheSettlingSecond) {
  long took = 0;
  EXPECT_EQ(Run(0, &took), 0);
  EXPECT_GE(took, 1000);
  EXPECT_LT(took, 3000);
  EXPECT_EQ(dsemu::LiveBufferCount(), 1u) << "only the primary buffer";
  EXPECT_EQ(GetPriorityClass(GetCurrentProcess()), static_cast<DWORD>(NORMAL_PRIORITY_CLASS));
}

// The test runs at high priority; a playback that never starts measures nothing.
TEST_F(RateTestRealTime, APlaybackThatCannotStartMeasuresNothingAtHighPriority) {
  DWORD priorityInBox = 0;
  boxes.whileOpen(
      [&](const MessageBoxCall&) { priorityInBox = GetPriorityClass(GetCurrentProcess()); });
  dsemu::FailNext(dsemu::Call::Play, DSERR_BUFFERLOST);
  long took = 0;
  EXPECT_EQ(Run(1, &took), 0);
  EXPECT_GE(took, 2000);
  ASSERT_EQ(boxes.calls().size(), 1u);
  EXPECT_EQ(boxes.calls()[0].text, "Cannot start playing");
  EXPECT_EQ(boxes.calls()[0].owner, EngineWindow);
  EXPECT_EQ(priorityInBox, static_cast<DWORD>(HIGH_PRIORITY_CLASS));
  EXPECT_EQ(GetPriorityClass(GetCurrentProcess()), static_cast<DWORD>(NORMAL_PRIORITY_CLASS));
  EXPECT_EQ(dsemu::LiveBufferCount(), 1u);
}

// These fail at once and wait for nothing.
TEST_F(RateTestRealTime, NoDataBlockOrNoBufferGivesNothingAndRestoresThePriority) {
  SetPriorityClass(GetCurrentProcess(), ABOVE_NORMAL_PRIORITY_CLASS);
  const size_t blocks = emul::LiveGlobalBlocks();
  long took = 0;

  emul::FailNth(emul::SystemCall::GlobalAlloc, 1);
  dsemu::ResetCallCounts();
  EXPECT_EQ(Run(5, &took), 0);
  EXPECT_LT(took, 1000);
  EXPECT_EQ(dsemu::CallCount(dsemu::Call::CreateSoundBuffer), 0u);

  dsemu::FailNext(dsemu::Call::CreateSoundBuffer, DSERR_OUTOFMEMORY);
  EXPECT_EQ(Run(5, &took), 0);
  EXPECT_LT(took, 1000);

  // A buffer made but not filled goes again.
  dsemu::FailNext(dsemu::Call::Lock, DSERR_INVALIDCALL);
  EXPECT_EQ(Run(5, &took), 0);
  EXPECT_LT(took, 1000);

  EXPECT_TRUE(boxes.calls().empty());
  EXPECT_EQ(dsemu::LiveBufferCount(), 1u);
  EXPECT_EQ(emul::LiveGlobalBlocks(), blocks);
  EXPECT_EQ(GetPriorityClass(GetCurrentProcess()), static_cast<DWORD>(ABOVE_NORMAL_PRIORITY_CLASS));
}

} // namespace
