// AudioInit, AudioTerm and the device's set-up and tear-down.
#include "engine/device.h"
#include "engine/za32.h"
#include "tests/support/engine_fixture.h"

#include <functional>
#include <string>

namespace {

// COM is uninitialised on this thread exactly when a first CoInitialize answers S_OK.
bool ComIsUninitialised() {
  HRESULT result = CoInitialize(nullptr);
  if (SUCCEEDED(result))
    CoUninitialize();
  return result == S_OK;
}

} // namespace

using EngineStart = EngineTest;

TEST_F(EngineStart, OpensTheDeviceAndHidesTheWindowUnderTheHost) {
  HWND window = StartEngine();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(EngineWindow, window);
  EXPECT_EQ(HostWindow, host);
  EXPECT_EQ(Instance, TestInstance);
  EXPECT_TRUE(IsWindow(window));
  EXPECT_EQ(GetParent(window), host);
  EXPECT_FALSE(IsWindowVisible(window));
  EXPECT_EQ(GetFocus(), host);
  EXPECT_TRUE(boxes.calls().empty());

  ASSERT_NE(PrimaryFormat, nullptr);
  EXPECT_EQ(PrimaryFormat->wFormatTag, WAVE_FORMAT_PCM);
  EXPECT_EQ(PrimaryFormat->nChannels, 2);
  EXPECT_EQ(PrimaryFormat->nSamplesPerSec, 44100u);
  EXPECT_EQ(PrimaryFormat->nAvgBytesPerSec, 176400u);
  EXPECT_EQ(PrimaryFormat->nBlockAlign, 4);
  EXPECT_EQ(PrimaryFormat->wBitsPerSample, 16);
  EXPECT_EQ(PrimaryFormat->cbSize, 0);
  // As large as the system's largest format block, zero beyond the fields.
  DWORD largest = 0;
  ASSERT_EQ(acmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT, &largest), 0u);
  ASSERT_EQ(GlobalSize(GlobalHandle(PrimaryFormat)), largest);
  const auto* bytes = reinterpret_cast<const BYTE*>(PrimaryFormat);
  for (DWORD i = sizeof(WAVEFORMATEX); i < largest; ++i)
    ASSERT_EQ(bytes[i], 0) << "byte " << i;

  ASSERT_NE(SoundDevice, nullptr);
  ASSERT_NE(PrimaryBuffer, nullptr);
  EXPECT_EQ(SampleList.Buffer, PrimaryBuffer);
  dsemu::BufferState primary;
  ASSERT_TRUE(dsemu::QueryBuffer(PrimaryBuffer, &primary));
  EXPECT_TRUE(primary.primary);
  EXPECT_TRUE(primary.playing);
  EXPECT_TRUE(primary.looping);
  EXPECT_EQ(primary.format.nSamplesPerSec, 44100u);
  EXPECT_EQ(primary.format.wBitsPerSample, 16);
  EXPECT_EQ(primary.format.nChannels, 2);
  EXPECT_EQ(dsemu::LiveBufferCount(), 1u);
  EXPECT_EQ(dsemu::LiveDeviceCount(), 1u);
  // The co-operative level is set for the engine window, then moved to the host.
  EXPECT_EQ(dsemu::CallCount(dsemu::Call::SetCooperativeLevel), 2u);
}

TEST_F(EngineStart, EmptiesTheSampleListWithoutFreeingIt) {
  SampleRecord earlier{};
  SampleList.Next = &earlier;
  ASSERT_NE(StartEngine(), nullptr);
  EXPECT_EQ(SampleList.Next, nullptr);
}

struct SetupFailure {
  const char* name;
  std::function<void()> inject;
  const char* text;
};

void PrintTo(const SetupFailure& failure, std::ostream* out) {
  *out << failure.name;
}

class SetupFailures : public EngineTest, public ::testing::WithParamInterface<SetupFailure> {};

