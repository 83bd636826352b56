// The sound device's set-up and tear-down. Set-up failures are told to the user in a
// box owned by the window being created; each one undoes what was set up before it,
// except the primary format block, which CloseDevice frees when the failed window is
// destroyed.
#include "device.h"

#include "../samples/samples.h"

#include <algorithm>

IDirectSound* SoundDevice;
IDirectSoundBuffer*& PrimaryBuffer = SampleList.Buffer;
WAVEFORMATEX*& PrimaryFormat = SampleList.Format;

namespace {

void ReportSetupFailure(HWND window, const char* text) {
  MessageBoxA(window, text, EngineName, MB_ICONERROR);
}

// The primary format: PCM, 44,100 Hz, 16-bit stereo, in a zero-filled block as large
// as the largest wave format block the system knows.
bool AllocatePrimaryFormat(HWND window) {
  DWORD size = 0;
  if (acmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT, &size) != MMSYSERR_NOERROR) {
    ReportSetupFailure(window, "ACM Metrics failed, aborting");
    return false;
  }
  // Never smaller than the fields written below, whatever the system answered.
  size = std::max<DWORD>(size, sizeof(WAVEFORMATEX));
  PrimaryFormat =
      static_cast<WAVEFORMATEX*>(AllocateGlobalBlock(size, GMEM_MOVEABLE | GMEM_ZEROINIT));
  if (!PrimaryFormat) {
    ReportSetupFailure(window, "Out of Memory");
    return false;
  }
  PrimaryFormat->wFormatTag = WAVE_FORMAT_PCM;
  PrimaryFormat->nChannels = 2;
  PrimaryFormat->nSamplesPerSec = PrimaryRate;
  PrimaryFormat->nAvgBytesPerSec = PrimaryRate * PrimaryBlockAlign;
  PrimaryFormat->nBlockAlign = PrimaryBlockAlign;
  PrimaryFormat->wBitsPerSample = 16;
  return true;
}

bool CreateDevice(HWND window) {
  HRESULT result = CoCreateInstance(CLSID_DirectSound, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_IDirectSound, reinterpret_cast<void**>(&SoundDevice));
  if (FAILED(result) || !SoundDevice) {
    // An object handed back along with a failure is not kept.
    if (SoundDevice)
      SoundDevice->Release();
    SoundDevice = nullptr;
    ReportSetupFailure(window, "Cannot create the DirectSound COM object");
    CoUninitialize();
    return false;
  }
  return true;
}

bool CreatePrimaryBuffer(HWND window) {
  DSBUFFERDESC description{};
  description.dwSize = sizeof(DSBUFFERDESC1);
  description.dwFlags = DSBCAPS_PRIMARYBUFFER;
  HRESULT result = SoundDevice->CreateSoundBuffer(&description, &PrimaryBuffer, nullptr);
  if (FAILED(result) || !PrimaryBuffer) {
    if (PrimaryBuffer)
      PrimaryBuffer->Release();
    PrimaryBuffer = nullptr;
    ReportSetupFailure(window, "Cannot create the DirectSound primary buffer");
    return false;
  }
  return true;
}

// A primary buffer that cannot take the format keeps the one the device gave it;
// the engine still runs, so the user is only warned.
bool StartPrimaryBuffer(HWND window) {
  if (PrimaryBuffer->SetFormat(PrimaryFormat) != DS_OK)
    MessageBoxA(window, "Cannot set format buffer", EngineName, MB_ICONWARNING);
  if (FAILED(PrimaryBuffer->Play(0, 0, DSBPLAY_LOOPING))) {
    ReportSetupFailure(window, "Cannot play primary buffer");
    PrimaryBuffer->Release();
    PrimaryBuffer = nullptr;
    return false;
  }
  return true;
}

void ReleaseDevice() {
  SoundDevice->Release();
  SoundDevice = nullptr;
  CoUninitialize();
}

} // namespace

int OpenDevice(HWND window) {
  ForgetSamples();
  PrimaryFormat = nullptr;

  if (!AllocatePrimaryFormat(window))
    return -1;
  if (FAILED(CoInitialize(nullptr))) {
    ReportSetupFailure(window, "Failed to initialize COM library.\nPlease Restart Zandoria.");
    return -1;
  }
  if (!CreateDevice(window))
    return -1;

  if (FAILED(SoundDevice->Initialize(nullptr))) {
    ReportSetupFailure(window, "Cannot Initialize DirectSound");
  } else if (FAILED(SoundDevice->SetCooperativeLevel(window, DSSCL_PRIORITY))) {
    ReportSetupFailure(window, "Cannot set the DirectSound Cooperative Level");
  } else if (CreatePrimaryBuffer(window) && StartPrimaryBuffer(window)) {
    return 0;
  }
  ReleaseDevice();
  return -1;
}

void CloseDevice() {
  if (PrimaryBuffer) {
    PrimaryBuffer->Stop();
    PrimaryBuffer->Release();
    PrimaryBuffer = nullptr;
  }
  if (SoundDevice)
    ReleaseDevice();
  if (PrimaryFormat) {
    FreeGlobalBlock(PrimaryFormat);
    PrimaryFormat = nullptr;
  }
}
