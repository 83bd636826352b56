// A sample made directly in the sample list, for tests of the frame that need a key
// to sound: 0.1 s of silence, 16-bit mono at 22,050 Hz, with its static buffer on the
// open device. EngineTest frees it at the end.
#pragma once

#include "engine/state.h"

SampleRecord* AddTestSample(const char* name);

// Makes `key` play the first sample when a note message carries `keyCode`, with the
// velocity of the message.
void AssignTestKey(int key, int keyCode);
