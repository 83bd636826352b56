// A device on the manual clock at priority level, and helpers to make buffers on it.
// Every test ends with no device or buffer left alive.
#pragma once

#include "platform/emul/dsound/device_control.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace dsound_test {

inline WAVEFORMATEX PcmFormat(WORD channels, WORD bits, DWORD rate) {
  WAVEFORMATEX format{};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = channels;
  format.nSamplesPerSec = rate;
  format.wBitsPerSample = bits;
  format.nBlockAlign = static_cast<WORD>(channels * bits / 8);
  format.nAvgBytesPerSec = rate * format.nBlockAlign;
  return format;
}

inline DSBUFFERDESC SecondaryDesc(const WAVEFORMATEX* format, DWORD bytes,
                                  DWORD flags = DSBCAPS_STATIC | DSBCAPS_CTRLFREQUENCY |
                                                DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME) {
  DSBUFFERDESC desc{};
  desc.dwSize = sizeof(DSBUFFERDESC1);
  desc.dwFlags = flags;
  desc.dwBufferBytes = bytes;
  desc.lpwfxFormat = const_cast<WAVEFORMATEX*>(format);
  return desc;
}

inline HWND FakeWindow() {
  return reinterpret_cast<HWND>(static_cast<uintptr_t>(0x1000));
}

class DeviceTest : public ::testing::Test {
protected:
  void SetUp() override {
    dsemu::ClearFaults();
    dsemu::ResetCallCounts();
    dsemu::SelectOutput(dsemu::Output::Manual);
    ASSERT_EQ(DirectSoundCreate(nullptr, &device, nullptr), DS_OK);
    ASSERT_EQ(device->SetCooperativeLevel(FakeWindow(), DSSCL_PRIORITY), DS_OK);
  }

  void TearDown() override {
    dsemu::ClearFaults();
    for (IDirectSoundBuffer* buffer : buffers)
      buffer->Release();
    if (device)
      device->Release();
    EXPECT_EQ(dsemu::LiveBufferCount(), 0u);
    EXPECT_EQ(dsemu::LiveDeviceCount(), 0u);
  }

  // A secondary buffer released at the end of the test.
  IDirectSoundBuffer* Make(const WAVEFORMATEX& format, DWORD bytes) {
    DSBUFFERDESC desc = SecondaryDesc(&format, bytes);
    IDirectSoundBuffer* buffer = nullptr;
    EXPECT_EQ(device->CreateSoundBuffer(&desc, &buffer, nullptr), DS_OK);
    if (buffer)
      buffers.push_back(buffer);
    return buffer;
  }

  IDirectSoundBuffer* Duplicate(IDirectSoundBuffer* original) {
    IDirectSoundBuffer* copy = nullptr;
    EXPECT_EQ(device->DuplicateSoundBuffer(original, &copy), DS_OK);
    if (copy)
      buffers.push_back(copy);
    return copy;
  }

  // Fills the whole buffer through Lock/Unlock.
  void Fill(IDirectSoundBuffer* buffer, const void* bytes, DWORD size) {
    void* region = nullptr;
    DWORD regionBytes = 0;
    ASSERT_EQ(buffer->Lock(0, size, &region, &regionBytes, nullptr, nullptr, 0), DS_OK);
    ASSERT_EQ(regionBytes, size);
    std::memcpy(region, bytes, size);
    ASSERT_EQ(buffer->Unlock(region, regionBytes, nullptr, 0), DS_OK);
  }

  static dsemu::BufferState State(IDirectSoundBuffer* buffer) {
    dsemu::BufferState state{};
    EXPECT_TRUE(dsemu::QueryBuffer(buffer, &state));
    return state;
  }

  static DWORD PlayCursor(IDirectSoundBuffer* buffer) {
    DWORD play = 0xFFFFFFFF;
    EXPECT_EQ(buffer->GetCurrentPosition(&play, nullptr), DS_OK);
    return play;
  }

  static DWORD Status(IDirectSoundBuffer* buffer) {
    DWORD status = 0xFFFFFFFF;
    EXPECT_EQ(buffer->GetStatus(&status), DS_OK);
    return status;
  }

  IDirectSound* device = nullptr;
  std::vector<IDirectSoundBuffer*> buffers;
};

} // namespace dsound_test
