// The engine's thread working the device while the real-time clock mixes on its own:
// run under ThreadSanitizer, any unguarded state shared between them is reported.
#include "platform/emul/dsound/device_control.h"
#include "tests/dsound/device_fixture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

namespace {

TEST(DeviceThreads, EngineCallsWhileTheMixerThreadMixes) {
  for (dsemu::Quality quality : {dsemu::Quality::High, dsemu::Quality::Fast}) {
    dsemu::SelectQuality(quality);
    dsemu::SelectOutput(dsemu::Output::Null);
    IDirectSound* device = nullptr;
    ASSERT_EQ(DirectSoundCreate(nullptr, &device, nullptr), DS_OK);
    ASSERT_EQ(device->SetCooperativeLevel(reinterpret_cast<HWND>(1), DSSCL_PRIORITY), DS_OK);

    WAVEFORMATEX format = dsound_test::PcmFormat(2, 16, 22050);
    DSBUFFERDESC desc = dsound_test::SecondaryDesc(&format, 4 * 2000);
    IDirectSoundBuffer* sample = nullptr;
    ASSERT_EQ(device->CreateSoundBuffer(&desc, &sample, nullptr), DS_OK);

    std::mt19937 random(3);
    std::vector<IDirectSoundBuffer*> voices;
    const uint64_t framesBefore = dsemu::ClockFrames();
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(400);
    // A host capturing from another thread as well.
    std::atomic<bool> done{false};
    std::thread observer([&] {
      while (!done) {
        for (const dsemu::BufferState& state : dsemu::LiveBuffers())
          EXPECT_LE(state.position, state.size);
        std::this_thread::yield();
      }
    });
    while (std::chrono::steady_clock::now() < until) {
      // Rewrite the sample while its duplicates play, as a reload would.
      void* region = nullptr;
      DWORD bytes = 0;
      ASSERT_EQ(sample->Lock(0, desc.dwBufferBytes, &region, &bytes, nullptr, nullptr, 0), DS_OK);
      std::memset(region, static_cast<int>(random() & 0x3F), bytes);
      ASSERT_EQ(sample->Unlock(region, bytes, nullptr, 0), DS_OK);

      IDirectSoundBuffer* voice = nullptr;
      ASSERT_EQ(device->DuplicateSoundBuffer(sample, &voice), DS_OK);
      voice->SetFrequency(5000 + random() % 190000);
      voice->SetVolume(-static_cast<LONG>(random() % 3000));
      voice->SetPan(static_cast<LONG>(random() % 20001) - 10000);
      voice->SetCurrentPosition(4 * (random() % 2000));
      voice->Play(0, 0, random() % 2 ? DSBPLAY_LOOPING : 0);
      voices.push_back(voice);
      DWORD status = 0;
      DWORD play = 0;
      for (IDirectSoundBuffer* each : voices) {
        each->GetStatus(&status);
        each->GetCurrentPosition(&play, nullptr);
      }
      if (voices.size() > 25) { // a note-off: stop and release the oldest voice
        voices.front()->Stop();
        voices.front()->Release();
        voices.erase(voices.begin());
      }
    }
    done = true;
    observer.join();
    EXPECT_TRUE(dsemu::WaitForFrames(256, 2000));
    EXPECT_GT(dsemu::ClockFrames(), framesBefore);
    for (IDirectSoundBuffer* voice : voices)
      voice->Release();
    sample->Release();
    device->Release();
    EXPECT_EQ(dsemu::LiveBufferCount(), 0u);
    EXPECT_EQ(dsemu::LiveDeviceCount(), 0u);
  }
}

} // namespace
