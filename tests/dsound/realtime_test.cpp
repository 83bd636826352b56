// The real-time clocks: the null output paced by the wall clock, and the fall-back to it
// when no audio device can be opened. Kept few and short: they take real time.
#include "device_fixture.h"

#include "tests/support/jack_server.h"

#include <jack/jack.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace dsound_test {
namespace {

using Clock = std::chrono::steady_clock;

class RealTime : public DeviceTest {
protected:
  void SetUp() override {
    dsemu::ClearFaults();
    dsemu::SelectOutput(dsemu::Output::Null);
    ASSERT_EQ(DirectSoundCreate(nullptr, &device, nullptr), DS_OK);
    dsemu::SelectOutput(dsemu::Output::Manual);
    ASSERT_EQ(device->SetCooperativeLevel(FakeWindow(), DSSCL_PRIORITY), DS_OK);
  }

  // The moment the cursor next moves, and where to.
  static std::pair<Clock::time_point, DWORD> NextStep(IDirectSoundBuffer* buffer) {
    const DWORD from = PlayCursor(buffer);
    for (;;) {
      const DWORD now = PlayCursor(buffer);
      if (now != from)
        return {Clock::now(), now};
      std::this_thread::yield();
    }
  }
};

TEST_F(RealTime, NullOutputMovesCursorsAt176400BytesASecond) {
  dsemu::Output output;
  ASSERT_TRUE(dsemu::RunningOutput(&output));
  EXPECT_EQ(output, dsemu::Output::Null);
  constexpr DWORD kBytes = 3 * 176400;
  IDirectSoundBuffer* buffer = Make(PcmFormat(2, 16, 44100), kBytes);
  ASSERT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);

  // Each sighting of a step is late by however long this thread waited to run; of a
  // few in a row, the one that sits earliest against the expected rate is the truest.
  auto earliest = [&](DWORD origin) {
    std::pair<double, double> best{0, 0}; // seconds, bytes since origin
    double bestOffset = 1e9;
    for (int i = 0; i < 5; ++i) {
      const auto [time, position] = NextStep(buffer);
      const double seconds = std::chrono::duration<double>(time.time_since_epoch()).count();
      const double bytes = (position + kBytes - origin) % kBytes;
      if (seconds - bytes / 176400 < bestOffset) {
        bestOffset = seconds - bytes / 176400;
        best = {seconds, bytes};
      }
    }
    return best;
  };
  const DWORD origin = PlayCursor(buffer);
  const auto start = earliest(origin);
  std::this_thread::sleep_for(std::chrono::seconds(2));
  const auto end = earliest(origin);
  EXPECT_NEAR((end.second - start.second) / (end.first - start.first), 176400, 176400 * 0.005);

  // A test may wait for the clock instead of sleeping.
  const uint64_t before = dsemu::ClockFrames();
  EXPECT_TRUE(dsemu::WaitForFrames(1024, 2000));
  EXPECT_GE(dsemu::ClockFrames(), before + 1024);
}

TEST(LiveOutput, FallsBackToTheNullOutputWithOneNotice) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // A driver that does not exist stands for a machine without sound.
  EXPECT_EXIT(
      {
        setenv("SDL_AUDIODRIVER", "za32-no-such-driver", 1);
        dsemu::SelectOutput(dsemu::Output::Live);
        bool fellBack = true;
        for (int i = 0; i < 2; ++i) {
          IDirectSound* device = nullptr;
          if (DirectSoundCreate(nullptr, &device, nullptr) != DS_OK)
            std::exit(2);
          dsemu::Output output = dsemu::Output::Live;
          fellBack = fellBack && dsemu::RunningOutput(&output) && output == dsemu::Output::Null &&
                     dsemu::WaitForFrames(256, 2000);
          device->Release();
        }
        std::exit(fellBack ? 0 : 1);
      },
      testing::ExitedWithCode(0),
      "^za32: no audio output device \\([^\n]*\\); sound goes to the null output, paced by "
      "the wall clock\n$");
}

TEST(RealTimeClock, AProcessMayEndWithItsDeviceOpen) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        dsemu::SelectOutput(dsemu::Output::Null);
        IDirectSound* device = nullptr;
        if (DirectSoundCreate(nullptr, &device, nullptr) != DS_OK)
          std::exit(2);
        WAVEFORMATEX format = PcmFormat(2, 16, 30000);
        DSBUFFERDESC desc = SecondaryDesc(&format, 4000);
        IDirectSoundBuffer* buffer = nullptr;
        device->CreateSoundBuffer(&desc, &buffer, nullptr);
        buffer->Play(0, 0, DSBPLAY_LOOPING);
        dsemu::WaitForFrames(512, 2000);
        std::exit(0); // with the mixer thread running
      },
      testing::ExitedWithCode(0), "");
}

TEST(JackOutput, WithoutAServerTheDeviceCannotStartAndSaysWhy) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        setenv("JACK_DEFAULT_SERVER", "za32-no-such-server", 1);
        dsemu::SelectOutput(dsemu::Output::Jack);
        IDirectSound* device = nullptr;
        const HRESULT created = DirectSoundCreate(nullptr, &device, nullptr);
        std::exit(created == DSERR_NODRIVER && !device && dsemu::LiveDeviceCount() == 0 &&
                          !dsemu::RunningOutput(nullptr)
                      ? 0
                      : 1);
      },
      testing::ExitedWithCode(0), "za32: cannot open the jack output: no JACK server is running");
}

// What a JACK client of the host's own (its MIDI input) sees as JACK's frame time now is
// the output frame being heard now.
TEST(JackOutputRealTime, JackFrameTimesConvertToOutputFrames) {
  JackServer server;
  if (!server.ready())
    GTEST_SKIP() << "no JACK server could be started (jackd -d dummy)";
  dsemu::SelectOutput(dsemu::Output::Jack);
  IDirectSound* device = nullptr;
  ASSERT_EQ(DirectSoundCreate(nullptr, &device, nullptr), DS_OK);
  dsemu::SelectOutput(dsemu::Output::Manual);
  EXPECT_EQ(dsemu::RunningPeriod(), 128u);
  EXPECT_EQ(dsemu::CommandLatency(), 128u);
  jack_status_t status;
  jack_client_t* client = jack_client_open("za32-midi-test", JackNoStartServer, &status);
  ASSERT_NE(client, nullptr);
  ASSERT_TRUE(dsemu::WaitForFrames(1024, 5000));
  uint64_t converted = 0;
  const uint64_t before = dsemu::OutputFrameNow();
  const jack_nframes_t now = jack_last_frame_time(client) + jack_frames_since_cycle_start(client);
  const uint64_t after = dsemu::OutputFrameNow();
  ASSERT_TRUE(dsemu::OutputFrameOfJackTime(now, &converted));
  EXPECT_GE(converted, before);
  EXPECT_LE(converted, after + 128); // the next period may be late to start
  jack_client_close(client);
  device->Release();
  EXPECT_FALSE(dsemu::OutputFrameOfJackTime(now, &converted));
}

} // namespace
} // namespace dsound_test