TEST_P(SetupFailures, TellTheUserOnceAndLeaveNothingBehind) {
  const SetupFailure& failure = GetParam();
  failure.inject();
  HWND beingCreated = nullptr;
  bool ownerWasAlive = false;
  boxes.whileOpen([&](const MessageBoxCall& call) {
    beingCreated = EngineWindow;
    ownerWasAlive = IsWindow(call.owner);
  });

  EXPECT_EQ(StartEngine(), nullptr);

  ASSERT_EQ(boxes.calls().size(), 1u);
  const MessageBoxCall& box = boxes.calls()[0];
  EXPECT_EQ(box.text, failure.text);
  EXPECT_EQ(box.caption, "ZA32");
  EXPECT_EQ(box.type, static_cast<UINT>(MB_ICONERROR));
  EXPECT_NE(box.owner, host);
  EXPECT_EQ(box.owner, beingCreated); // the window being created
  EXPECT_TRUE(ownerWasAlive);
  EXPECT_FALSE(IsWindow(box.owner)); // and destroyed since

  EXPECT_EQ(EngineWindow, nullptr);
  EXPECT_EQ(SoundDevice, nullptr);
  EXPECT_EQ(PrimaryBuffer, nullptr);
  EXPECT_EQ(PrimaryFormat, nullptr);
  int exitCode = -1;
  EXPECT_TRUE(QuitPosted(&exitCode));
  EXPECT_EQ(exitCode, 0);
  // Neither re-parented nor focused: the host has no child and no focus moved to it.
  EXPECT_EQ(emul::LiveWindows(), 1u);
  EXPECT_EQ(GetFocus(), nullptr);
  EXPECT_TRUE(ComIsUninitialised());
  ExpectNothingLeft();
}

INSTANTIATE_TEST_SUITE_P(
    EveryStep, SetupFailures,
    ::testing::Values(
        SetupFailure{"AcmMetrics", [] { emul::FailNth(emul::SystemCall::AcmMetrics, 1); },
                     "ACM Metrics failed, aborting"},
        SetupFailure{"Memory", [] { emul::FailNth(emul::SystemCall::GlobalAlloc, 1); },
                     "Out of Memory"},
        SetupFailure{"CoInitialize", [] { emul::FailNth(emul::SystemCall::CoInitialize, 1); },
                     "Failed to initialize COM library.\nPlease Restart Zandoria."},
        SetupFailure{"CreateDevice",
                     [] { dsemu::FailNext(dsemu::Call::CreateDevice, E_OUTOFMEMORY); },
                     "Cannot create the DirectSound COM object"},
        SetupFailure{"Initialize", [] { dsemu::FailNext(dsemu::Call::Initialize, DSERR_NODRIVER); },
                     "Cannot Initialize DirectSound"},
        SetupFailure{"SetCooperativeLevel",
                     [] { dsemu::FailNext(dsemu::Call::SetCooperativeLevel, DSERR_INVALIDPARAM); },
                     "Cannot set the DirectSound Cooperative Level"},
        SetupFailure{"PrimaryBuffer",
                     [] { dsemu::FailNext(dsemu::Call::CreateSoundBuffer, DSERR_OUTOFMEMORY); },
                     "Cannot create the DirectSound primary buffer"},
        SetupFailure{"Play", [] { dsemu::FailNext(dsemu::Call::Play, DSERR_BUFFERLOST); },
                     "Cannot play primary buffer"}),
    [](const ::testing::TestParamInfo<SetupFailure>& info) { return info.param.name; });

TEST_F(EngineStart, FailedSetFormatOnlyWarns) {
  for (HRESULT result : {DSERR_PRIOLEVELNEEDED, static_cast<HRESULT>(DS_NO_VIRTUALIZATION)}) {
    SCOPED_TRACE(result);
    dsemu::FailNext(dsemu::Call::SetFormat, result);
    HWND window = StartEngine();
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(boxes.calls().size(), 1u);
    EXPECT_EQ(boxes.calls()[0].text, "Cannot set format buffer");
    EXPECT_EQ(boxes.calls()[0].caption, "ZA32");
    EXPECT_EQ(boxes.calls()[0].type, static_cast<UINT>(MB_ICONWARNING));
    EXPECT_EQ(boxes.calls()[0].owner, window);
    EXPECT_NE(SoundDevice, nullptr);
    dsemu::BufferState primary;
    ASSERT_TRUE(dsemu::QueryBuffer(PrimaryBuffer, &primary));
    EXPECT_TRUE(primary.playing);
    EXPECT_FALSE(QuitPosted());
    ShutDownEngine();
    boxes.clear();
    DiscardMessages();
  }
}

TEST_F(EngineStart, PlayAnsweringASuccessCodeIsSuccess) {
  dsemu::FailNext(dsemu::Call::Play, DS_NO_VIRTUALIZATION);
  EXPECT_NE(StartEngine(), nullptr);
  EXPECT_TRUE(boxes.calls().empty());
  EXPECT_NE(PrimaryBuffer, nullptr);
}

