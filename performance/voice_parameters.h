// Applying a key's settings to the voice that sounds it. The key index must be 0..24
// and, where noted, the key must be Playing (its Voice then names a taken voice).
#pragma once

#include "../engine/state.h"

// Tunes the key's voice from its sample's rate, Note, FineTune and the bend `bend`
// (taken only when the key's PitchBend is on). A Note outside 0..143 leaves the
// voice's frequency as it is.
void SetVoiceFrequency(int32_t key, int32_t bend);
// From the key's Volume and Pan; both do nothing for a key index out of range or a
// silent key.
void SetVoiceVolume(int32_t key);
void SetVoicePan(int32_t key);
// Only while the key is Playing.
void ApplyVoiceMute(int32_t key);
void ApplyVoiceLoop(int32_t key);
