#include "state.h"

#include <cstring>

// Before the host installs its keys no key names a sample, so none may stand for one:
// a zero sample number would let a note for key code 0 play whatever sample came
// first (an audition's), on a key that nothing stops when that sample goes.
#define KEY_WITHOUT_SAMPLE                                                                         \
  { {0}, 0, -1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0 }
KeyRecord KeyMap[ZA32_KEYS] = {
    KEY_WITHOUT_SAMPLE, KEY_WITHOUT_SAMPLE, KEY_WITHOUT_SAMPLE, KEY_WITHOUT_SAMPLE,
    KEY_WITHOUT_SAMPLE, KEY_WITHOUT_SAMPLE, KEY_WITHOUT_SAMPLE, KEY_WITHOUT_SAMPLE,
    KEY_WITHOUT_SAMPLE, KEY_WITHOUT_SAMPLE, KEY_WITHOUT_SAMPLE, KEY_WITHOUT_SAMPLE,
    KEY_WITHOUT_SAMPLE, KEY_WITHOUT_SAMPLE, KEY_WITHOUT_SAMPLE, KEY_WITHOUT_SAMPLE,
    KEY_WITHOUT_SAMPLE, KEY_WITHOUT_SAMPLE, KEY_WITHOUT_SAMPLE, KEY_WITHOUT_SAMPLE,
    KEY_WITHOUT_SAMPLE, KEY_WITHOUT_SAMPLE, KEY_WITHOUT_SAMPLE, KEY_WITHOUT_SAMPLE,
    KEY_WITHOUT_SAMPLE};
#undef KEY_WITHOUT_SAMPLE
static_assert(ZA32_KEYS == 25, "one initialiser a key");
VoiceRecord VoiceTable[ZA32_VOICES];
SampleRecord SampleList;
IDirectSoundBuffer*& PrimaryBuffer = SampleList.Buffer;
WAVEFORMATEX*& PrimaryFormat = SampleList.Format;

HWND EngineWindow;
HWND HostWindow;
HINSTANCE Instance;
IDirectSound* SoundDevice;
int32_t BendValue = 64;
SampleRecord* AuditionSample;
LPVOID SongBuffer;
SongSizeRecord KnownSongSize;

// Pythagorean chromatic scale, every step reached by rising fifths, stored as the
// rounded decimals (so 3^7/2^11 is 1.06787, not the exact fraction).
const float SemitoneRatios[12] = {1.0f,     1.06787f, 1.125f,  1.20135f, 1.265625f, 1.35152f,
                                  1.42383f, 1.5f,     1.6018f, 1.6875f,  1.80203f,  1.89844f};

// The top octave is 48, not 64: notes 132..143 sound a fourth below the octave above.
const float OctaveFactors[12] = {0.03125f, 0.0625f, 0.125f, 0.25f, 0.5f,  1.0f,
                                 2.0f,     4.0f,    8.0f,   16.0f, 32.0f, 48.0f};

const char EngineName[] = "ZA32";

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
