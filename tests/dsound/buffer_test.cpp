// Secondary buffers: the description and format checks, the controls, Lock/Unlock and
// duplicates.
#include "device_fixture.h"

#include <numeric>

namespace dsound_test {
namespace {

class Buffers : public DeviceTest {
protected:
  HRESULT TryCreate(const DSBUFFERDESC& desc) {
    IDirectSoundBuffer* buffer = reinterpret_cast<IDirectSoundBuffer*>(1);
    const HRESULT result = device->CreateSoundBuffer(&desc, &buffer, nullptr);
    if (result == DS_OK)
      buffers.push_back(buffer);
    else
      EXPECT_EQ(buffer, nullptr);
    return result;
  }

  static WAVEFORMATEXTENSIBLE Extensible(WORD channels, WORD bits, WORD valid, const GUID& sub) {
    WAVEFORMATEXTENSIBLE format{};
    format.Format = PcmFormat(channels, bits, 48000);
    format.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    format.Format.cbSize = 22;
    format.Samples.wValidBitsPerSample = valid;
    format.dwChannelMask = channels == 1 ? 0x4 : 0x3;
    format.SubFormat = sub;
    return format;
  }
};

TEST_F(Buffers, DescriptionIsChecked) {
  WAVEFORMATEX format = PcmFormat(2, 16, 44100);
  DSBUFFERDESC desc = SecondaryDesc(&format, 1024);
  IDirectSoundBuffer* buffer = nullptr;
  EXPECT_EQ(device->CreateSoundBuffer(nullptr, &buffer, nullptr), DSERR_INVALIDPARAM);
  EXPECT_EQ(device->CreateSoundBuffer(&desc, nullptr, nullptr), DSERR_INVALIDPARAM);
  EXPECT_EQ(device->CreateSoundBuffer(&desc, &buffer, reinterpret_cast<IUnknown*>(device)),
            DSERR_NOAGGREGATION);

  DSBUFFERDESC bad = desc;
  bad.dwSize = 16;
  EXPECT_EQ(TryCreate(bad), DSERR_INVALIDPARAM);
  bad = desc;
  bad.lpwfxFormat = nullptr;
  EXPECT_EQ(TryCreate(bad), DSERR_INVALIDPARAM);
  for (DWORD size : {0u, 3u, 6u, 1022u, DWORD{DSBSIZE_MAX} + 1}) {
    SCOPED_TRACE(size);
    bad = desc;
    bad.dwBufferBytes = size;
    EXPECT_EQ(TryCreate(bad), DSERR_INVALIDPARAM);
  }
  for (DWORD flags :
       {0x00100000u, DWORD{DSBCAPS_LOCHARDWARE | DSBCAPS_LOCSOFTWARE},
        DWORD{DSBCAPS_LOCSOFTWARE | DSBCAPS_LOCDEFER}, DWORD{DSBCAPS_CTRL3D | DSBCAPS_CTRLPAN}}) {
    SCOPED_TRACE(flags);
    bad = desc;
    bad.dwFlags = flags;
    EXPECT_EQ(TryCreate(bad), DSERR_INVALIDPARAM);
  }
  EXPECT_EQ(dsemu::LiveBufferCount(), 0u);

  // The smallest buffer, the 40-byte description and a 20-byte one all work.
  WAVEFORMATEX mono8 = PcmFormat(1, 8, 8000);
  DSBUFFERDESC smallest = SecondaryDesc(&mono8, DSBSIZE_MIN);
  EXPECT_EQ(TryCreate(smallest), DS_OK);
  desc.dwSize = sizeof(DSBUFFERDESC);
  EXPECT_EQ(TryCreate(desc), DS_OK);
  EXPECT_EQ(dsemu::LiveBufferCount(), 2u);
  DSBCAPS caps{};
  caps.dwSize = sizeof caps;
  ASSERT_EQ(buffers.back()->GetCaps(&caps), DS_OK);
  EXPECT_EQ(caps.dwBufferBytes, 1024u);
  EXPECT_EQ(caps.dwFlags & desc.dwFlags, desc.dwFlags);
  caps.dwSize = 0;
  EXPECT_EQ(buffers.back()->GetCaps(&caps), DSERR_INVALIDPARAM);
}

// Which formats the device takes is format_answers_test's; here, what it keeps of them.
TEST_F(Buffers, FormatBlockComesBackWhole) {
  WAVEFORMATEXTENSIBLE kept = Extensible(2, 24, 24, KSDATAFORMAT_SUBTYPE_PCM);
  IDirectSoundBuffer* buffer = Make(kept.Format, 600);
  DWORD needed = 0;
  EXPECT_EQ(buffer->GetFormat(nullptr, 0, &needed), DS_OK);
  EXPECT_EQ(needed, sizeof(WAVEFORMATEXTENSIBLE));
  WAVEFORMATEXTENSIBLE read{};
  EXPECT_EQ(buffer->GetFormat(&read.Format, sizeof(WAVEFORMATEX), nullptr), DSERR_INVALIDPARAM);
  EXPECT_EQ(buffer->GetFormat(&read.Format, sizeof read, &needed), DS_OK);
  EXPECT_TRUE(read.SubFormat == KSDATAFORMAT_SUBTYPE_PCM);
  EXPECT_EQ(read.Format.nSamplesPerSec, 48000u);
  EXPECT_EQ(buffer->GetFormat(nullptr, 0, nullptr), DSERR_INVALIDPARAM);
}

TEST_F(Buffers, ControlsNeedTheirCapabilityAndARange) {
  WAVEFORMATEX format = PcmFormat(1, 16, 22050);
  DSBUFFERDESC bare = SecondaryDesc(&format, 64, DSBCAPS_STATIC);
  IDirectSoundBuffer* plain = nullptr;
  ASSERT_EQ(device->CreateSoundBuffer(&bare, &plain, nullptr), DS_OK);
  buffers.push_back(plain);
  LONG level = 1;
  DWORD frequency = 0;
  EXPECT_EQ(plain->SetVolume(-100), DSERR_CONTROLUNAVAIL);
  EXPECT_EQ(plain->GetVolume(&level), DSERR_CONTROLUNAVAIL);
  EXPECT_EQ(plain->SetPan(100), DSERR_CONTROLUNAVAIL);
  EXPECT_EQ(plain->GetPan(&level), DSERR_CONTROLUNAVAIL);
  EXPECT_EQ(plain->SetFrequency(11025), DSERR_CONTROLUNAVAIL);
  EXPECT_EQ(plain->GetFrequency(&frequency), DSERR_CONTROLUNAVAIL);

  IDirectSoundBuffer* buffer = Make(format, 64);
  EXPECT_EQ(buffer->SetVolume(DSBVOLUME_MIN - 1), DSERR_INVALIDPARAM);
  EXPECT_EQ(buffer->SetVolume(DSBVOLUME_MAX + 1), DSERR_INVALIDPARAM);
  EXPECT_EQ(buffer->SetPan(DSBPAN_LEFT - 1), DSERR_INVALIDPARAM);
  EXPECT_EQ(buffer->SetPan(DSBPAN_RIGHT + 1), DSERR_INVALIDPARAM);
  EXPECT_EQ(buffer->SetFrequency(DSBFREQUENCY_MIN - 1), DSERR_INVALIDPARAM);
  EXPECT_EQ(buffer->SetFrequency(DSBFREQUENCY_MAX + 1), DSERR_INVALIDPARAM);
  EXPECT_EQ(buffer->GetVolume(nullptr), DSERR_INVALIDPARAM);

  EXPECT_EQ(buffer->SetVolume(-1234), DS_OK);
  EXPECT_EQ(buffer->SetPan(-5000), DS_OK);
  EXPECT_EQ(buffer->SetFrequency(DSBFREQUENCY_MAX), DS_OK);
  EXPECT_EQ(buffer->GetVolume(&level), DS_OK);
  EXPECT_EQ(level, -1234);
  EXPECT_EQ(buffer->GetPan(&level), DS_OK);
  EXPECT_EQ(level, -5000);
  EXPECT_EQ(buffer->GetFrequency(&frequency), DS_OK);
  EXPECT_EQ(frequency, DWORD{DSBFREQUENCY_MAX});
  EXPECT_EQ(buffer->SetFrequency(DSBFREQUENCY_ORIGINAL), DS_OK);
  EXPECT_EQ(buffer->GetFrequency(&frequency), DS_OK);
  EXPECT_EQ(frequency, 22050u);

  // A rate outside the range plays from the nearest end of it, and so does "original".
  for (DWORD rate : {1u, 384000u}) {
    const DWORD nearest = rate < DSBFREQUENCY_MIN ? DSBFREQUENCY_MIN : DSBFREQUENCY_MAX;
    IDirectSoundBuffer* outside = Make(PcmFormat(1, 16, rate), 64);
    EXPECT_EQ(outside->GetFrequency(&frequency), DS_OK);
    EXPECT_EQ(frequency, nearest);
    EXPECT_EQ(outside->SetFrequency(11025), DS_OK);
    EXPECT_EQ(outside->SetFrequency(DSBFREQUENCY_ORIGINAL), DS_OK);
    EXPECT_EQ(outside->GetFrequency(&frequency), DS_OK);
    EXPECT_EQ(frequency, nearest);
  }
}

TEST_F(Buffers, PlayAndPositionArgumentsAreChecked) {
  WAVEFORMATEX format = PcmFormat(2, 16, 22050);
  IDirectSoundBuffer* buffer = Make(format, 400);
  EXPECT_EQ(buffer->Play(1, 0, 0), DSERR_INVALIDPARAM);
  EXPECT_EQ(buffer->Play(0, 1, 0), DSERR_INVALIDPARAM);
  EXPECT_EQ(buffer->Play(0, 0, 0x2), DSERR_INVALIDPARAM);
  EXPECT_EQ(Status(buffer), 0u);
  EXPECT_EQ(buffer->SetCurrentPosition(400), DSERR_INVALIDPARAM);
  EXPECT_EQ(buffer->SetCurrentPosition(399), DS_OK);
  EXPECT_EQ(PlayCursor(buffer), 396u); // whole frames only
  EXPECT_EQ(buffer->SetFormat(&format), DSERR_INVALIDCALL);
  EXPECT_EQ(buffer->Initialize(device, nullptr), DSERR_ALREADYINITIALIZED);
  EXPECT_EQ(buffer->GetStatus(nullptr), DSERR_INVALIDPARAM);

  // Play on a playing buffer changes only the looping.
  ASSERT_EQ(buffer->SetCurrentPosition(0), DS_OK);
  ASSERT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
  EXPECT_EQ(Status(buffer), DWORD{DSBSTATUS_PLAYING | DSBSTATUS_LOOPING});
  dsemu::AdvanceFrames(20, nullptr);
  const DWORD position = PlayCursor(buffer);
  EXPECT_EQ(position, 40u);
  ASSERT_EQ(buffer->Play(0, 0, 0), DS_OK);
  EXPECT_EQ(Status(buffer), DWORD{DSBSTATUS_PLAYING});
  EXPECT_EQ(PlayCursor(buffer), position);
}

TEST_F(Buffers, LockGivesTwoRegionsAndUnlockStoresThem) {
  WAVEFORMATEX format = PcmFormat(1, 8, 8000);
  IDirectSoundBuffer* buffer = Make(format, 16);
  std::vector<BYTE> ramp(16);
  std::iota(ramp.begin(), ramp.end(), BYTE{1});
  Fill(buffer, ramp.data(), 16);

  void* first = nullptr;
  void* second = nullptr;
  DWORD firstBytes = 0;
  DWORD secondBytes = 0;
  ASSERT_EQ(buffer->Lock(12, 8, &first, &firstBytes, &second, &secondBytes, 0), DS_OK);
  ASSERT_EQ(firstBytes, 4u);
  ASSERT_EQ(secondBytes, 4u);
  EXPECT_EQ(static_cast<BYTE*>(first)[0], 13); // regions show the data as it is
  EXPECT_EQ(static_cast<BYTE*>(second)[0], 1);
  std::memset(first, 0xAA, 4);
  std::memset(second, 0xBB, 4);
  EXPECT_EQ(buffer->Unlock(second, 4, first, 4), DSERR_INVALIDPARAM);
  EXPECT_EQ(buffer->Unlock(first, 5, second, 4), DSERR_INVALIDPARAM);
  ASSERT_EQ(buffer->Unlock(first, 4, second, 4), DS_OK);
  EXPECT_EQ(buffer->Unlock(first, 4, second, 4), DSERR_INVALIDCALL);

  // Without a second pointer only the first region is locked.
  ASSERT_EQ(buffer->Lock(12, 8, &first, &firstBytes, nullptr, nullptr, 0), DS_OK);
  EXPECT_EQ(firstBytes, 4u);
  ASSERT_EQ(buffer->Unlock(first, 0, nullptr, 0), DS_OK);

  ASSERT_EQ(buffer->Lock(5, 0, &first, &firstBytes, &second, &secondBytes, DSBLOCK_ENTIREBUFFER),
            DS_OK);
  ASSERT_EQ(firstBytes + secondBytes, 16u);
  std::vector<BYTE> whole(16);
  std::memcpy(whole.data(), first, firstBytes);
  std::memcpy(whole.data() + firstBytes, second, secondBytes);
  ASSERT_EQ(buffer->Unlock(first, firstBytes, second, secondBytes), DS_OK);
  const std::vector<BYTE> expected = {0xBB, 0xBB, 0xBB, 0xBB, 5,    6,    7,    8,
                                      9,    10,   11,   12,   0xAA, 0xAA, 0xAA, 0xAA};
  std::vector<BYTE> rotated(whole.begin() + 11, whole.end());
  rotated.insert(rotated.end(), whole.begin(), whole.begin() + 11);
  EXPECT_EQ(rotated, expected);

  EXPECT_EQ(buffer->Lock(16, 1, &first, &firstBytes, nullptr, nullptr, 0), DSERR_INVALIDPARAM);
  EXPECT_EQ(buffer->Lock(0, 17, &first, &firstBytes, nullptr, nullptr, 0), DSERR_INVALIDPARAM);
  EXPECT_EQ(buffer->Lock(0, 0, &first, &firstBytes, nullptr, nullptr, 0), DSERR_INVALIDPARAM);
  EXPECT_EQ(buffer->Lock(0, 4, nullptr, &firstBytes, nullptr, nullptr, 0), DSERR_INVALIDPARAM);
  EXPECT_EQ(buffer->Lock(0, 4, &first, &firstBytes, nullptr, nullptr, 0x8), DSERR_INVALIDPARAM);
  EXPECT_EQ(buffer->Unlock(nullptr, 0, nullptr, 0), DSERR_INVALIDCALL);
}

TEST_F(Buffers, EightBitBuffersStartSilent) {
  WAVEFORMATEX format = PcmFormat(1, 8, 8000);
  IDirectSoundBuffer* buffer = Make(format, 8);
  void* region = nullptr;
  DWORD bytes = 0;
  ASSERT_EQ(buffer->Lock(0, 8, &region, &bytes, nullptr, nullptr, 0), DS_OK);
  for (DWORD i = 0; i < bytes; ++i)
    EXPECT_EQ(static_cast<BYTE*>(region)[i], 0x80);
  ASSERT_EQ(buffer->Unlock(region, 0, nullptr, 0), DS_OK);
}

TEST_F(Buffers, DuplicatesShareDataAndKeepTheirOwnState) {
  WAVEFORMATEX format = PcmFormat(1, 16, 22050);
  IDirectSoundBuffer* original = Make(format, 2000);
  ASSERT_EQ(original->SetVolume(-300), DS_OK);
  ASSERT_EQ(original->SetPan(200), DS_OK);
  ASSERT_EQ(original->SetFrequency(30000), DS_OK);
  ASSERT_EQ(original->SetCurrentPosition(100), DS_OK);
  ASSERT_EQ(original->Play(0, 0, DSBPLAY_LOOPING), DS_OK);

  IDirectSoundBuffer* copy = Duplicate(original);
  ASSERT_NE(copy, nullptr);
  ASSERT_NE(copy, original);
  // Settings come along; the cursor and play state start afresh.
  dsemu::BufferState state = State(copy);
  EXPECT_EQ(state.duplicateOf, original);
  EXPECT_EQ(state.volume, -300);
  EXPECT_EQ(state.pan, 200);
  EXPECT_EQ(state.frequency, 30000u);
  EXPECT_FALSE(state.playing);
  EXPECT_EQ(state.position, 0u);
  EXPECT_EQ(State(original).duplicateOf, nullptr);

  ASSERT_EQ(copy->SetVolume(-2000), DS_OK);
  ASSERT_EQ(copy->SetPan(-10000), DS_OK);
  ASSERT_EQ(copy->SetFrequency(11025), DS_OK);
  ASSERT_EQ(copy->Play(0, 0, 0), DS_OK);
  dsemu::AdvanceFrames(441, nullptr);
  EXPECT_EQ(PlayCursor(original), 100u + 300 * 2);
  EXPECT_EQ(PlayCursor(copy), 110u * 2);
  ASSERT_EQ(original->Stop(), DS_OK);
  EXPECT_EQ(Status(copy), DWORD{DSBSTATUS_PLAYING});
  EXPECT_EQ(State(original).volume, -300);
  EXPECT_EQ(State(original).pan, 200);
  EXPECT_EQ(State(original).frequency, 30000u);

  // Data written through either is the data of both.
  std::vector<BYTE> pattern(2000, 0x5A);
  Fill(copy, pattern.data(), 2000);
  void* region = nullptr;
  DWORD bytes = 0;
  ASSERT_EQ(original->Lock(0, 2000, &region, &bytes, nullptr, nullptr, 0), DS_OK);
  EXPECT_EQ(std::memcmp(region, pattern.data(), 2000), 0);
  ASSERT_EQ(original->Unlock(region, 0, nullptr, 0), DS_OK);

  // The duplicate outlives its original with the data intact.
  IDirectSoundBuffer* second = Duplicate(copy);
  EXPECT_EQ(State(second).duplicateOf, copy);
  EXPECT_EQ(original->Release(), 0u);
  buffers.erase(buffers.begin());
  EXPECT_FALSE(dsemu::QueryBuffer(original, nullptr));
  EXPECT_EQ(State(copy).duplicateOf, nullptr);
  ASSERT_EQ(copy->Lock(0, 2000, &region, &bytes, nullptr, nullptr, 0), DS_OK);
  EXPECT_EQ(std::memcmp(region, pattern.data(), 2000), 0);
  ASSERT_EQ(copy->Unlock(region, 0, nullptr, 0), DS_OK);

  IDirectSoundBuffer* none = reinterpret_cast<IDirectSoundBuffer*>(1);
  EXPECT_EQ(device->DuplicateSoundBuffer(nullptr, &none), DSERR_INVALIDPARAM);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(device->DuplicateSoundBuffer(original, &none), DSERR_INVALIDPARAM); // released
  EXPECT_EQ(device->DuplicateSoundBuffer(copy, nullptr), DSERR_INVALIDPARAM);
}

TEST_F(Buffers, ReferenceCounting) {
  WAVEFORMATEX format = PcmFormat(1, 16, 22050);
  IDirectSoundBuffer* buffer = Make(format, 64);
  EXPECT_EQ(buffer->AddRef(), 2u);
  IUnknown* unknown = nullptr;
  ASSERT_EQ(buffer->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
  EXPECT_EQ(State(buffer).references, 3u);
  void* none = nullptr;
  EXPECT_EQ(buffer->QueryInterface(IID_IDirectSound, &none), E_NOINTERFACE);
  EXPECT_EQ(unknown->Release(), 2u);
  EXPECT_EQ(buffer->Release(), 1u);
  EXPECT_EQ(dsemu::LiveBufferCount(), 1u);
}

} // namespace
} // namespace dsound_test
