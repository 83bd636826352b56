// Opening and closing the sound device, done as the engine window is created and
// destroyed.
#pragma once

#include "state.h"

// The primary format: every sound is mixed to this many 16-bit stereo frames a second.
constexpr DWORD PrimaryRate = 44100;
constexpr DWORD PrimaryBlockAlign = 4;

extern IDirectSoundBuffer*& PrimaryBuffer; // SampleList.Buffer
extern WAVEFORMATEX*& PrimaryFormat;       // SampleList.Format

// Opens the device for `window`, the engine window being created: COM, the device at
// the priority level, and the primary buffer at 44,100 Hz, 16-bit stereo, playing.
// Returns 0 when the device is ready, -1 after telling the user why it is not.
int OpenDevice(HWND window);

// Releases whatever of the device is open and frees the primary format. Safe to call at
// any time, and again.
void CloseDevice();
