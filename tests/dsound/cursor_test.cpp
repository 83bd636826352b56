// Play cursors on the manual clock: they move by each buffer's frequency, wrap when
// looping, and a one-shot buffer stops at its end and returns to the start.
#include "device_fixture.h"

namespace dsound_test {
namespace {

class Cursors : public DeviceTest {};

TEST_F(Cursors, MoveByTheBufferFrequency) {
  WAVEFORMATEX format = PcmFormat(2, 16, 44100);
  IDirectSoundBuffer* same = Make(format, 44100 * 4);
  IDirectSoundBuffer* half = Duplicate(same);
  IDirectSoundBuffer* stopped = Duplicate(same);
  ASSERT_EQ(half->SetFrequency(22050), DS_OK);
  ASSERT_EQ(same->Play(0, 0, 0), DS_OK);
  ASSERT_EQ(half->Play(0, 0, 0), DS_OK);
  dsemu::AdvanceFrames(1000, nullptr);
  EXPECT_EQ(PlayCursor(same), 4000u);
  EXPECT_EQ(PlayCursor(half), 2000u);
  EXPECT_EQ(PlayCursor(stopped), 0u);

  // The write cursor runs ahead of a playing buffer and sits on a stopped one.
  DWORD play = 0;
  DWORD write = 0;
  ASSERT_EQ(same->GetCurrentPosition(&play, &write), DS_OK);
  EXPECT_GT(write, play);
  ASSERT_EQ(stopped->GetCurrentPosition(&play, &write), DS_OK);
  EXPECT_EQ(write, play);

  // Stop keeps the place; Play goes on from it.
  ASSERT_EQ(same->Stop(), DS_OK);
  dsemu::AdvanceFrames(1000, nullptr);
  EXPECT_EQ(PlayCursor(same), 4000u);
  ASSERT_EQ(same->Play(0, 0, 0), DS_OK);
  dsemu::AdvanceFrames(1, nullptr);
  EXPECT_EQ(PlayCursor(same), 4004u);
}

TEST_F(Cursors, FractionsCarryWithoutDrift) {
  WAVEFORMATEX format = PcmFormat(1, 16, 30000);
  IDirectSoundBuffer* steps = Make(format, 200000);
  IDirectSoundBuffer* once = Duplicate(steps);
  ASSERT_EQ(steps->Play(0, 0, 0), DS_OK);
  for (int i = 0; i < 1000; ++i)
    dsemu::AdvanceFrames(7, nullptr);
  ASSERT_EQ(once->Play(0, 0, 0), DS_OK);
  dsemu::AdvanceFrames(7000, nullptr);
  // 7,000 output frames at 30,000 / 44,100 make 4,761.9 source frames however they are
  // taken, and the first buffer has had 14,000: 9,523.8.
  EXPECT_EQ(PlayCursor(steps), 9523u * 2);
  EXPECT_EQ(PlayCursor(once), 4761u * 2);
}

TEST_F(Cursors, LoopingWrapsAndOneShotStopsAtItsEnd) {
  // 22,050 Hz, N frames: a one-shot play lasts exactly 2N output frames.
  constexpr DWORD kFrames = 1001;
  WAVEFORMATEX format = PcmFormat(1, 16, 22050);
  IDirectSoundBuffer* oneShot = Make(format, kFrames * 2);
  IDirectSoundBuffer* looping = Duplicate(oneShot);
  ASSERT_EQ(oneShot->Play(0, 0, 0), DS_OK);
  ASSERT_EQ(looping->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
  dsemu::AdvanceFrames(2 * kFrames - 1, nullptr);
  EXPECT_EQ(Status(oneShot), DWORD{DSBSTATUS_PLAYING});
  EXPECT_EQ(PlayCursor(oneShot), (kFrames - 1) * 2);
  dsemu::AdvanceFrames(1, nullptr);
  EXPECT_EQ(Status(oneShot), 0u);
  EXPECT_EQ(PlayCursor(oneShot), 0u);
  EXPECT_FALSE(State(oneShot).playing);
  EXPECT_EQ(Status(looping), DWORD{DSBSTATUS_PLAYING | DSBSTATUS_LOOPING});
  EXPECT_EQ(PlayCursor(looping), 0u); // exactly once round
  dsemu::AdvanceFrames(2 * kFrames + 10, nullptr);
  EXPECT_EQ(PlayCursor(looping), 5u * 2);

  // Far past the end in one step: still stopped at 0, and playing again starts over.
  ASSERT_EQ(oneShot->SetCurrentPosition(1000), DS_OK);
  ASSERT_EQ(oneShot->Play(0, 0, 0), DS_OK);
  dsemu::AdvanceFrames(100000, nullptr);
  EXPECT_EQ(Status(oneShot), 0u);
  EXPECT_EQ(PlayCursor(oneShot), 0u);
  ASSERT_EQ(oneShot->Play(0, 0, 0), DS_OK);
  dsemu::AdvanceFrames(2, nullptr);
  EXPECT_EQ(PlayCursor(oneShot), 2u);
}

TEST_F(Cursors, OnlyTheManualClockMovesThemByHand) {
  // Devices opened on a real-time clock ignore AdvanceFrames.
  device->Release();
  device = nullptr;
  dsemu::SelectOutput(dsemu::Output::Null);
  ASSERT_EQ(DirectSoundCreate(nullptr, &device, nullptr), DS_OK);
  dsemu::SelectOutput(dsemu::Output::Manual);
  ASSERT_EQ(device->SetCooperativeLevel(FakeWindow(), DSSCL_PRIORITY), DS_OK);
  WAVEFORMATEX format = PcmFormat(1, 16, 100);
  IDirectSoundBuffer* buffer = Make(format, 2000);
  ASSERT_EQ(buffer->Play(0, 0, 0), DS_OK);
  std::vector<int16_t> out(2 * 64, 7);
  dsemu::AdvanceFrames(64, out.data());
  for (int16_t value : out)
    EXPECT_EQ(value, 0);
  EXPECT_LT(PlayCursor(buffer), 20u); // only the wall clock moves it, 200 bytes a second
}

} // namespace
} // namespace dsound_test
