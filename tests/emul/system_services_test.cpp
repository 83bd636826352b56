// The audio compression manager's one metric, common controls and COM.
#include "platform/emul/control.h"
#include "platform/emul/dsound/device_control.h"
#include "platform/win32.h"

#include <gtest/gtest.h>

#include <thread>

class SystemServices : public ::testing::Test {
protected:
  void SetUp() override {
    emul::ClearFaults();
    dsemu::ClearFaults();
    dsemu::SelectOutput(dsemu::Output::Manual);
  }
  void TearDown() override {
    emul::ClearFaults();
    dsemu::ClearFaults();
  }
};

TEST_F(SystemServices, LargestFormatBlockHoldsAnyFormatTheEngineUses) {
  DWORD size = 0;
  ASSERT_EQ(acmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT, &size),
            static_cast<MMRESULT>(MMSYSERR_NOERROR));
  EXPECT_GE(size, sizeof(WAVEFORMATEXTENSIBLE));
  EXPECT_NE(acmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT + 1, &size),
            static_cast<MMRESULT>(MMSYSERR_NOERROR));
  EXPECT_EQ(acmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT, nullptr),
            static_cast<MMRESULT>(MMSYSERR_INVALPARAM));
}

TEST_F(SystemServices, AcmFaultFailsWithAnErrorCodeAndWritesNothing) {
  emul::FailNth(emul::SystemCall::AcmMetrics, 1);
  DWORD size = 1234;
  EXPECT_NE(acmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT, &size),
            static_cast<MMRESULT>(MMSYSERR_NOERROR));
  EXPECT_EQ(size, 1234u);
  EXPECT_EQ(acmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT, &size),
            static_cast<MMRESULT>(MMSYSERR_NOERROR));
  InitCommonControls(); // nothing to see, but it must be there
}

TEST_F(SystemServices, ComIsCountedPerThread) {
  EXPECT_EQ(CoInitialize(nullptr), S_OK);
  EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
  std::thread other([] {
    EXPECT_EQ(CoInitialize(nullptr), S_OK); // a thread of its own
    CoUninitialize();
  });
  other.join();
  CoUninitialize();
  EXPECT_EQ(CoInitialize(nullptr), S_FALSE); // one initialisation is still open
  CoUninitialize();
  CoUninitialize();
  CoUninitialize(); // one too many does no harm
  EXPECT_EQ(CoInitialize(nullptr), S_OK);
  CoUninitialize();
}

TEST_F(SystemServices, ComFaultFailsWithoutCounting) {
  emul::FailNth(emul::SystemCall::CoInitialize, 1);
  EXPECT_TRUE(FAILED(CoInitialize(nullptr)));
  EXPECT_EQ(CoInitialize(nullptr), S_OK);
  CoUninitialize();
}

TEST_F(SystemServices, CreatesTheSoundDeviceOnlyWhenComIsInitialised) {
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(
      CoCreateInstance(CLSID_DirectSound, nullptr, CLSCTX_INPROC_SERVER, IID_IDirectSound, &object),
      CO_E_NOTINITIALIZED);
  EXPECT_EQ(object, nullptr);

  ASSERT_EQ(CoInitialize(nullptr), S_OK);
  size_t devices = dsemu::LiveDeviceCount();
  ASSERT_EQ(
      CoCreateInstance(CLSID_DirectSound, nullptr, CLSCTX_INPROC_SERVER, IID_IDirectSound, &object),
      S_OK);
  auto* device = static_cast<IDirectSound*>(object);
  ASSERT_NE(device, nullptr);
  EXPECT_EQ(dsemu::LiveDeviceCount(), devices + 1);
  // As from COM, the object still needs Initialize.
  DSBUFFERDESC description{};
  description.dwSize = sizeof description;
  description.dwFlags = DSBCAPS_PRIMARYBUFFER;
  IDirectSoundBuffer* buffer = nullptr;
  EXPECT_EQ(device->CreateSoundBuffer(&description, &buffer, nullptr), DSERR_UNINITIALIZED);
  EXPECT_EQ(device->Initialize(nullptr), DS_OK);
  EXPECT_EQ(device->Release(), 0u);
  EXPECT_EQ(dsemu::LiveDeviceCount(), devices);
  CoUninitialize();
}

TEST_F(SystemServices, OtherClassesInterfacesAndAggregationAreRefused) {
  ASSERT_EQ(CoInitialize(nullptr), S_OK);
  void* object = reinterpret_cast<void*>(1);
  const CLSID unknown = {0x12345678, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
  EXPECT_EQ(CoCreateInstance(unknown, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
            REGDB_E_CLASSNOTREG);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(CoCreateInstance(CLSID_DirectSound, nullptr, CLSCTX_INPROC_SERVER,
                             IID_IDirectSoundBuffer, &object),
            E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  auto* outer = reinterpret_cast<IUnknown*>(&object);
  EXPECT_EQ(
      CoCreateInstance(CLSID_DirectSound, outer, CLSCTX_INPROC_SERVER, IID_IDirectSound, &object),
      CLASS_E_NOAGGREGATION);
  EXPECT_EQ(
      CoCreateInstance(CLSID_DirectSound, nullptr, CLSCTX_INPROC_SERVER, IID_IDirectSound, nullptr),
      E_POINTER);
  dsemu::FailNext(dsemu::Call::CreateDevice, E_OUTOFMEMORY);
  EXPECT_EQ(
      CoCreateInstance(CLSID_DirectSound, nullptr, CLSCTX_INPROC_SERVER, IID_IDirectSound, &object),
      E_OUTOFMEMORY);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(dsemu::LiveDeviceCount(), 0u);
  CoUninitialize();
}
