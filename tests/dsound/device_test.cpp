// The device object: initialisation, co-operative level, the primary buffer, lost
// buffers and fault injection.
#include "device_fixture.h"
#include "platform/emul/dsound/factory.h"

#include <functional>

namespace dsound_test {
namespace {

TEST(DeviceObject, NeedsInitializeBeforeAnythingElse) {
  IDirectSound* device = nullptr;
  ASSERT_EQ(dsemu::CreateDeviceObject(IID_IDirectSound, reinterpret_cast<void**>(&device)), S_OK);
  ASSERT_NE(device, nullptr);
  EXPECT_EQ(dsemu::LiveDeviceCount(), 1u);

  WAVEFORMATEX format = PcmFormat(1, 16, 22050);
  DSBUFFERDESC desc = SecondaryDesc(&format, 64);
  IDirectSoundBuffer* buffer = reinterpret_cast<IDirectSoundBuffer*>(1);
  EXPECT_EQ(device->CreateSoundBuffer(&desc, &buffer, nullptr), DSERR_UNINITIALIZED);
  EXPECT_EQ(buffer, nullptr);
  EXPECT_EQ(device->SetCooperativeLevel(FakeWindow(), DSSCL_PRIORITY), DSERR_UNINITIALIZED);
  DSCAPS caps{};
  caps.dwSize = sizeof caps;
  EXPECT_EQ(device->GetCaps(&caps), DSERR_UNINITIALIZED);
  DWORD speakers = 0;
  EXPECT_EQ(device->GetSpeakerConfig(&speakers), DSERR_UNINITIALIZED);
  EXPECT_EQ(device->Compact(), DSERR_UNINITIALIZED);

  GUID unknown{1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
  EXPECT_EQ(device->Initialize(&unknown), DSERR_NODRIVER);
  EXPECT_EQ(device->Initialize(nullptr), DS_OK);
  EXPECT_EQ(device->Initialize(nullptr), DSERR_ALREADYINITIALIZED);
  EXPECT_EQ(device->GetCaps(&caps), DS_OK);
  EXPECT_EQ(caps.dwPrimaryBuffers, 1u);
  EXPECT_EQ(caps.dwMinSecondarySampleRate, DWORD{DSBFREQUENCY_MIN});
  EXPECT_EQ(caps.dwMaxSecondarySampleRate, DWORD{DSBFREQUENCY_MAX});
  caps.dwSize = 4;
  EXPECT_EQ(device->GetCaps(&caps), DSERR_INVALIDPARAM);

  EXPECT_EQ(device->Release(), 0u);
  EXPECT_EQ(dsemu::LiveDeviceCount(), 0u);
}

TEST(DeviceObject, InterfacesAndReferences) {
  void* object = nullptr;
  EXPECT_EQ(dsemu::CreateDeviceObject(IID_IDirectSoundBuffer, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(dsemu::LiveDeviceCount(), 0u);

  IDirectSound* device = nullptr;
  ASSERT_EQ(DirectSoundCreate(nullptr, &device, nullptr), DS_OK);
  IUnknown* unknown = nullptr;
  ASSERT_EQ(device->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
  EXPECT_EQ(unknown, static_cast<IUnknown*>(device));
  EXPECT_EQ(device->AddRef(), 3u);
  EXPECT_EQ(device->Release(), 2u);
  EXPECT_EQ(unknown->Release(), 1u);
  EXPECT_EQ(dsemu::LiveDeviceCount(), 1u);
  EXPECT_EQ(device->Release(), 0u);
  EXPECT_EQ(dsemu::LiveDeviceCount(), 0u);

  EXPECT_EQ(DirectSoundCreate(nullptr, nullptr, nullptr), DSERR_INVALIDPARAM);
  EXPECT_EQ(DirectSoundCreate(nullptr, &device, unknown), DSERR_NOAGGREGATION);
  EXPECT_EQ(device, nullptr);
  EXPECT_EQ(dsemu::LiveDeviceCount(), 0u);
}

TEST(DeviceObject, CreationFaultsNextNthAndAlways) {
  dsemu::ClearFaults();
  void* object = nullptr;
  dsemu::FailNext(dsemu::Call::CreateDevice, DSERR_NODRIVER);
  EXPECT_EQ(dsemu::CreateDeviceObject(IID_IDirectSound, &object), DSERR_NODRIVER);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(dsemu::LiveDeviceCount(), 0u);
  ASSERT_EQ(dsemu::CreateDeviceObject(IID_IDirectSound, &object), S_OK);
  static_cast<IDirectSound*>(object)->Release();

  dsemu::FailNth(dsemu::Call::CreateDevice, 2, DSERR_OUTOFMEMORY);
  IDirectSound* first = nullptr;
  IDirectSound* second = nullptr;
  EXPECT_EQ(DirectSoundCreate(nullptr, &first, nullptr), DS_OK);
  EXPECT_EQ(DirectSoundCreate(nullptr, &second, nullptr), DSERR_OUTOFMEMORY);
  EXPECT_EQ(second, nullptr);
  EXPECT_EQ(DirectSoundCreate(nullptr, &second, nullptr), DS_OK);
  EXPECT_EQ(dsemu::LiveDeviceCount(), 2u);
  first->Release();
  second->Release();

  dsemu::FailAlways(dsemu::Call::CreateDevice, DSERR_ALLOCATED);
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(dsemu::CreateDeviceObject(IID_IDirectSound, &object), DSERR_ALLOCATED);
  dsemu::ClearFaults();
  EXPECT_EQ(dsemu::LiveDeviceCount(), 0u);
}

class Device : public DeviceTest {};

TEST_F(Device, CooperativeLevelIsChecked) {
  EXPECT_EQ(device->SetCooperativeLevel(nullptr, DSSCL_PRIORITY), DSERR_INVALIDPARAM);
  EXPECT_EQ(device->SetCooperativeLevel(FakeWindow(), 0), DSERR_INVALIDPARAM);
  EXPECT_EQ(device->SetCooperativeLevel(FakeWindow(), DSSCL_WRITEPRIMARY + 1), DSERR_INVALIDPARAM);
  EXPECT_EQ(device->SetCooperativeLevel(FakeWindow(), DSSCL_NORMAL), DS_OK);
  EXPECT_EQ(device->Compact(), DSERR_PRIOLEVELNEEDED);
  EXPECT_EQ(device->SetCooperativeLevel(FakeWindow(), DSSCL_EXCLUSIVE), DS_OK);
  EXPECT_EQ(device->Compact(), DS_OK);
  DWORD speakers = 0;
  EXPECT_EQ(device->GetSpeakerConfig(&speakers), DS_OK);
  EXPECT_EQ(speakers, DWORD{DSSPEAKER_STEREO});
  EXPECT_EQ(device->SetSpeakerConfig(0), DSERR_INVALIDPARAM);
  EXPECT_EQ(device->GetSpeakerConfig(nullptr), DSERR_INVALIDPARAM);
}

TEST_F(Device, PrimaryBufferIsOnePerDevice) {
  DSBUFFERDESC desc{};
  desc.dwSize = sizeof(DSBUFFERDESC1);
  desc.dwFlags = DSBCAPS_PRIMARYBUFFER;
  IDirectSoundBuffer* primary = nullptr;
  ASSERT_EQ(device->CreateSoundBuffer(&desc, &primary, nullptr), DS_OK);
  buffers.push_back(primary);
  IDirectSoundBuffer* again = nullptr;
  ASSERT_EQ(device->CreateSoundBuffer(&desc, &again, nullptr), DS_OK);
  buffers.push_back(again);
  EXPECT_EQ(again, primary);
  EXPECT_EQ(State(primary).references, 2u);
  EXPECT_TRUE(State(primary).primary);
  EXPECT_EQ(dsemu::LiveBufferCount(), 1u);

  // A primary description has no size, no format and no secondary-only controls.
  IDirectSoundBuffer* bad = nullptr;
  desc.dwBufferBytes = 1024;
  EXPECT_EQ(device->CreateSoundBuffer(&desc, &bad, nullptr), DSERR_INVALIDPARAM);
  desc.dwBufferBytes = 0;
  WAVEFORMATEX format = PcmFormat(2, 16, 44100);
  desc.lpwfxFormat = &format;
  EXPECT_EQ(device->CreateSoundBuffer(&desc, &bad, nullptr), DSERR_INVALIDPARAM);
  desc.lpwfxFormat = nullptr;
  desc.dwFlags |= DSBCAPS_CTRLFREQUENCY;
  EXPECT_EQ(device->CreateSoundBuffer(&desc, &bad, nullptr), DSERR_INVALIDPARAM);
  EXPECT_EQ(bad, nullptr);
}

TEST_F(Device, PrimaryBufferOperations) {
  DSBUFFERDESC desc{};
  desc.dwSize = sizeof(DSBUFFERDESC);
  desc.dwFlags = DSBCAPS_PRIMARYBUFFER;
  IDirectSoundBuffer* primary = nullptr;
  ASSERT_EQ(device->CreateSoundBuffer(&desc, &primary, nullptr), DS_OK);
  buffers.push_back(primary);

  WAVEFORMATEX format = PcmFormat(2, 16, 44100);
  ASSERT_EQ(device->SetCooperativeLevel(FakeWindow(), DSSCL_NORMAL), DS_OK);
  EXPECT_EQ(primary->SetFormat(&format), DSERR_PRIOLEVELNEEDED);
  ASSERT_EQ(device->SetCooperativeLevel(FakeWindow(), DSSCL_PRIORITY), DS_OK);
  WAVEFORMATEX odd = PcmFormat(2, 12, 44100);
  EXPECT_EQ(primary->SetFormat(&odd), DSERR_INVALIDPARAM);
  odd = PcmFormat(6, 16, 44100);
  EXPECT_EQ(primary->SetFormat(&odd), DSERR_BADFORMAT);
  EXPECT_EQ(primary->SetFormat(nullptr), DSERR_INVALIDPARAM);
  format = PcmFormat(1, 8, 22050);
  EXPECT_EQ(primary->SetFormat(&format), DS_OK);
  WAVEFORMATEX read{};
  DWORD written = 0;
  EXPECT_EQ(primary->GetFormat(&read, sizeof read, &written), DS_OK);
  EXPECT_EQ(written, sizeof(WAVEFORMATEX));
  EXPECT_EQ(read.nSamplesPerSec, 22050u);
  EXPECT_EQ(read.nChannels, 1);

  EXPECT_EQ(primary->Play(0, 0, 0), DSERR_INVALIDPARAM);
  EXPECT_EQ(primary->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
  EXPECT_EQ(Status(primary), DWORD{DSBSTATUS_PLAYING | DSBSTATUS_LOOPING});
  EXPECT_EQ(primary->SetCurrentPosition(0), DSERR_INVALIDCALL);
  EXPECT_EQ(primary->SetFrequency(22050), DSERR_CONTROLUNAVAIL);
  void* region = nullptr;
  DWORD bytes = 0;
  EXPECT_EQ(primary->Lock(0, 4, &region, &bytes, nullptr, nullptr, 0), DSERR_PRIOLEVELNEEDED);
  IDirectSoundBuffer* copy = nullptr;
  EXPECT_EQ(device->DuplicateSoundBuffer(primary, &copy), DSERR_INVALIDCALL);
  EXPECT_EQ(copy, nullptr);

  // The primary cursor runs with the output while it plays.
  dsemu::AdvanceFrames(10, nullptr);
  EXPECT_EQ(PlayCursor(primary), 40u);
  EXPECT_EQ(primary->Stop(), DS_OK);
  EXPECT_EQ(Status(primary), 0u);
}

TEST_F(Device, BuffersOutlivingTheDeviceAreLost) {
  WAVEFORMATEX format = PcmFormat(1, 16, 22050);
  IDirectSoundBuffer* buffer = Make(format, 64);
  ASSERT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
  EXPECT_EQ(device->Release(), 0u);
  device = nullptr;
  EXPECT_EQ(dsemu::LiveDeviceCount(), 0u);
  EXPECT_EQ(Status(buffer), DWORD{DSBSTATUS_BUFFERLOST});
  EXPECT_EQ(buffer->Play(0, 0, 0), DSERR_BUFFERLOST);
  EXPECT_EQ(buffer->Restore(), DSERR_BUFFERLOST);
  EXPECT_FALSE(State(buffer).playing);
}

// Every faultable call, made on a device with a playing buffer and its duplicate.
struct FaultCase {
  dsemu::Call call;
  std::function<HRESULT(IDirectSound*, IDirectSoundBuffer*, IDirectSoundBuffer*)> make;
};

TEST_F(Device, InjectedFaultsFailTheChosenCallAndChangeNothing) {
  WAVEFORMATEX format = PcmFormat(2, 16, 22050);
  IDirectSoundBuffer* buffer = Make(format, 400);
  IDirectSoundBuffer* copy = Duplicate(buffer);
  ASSERT_EQ(buffer->Play(0, 0, 0), DS_OK);
  IDirectSoundBuffer* made = nullptr;
  void* lockedAt = nullptr;
  DWORD lockedBytes = 0;
  ASSERT_EQ(copy->Lock(0, 8, &lockedAt, &lockedBytes, nullptr, nullptr, 0), DS_OK);
  DSBUFFERDESC desc = SecondaryDesc(&format, 64);
  WAVEFORMATEX primaryFormat = PcmFormat(2, 16, 44100);
  DWORD word = 0;
  void* region = nullptr;

  const std::vector<FaultCase> cases = {
      {dsemu::Call::Initialize, [](auto* d, auto*, auto*) { return d->Initialize(nullptr); }},
      {dsemu::Call::SetCooperativeLevel,
       [](auto* d, auto*, auto*) { return d->SetCooperativeLevel(FakeWindow(), DSSCL_NORMAL); }},
      {dsemu::Call::CreateSoundBuffer,
       [&](auto* d, auto*, auto*) { return d->CreateSoundBuffer(&desc, &made, nullptr); }},
      {dsemu::Call::DuplicateSoundBuffer,
       [&](auto* d, auto* b, auto*) { return d->DuplicateSoundBuffer(b, &made); }},
      {dsemu::Call::SetFormat, [&](auto*, auto* b, auto*) { return b->SetFormat(&primaryFormat); }},
      {dsemu::Call::Play, [](auto*, auto*, auto* c) { return c->Play(0, 0, DSBPLAY_LOOPING); }},
      {dsemu::Call::Stop, [](auto*, auto* b, auto*) { return b->Stop(); }},
      {dsemu::Call::GetStatus, [&](auto*, auto* b, auto*) { return b->GetStatus(&word); }},
      {dsemu::Call::SetCurrentPosition,
       [](auto*, auto* b, auto*) { return b->SetCurrentPosition(40); }},
      {dsemu::Call::GetCurrentPosition,
       [&](auto*, auto* b, auto*) { return b->GetCurrentPosition(&word, nullptr); }},
      {dsemu::Call::Lock,
       [&](auto*, auto* b, auto*) { return b->Lock(0, 4, &region, &word, nullptr, nullptr, 0); }},
      {dsemu::Call::Unlock,
       [&](auto*, auto*, auto* c) { return c->Unlock(lockedAt, lockedBytes, nullptr, 0); }},
      {dsemu::Call::SetVolume, [](auto*, auto* b, auto*) { return b->SetVolume(-500); }},
      {dsemu::Call::SetPan, [](auto*, auto* b, auto*) { return b->SetPan(300); }},
      {dsemu::Call::SetFrequency, [](auto*, auto* b, auto*) { return b->SetFrequency(11025); }},
  };
  ASSERT_EQ(cases.size(), static_cast<size_t>(dsemu::Call::Count_) - 1);

  for (const FaultCase& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.call));
    const auto before = dsemu::LiveBuffers();
    dsemu::ResetCallCounts();
    dsemu::FailNext(c.call, DSERR_GENERIC);
    made = nullptr;
    EXPECT_EQ(c.make(device, buffer, copy), DSERR_GENERIC);
    EXPECT_EQ(made, nullptr);
    EXPECT_EQ(dsemu::CallCount(c.call), 1u);
    const auto after = dsemu::LiveBuffers();
    ASSERT_EQ(after.size(), before.size());
    for (size_t i = 0; i < after.size(); ++i) {
      EXPECT_EQ(after[i].buffer, before[i].buffer);
      EXPECT_EQ(after[i].playing, before[i].playing);
      EXPECT_EQ(after[i].looping, before[i].looping);
      EXPECT_EQ(after[i].position, before[i].position);
      EXPECT_EQ(after[i].volume, before[i].volume);
      EXPECT_EQ(after[i].pan, before[i].pan);
      EXPECT_EQ(after[i].frequency, before[i].frequency);
    }
  }
  // The fault was for one call only: the pending lock is still there to unlock.
  EXPECT_EQ(copy->Unlock(lockedAt, lockedBytes, nullptr, 0), DS_OK);

  // The n-th call, and always.
  dsemu::FailNth(dsemu::Call::SetVolume, 3, DSERR_INVALIDCALL);
  EXPECT_EQ(buffer->SetVolume(-1), DS_OK);
  EXPECT_EQ(buffer->SetVolume(-2), DS_OK);
  EXPECT_EQ(buffer->SetVolume(-3), DSERR_INVALIDCALL);
  EXPECT_EQ(buffer->SetVolume(-4), DS_OK);
  dsemu::FailAlways(dsemu::Call::Stop, DSERR_BUFFERLOST);
  EXPECT_EQ(buffer->Stop(), DSERR_BUFFERLOST);
  EXPECT_EQ(buffer->Stop(), DSERR_BUFFERLOST);
  EXPECT_TRUE(State(buffer).playing);
  dsemu::ClearFaults();
  EXPECT_EQ(buffer->Stop(), DS_OK);
  EXPECT_FALSE(State(buffer).playing);
}

} // namespace
} // namespace dsound_test
