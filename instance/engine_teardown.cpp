#include "instance/engine_teardown.h"

#include "engine/state.h"
#include "samples/samples.h"

void FreeSamplesAndVoices() {
  for (VoiceRecord& voice : VoiceTable) {
    if (voice.Active && voice.Buffer) {
      voice.Buffer->Stop();
      voice.Buffer->Release();
    }
    voice.Active = FALSE;
    voice.Buffer = nullptr;
  }
  for (SampleRecord* sample = SampleList.Next; sample;) {
    SampleRecord* next = sample->Next;
    if (sample->Buffer)
      sample->Buffer->Release();
    FreeSampleRecord(sample);
    sample = next;
  }
  SampleList.Next = nullptr;
  AuditionSample = nullptr;
}
