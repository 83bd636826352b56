// Applying a key's settings to the voice that sounds it. The key index must be 0..24
// and, where noted, the key must be Playing (its Voice then names a taken voice).
#pragma once

#include "../engine/state.h"

bool IsKeyIndex(int64_t key);

// Tunes the key's voice from its sample's rate, Note, FineTune and the bend `bend`
// (taken only when the key's PitchBend is on). A Note outside 0..143 leaves the
// voice's frequency as it is.
void SetVoiceFrequency(int32_t key, int32_t bend);
// lParam of a parameter message, key index in the low word; both test Playing.
void SetVoiceVolume(LPARAM lParam);
void SetVoicePan(LPARAM lParam);
// Only while the key is Playing.
void ApplyVoiceMute(int32_t key);
void ApplyVoiceLoop(int32_t key);
