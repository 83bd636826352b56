// The arithmetic that turns a key's settings into what its voice sends to the sound
// device: level, pan and frequency. Single precision is used exactly where the values
// are rounded to it below; every conversion to an integer truncates toward zero.
#pragma once

#include "../engine/state.h"

// The pitch tables, twelve entries each: the ratio of each semitone of the octave and
// the factor of each octave.
extern const float SemitoneRatios[12];
extern const float OctaveFactors[12];

// Level in hundredths of a decibel (0 full, -2000 for the quietest key) from the note's
// velocity and the key's Volume (-1 reads as 127).
int32_t LevelRule(int32_t velocity, int32_t volume);

// Pan in hundredths of a decibel from a key's Pan (0 left, 64 centre, 127 right): the
// range between the ends is about +-19.7 dB, the ends jump to full left and right.
int32_t PanRule(int32_t pan);

// Frequency factor of the global bend for a key: 1 when the key ignores the bend, one
// octave down at 0, one octave up at 127.
float BendFactor(int32_t pitchBend, int32_t bend);

// Frequency factor of a key's FineTune (50 is none): about 36 cents down at 0, 71 up at 100.
float FineTuneFactor(int32_t fineTune);

// The key's frequency for a sample of `rate` samples per second. False, and nothing
// written, when the key's Note has no entry in the pitch tables (outside 0..143).
bool KeyFrequency(DWORD rate, const KeyRecord& key, int32_t bend, DWORD* frequency);

// Conversion of a real number to a 32-bit integer by dropping the fraction; values
// beyond the 32-bit range (only from out-of-range host values) stop at its ends.
int32_t TruncateToInt32(double value);
