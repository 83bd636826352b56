// The engine's copy of the host's 25 keys and the link from each key to the loaded
// sample it plays: the file name, shared by every key (and the audition) naming it.
#pragma once

#include "../engine/state.h"

bool IsKeyIndex(int64_t key);

// 0: the key's file was loaded already; 1: loaded now; -1: no name, or the load failed
// (already reported by the loader). Sets the key's SampleNumber.
LONG LoadKeySample(int32_t key);
// 1: the first sample named like the key was released and unloaded; -1: the key had no
// sample. The other keys' numbers are stale until RenumberKeys.
LONG UnloadKeySample(int32_t key);
// Recomputes every key's SampleNumber from the sample list: the position of the last
// sample of the key's name, -1 when there is none.
void RenumberKeys();
// True when a key other than `except` names `name` (-1 excepts none).
bool KeyNamesFile(LPCSTR name, int32_t except);