TEST_F(EngineStart, FailsWithoutABoxWhenTheClassOrWindowCannotBeMade) {
  host = CreateHostWindow();
  emul::FailNth(emul::SystemCall::RegisterClass, 1);
  EXPECT_EQ(AudioInit(TestInstance, host), nullptr);
  emul::FailNth(emul::SystemCall::CreateWindow, 1);
  EXPECT_EQ(AudioInit(TestInstance, host), nullptr);
  EXPECT_TRUE(boxes.calls().empty());
  EXPECT_EQ(SoundDevice, nullptr);
  ExpectNothingLeft();
}

TEST_F(EngineStart, ALaterAudioInitTriesAgainAfterAFailure) {
  dsemu::FailNext(dsemu::Call::Initialize, DSERR_NODRIVER);
  ASSERT_EQ(StartEngine(), nullptr);
  DiscardMessages();
  HWND window = AudioInit(TestInstance, host);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(GetParent(window), host);
  EXPECT_NE(PrimaryBuffer, nullptr);
  EXPECT_EQ(boxes.calls().size(), 1u);
}

TEST_F(EngineStart, SecondAudioInitMakesNoSecondWindowAndMovesToTheNewHost) {
  HWND window = StartEngine();
  ASSERT_NE(window, nullptr);
  HWND firstHost = host;
  IDirectSound* device = SoundDevice;
  HWND secondHost = CreateHostWindow();
  size_t windows = emul::LiveWindows();

  EXPECT_EQ(AudioInit(TestInstance, secondHost), window);
  EXPECT_EQ(emul::LiveWindows(), windows);
  EXPECT_EQ(HostWindow, secondHost);
  EXPECT_EQ(GetParent(window), secondHost);
  EXPECT_EQ(GetFocus(), secondHost);
  EXPECT_EQ(SoundDevice, device);
  EXPECT_EQ(dsemu::CallCount(dsemu::Call::SetCooperativeLevel), 3u);
  EXPECT_EQ(dsemu::CallCount(dsemu::Call::CreateSoundBuffer), 1u);
  EXPECT_EQ(dsemu::LiveBufferCount(), 1u);

  // The first host can go without taking the engine along.
  EXPECT_TRUE(DestroyWindow(firstHost));
  EXPECT_TRUE(IsWindow(window));
  EXPECT_FALSE(QuitPosted());
}

TEST_F(EngineStart, AudioTermClosesTheDeviceAndKeepsTheWindow) {
  HWND window = StartEngine();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(AudioTerm(0), 0);
  EXPECT_EQ(SoundDevice, nullptr);
  EXPECT_EQ(PrimaryBuffer, nullptr);
  EXPECT_EQ(PrimaryFormat, nullptr);
  EXPECT_EQ(EngineWindow, window);
  EXPECT_TRUE(IsWindow(window));
  EXPECT_FALSE(QuitPosted());
  EXPECT_TRUE(ComIsUninitialised());
  ExpectNothingLeft();
  // Again: nothing left to release.
  EXPECT_EQ(AudioTerm(12345), 0);
  ExpectNothingLeft();
  EXPECT_TRUE(boxes.calls().empty());

  // AudioInit now finds the window without a device: it re-parents, and has no
  // co-operative level to move.
  unsigned levels = dsemu::CallCount(dsemu::Call::SetCooperativeLevel);
  HWND otherHost = CreateHostWindow();
  EXPECT_EQ(AudioInit(TestInstance, otherHost), window);
  EXPECT_EQ(GetParent(window), otherHost);
  EXPECT_EQ(GetFocus(), otherHost);
  EXPECT_EQ(dsemu::CallCount(dsemu::Call::SetCooperativeLevel), levels);
  EXPECT_EQ(SoundDevice, nullptr);
}

TEST_F(EngineStart, DestroyingTheHostClosesTheDeviceAndPostsTheQuit) {
  HWND window = StartEngine();
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(DestroyWindow(host));
  EXPECT_FALSE(IsWindow(window));
  int exitCode = -1;
  EXPECT_TRUE(QuitPosted(&exitCode));
  EXPECT_EQ(exitCode, 0);
  EXPECT_EQ(SoundDevice, nullptr);
  EXPECT_EQ(PrimaryFormat, nullptr);
  ExpectNothingLeft();
}
