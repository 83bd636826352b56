// Loading one WAV file as a sample: read it, make its static buffer, append it to the
// list. Every failure is shown to the user once, owned by the host window, and leaves
// nothing of the failed sample behind.
#include "samples.h"

namespace {

// The reader and the buffer get the name through a working copy of this size.
constexpr int WorkingNameSize = 256;
static_assert(WorkingNameSize <= MAX_PATH);

const char NoMoreSamplesText[] = "No more WAV files can be loaded";
const char NoMemoryText[] = "Insufficient memory";
const char CannotLoadFormat[] = "Cannot load %s\nIt may be in another directory or CD-Rom";
const char NotWaveFormat[] = "%s is not a Wave File";

const char* BufferFailureFormat(HRESULT result) {
  switch (result) {
  case DSERR_ALLOCATED:
    return "A buffer for %s is already allocated";
  case DSERR_INVALIDPARAM:
    return "Invalid Parameter in %s";
  case DSERR_NOAGGREGATION:
    return "No aggregation in %s";
  case DSERR_OUTOFMEMORY:
    return "Not enough memory for %s";
  case DSERR_UNINITIALIZED:
    return "Could not initialise %s";
  case DSERR_UNSUPPORTED:
    return "Format of %s in unsupported";
  default:
    return "Bad Format in %s";
  }
}

void ShowFailure(const char* text) {
  MessageBoxA(HostWindow, text, EngineName, MB_ICONERROR);
}

void ShowFailure(const char* format, const char* name) {
  char text[512];
  wsprintfA(text, format, name);
  ShowFailure(text);
}

// The record was never linked: its buffer, blocks and the record itself go.
LONG Failed(SampleRecord* record) {
  if (record) {
    ReleaseSampleBuffer(record);
    FreeSampleRecord(record);
  }
  SetFocus(HostWindow);
  return -1;
}

} // namespace

LONG LoadSample(LPCSTR fileName) {
  if (!fileName)
    fileName = "";
  if (CountSamples(&SampleList) >= ZA32_MAX_SAMPLES) {
    ShowFailure(NoMoreSamplesText);
    return Failed(nullptr);
  }

  char name[WorkingNameSize];
  lstrcpynA(name, fileName, WorkingNameSize);
  // A name that does not fit the working copy names no file this engine can load; it is
  // refused as one, shown cut to the copy's size.
  if (lstrlenA(fileName) >= WorkingNameSize) {
    ShowFailure(CannotLoadFormat, name);
    return Failed(nullptr);
  }

  auto* record = static_cast<SampleRecord*>(
      AllocateGlobalBlock(sizeof(SampleRecord), GMEM_FIXED | GMEM_ZEROINIT));
  if (!record) {
    ShowFailure(NoMemoryText);
    return Failed(nullptr);
  }
  record->StickyFocus = 1;
  lstrcpyA(record->Name, name);

  switch (ReadWaveFile(name, &record->DataSize, &record->Format, &record->Data)) {
  case 0:
    break;
  case WaveErrBufferState:
    return Failed(record);
  case WaveErrOpen:
    ShowFailure(CannotLoadFormat, name);
    return Failed(record);
  default:
    ShowFailure(NotWaveFormat, name);
    return Failed(record);
  }

  if (HRESULT result = CreateSampleBuffer(record)) {
    ShowFailure(BufferFailureFormat(result), name);
    return Failed(record);
  }

  AppendSample(&SampleList, record);
  SetFocus(HostWindow);
  return 1;
}
