// Auditioning a file: its sample's own buffer plays looping until StopAudition. The
// audition shares samples with the keys by file name, so a file a key names is played
// from the key's sample and stays loaded afterwards; any other file is loaded for the
// audition and unloaded again when it stops.
#include "../samples/samples.h"
#include "key_map.h"

SampleRecord* AuditionSample;

namespace {

// An empty name is a key without a sample, never a file that a key names.
bool AKeyNames(LPCSTR fileName) {
  return fileName[0] != '\0' && KeyNamesFile(fileName, -1);
}

// Ends the running audition, if any: its buffer stops, and the sample goes unless a key
// names it. After AudioTerm the sample store leaves the buffer, gone with the device,
// alone. A sample no longer in the list (the device was opened again, which starts a
// new list) is only forgotten.
void EndAudition() {
  SampleRecord* sample = AuditionSample;
  if (sample && IsLoadedSample(sample)) {
    StopSample(EngineWindow, sample);
    if (!AKeyNames(sample->Name)) {
      ReleaseSampleBuffer(sample);
      UnloadSample(sample, &SampleList);
      RenumberKeys();
    }
  }
  AuditionSample = nullptr;
}

} // namespace

extern "C" LONG WINAPI StartAudition(LPCSTR fileName) {
  if (!fileName)
    fileName = "";
  // A second audition would otherwise leave the first looping and loaded for ever.
  EndAudition();

  const LONG result = AKeyNames(fileName) ? 0 : LoadSample(fileName);
  if (result == -1)
    return -1;
  // Without a device only a key's sample can be found, and its buffer is gone.
  if (!SoundDevice)
    return result;
  // The last sample of the name: the one just appended for the audition, or the one the
  // keys of that name play (RenumberKeys gives them the last).
  SampleRecord* sample = SampleAt(LastSampleNamed(fileName));
  if (!sample)
    return result; // a key names the file but it failed to load
  AuditionSample = sample;
  sample->Looping = 1;
  PlaySample(EngineWindow, sample);
  return result;
}

extern "C" LONG WINAPI StopAudition(LONG) {
  EndAudition();
  return 1;
}
