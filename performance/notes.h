// Starting and stopping keys on the 25 voices.
#pragma once

#include "../engine/state.h"

// Starts the key on the first free voice with `velocity` (already 127 when the key's
// VelocitySense is off). Does nothing for a key without a sample or when every voice
// is taken; device failures are reported in a box owned by EngineWindow.
void NoteOn(int32_t key, int32_t velocity);

// Stops a Playing key's voice, frees the voice and releases its duplicate; a failing
// Stop is reported after all of that is done. Does nothing for a silent key or a key
// without a sample.
void NoteOff(int32_t key);

// NoteOff without the report: the result of the voice's Stop (DS_OK when nothing had
// to be stopped). For callers that must finish their own state changes before a box.
HRESULT StopKeyVoice(int32_t key);

// Stops and frees a taken voice whatever key it belongs to; the result of its Stop.
HRESULT StopVoice(VoiceRecord& voice);

// The box for a Stop that failed.
void ReportStopFailure();
