#include "engine_reset.h"

#include "engine/device.h"
#include "hostfiles/hostfiles.h"

#include <cstring>

void ResetEngineState() {
  std::memset(KeyMap, 0, sizeof KeyMap);
  for (KeyRecord& key : KeyMap)
    key.SampleNumber = -1;
  std::memset(VoiceTable, 0, sizeof VoiceTable);
  std::memset(&SampleList, 0, sizeof SampleList);
  EngineWindow = nullptr;
  HostWindow = nullptr;
  Instance = nullptr;
  SoundDevice = nullptr;
  BendValue = 64;
  AuditionSample = nullptr;
  SongBuffer = nullptr;
  std::memset(&KnownSongSize, 0, sizeof KnownSongSize);
}
