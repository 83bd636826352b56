// What the kit's layers hand the engine: a message for its window and its long parameter.
#pragma once

#include "engine/za32.h"

struct EngineMessage {
  UINT message; // AM_NOTE, AM_BEND, or a setting change
  LPARAM lParam;
};

// The long parameter of an engine message: a key code or key index in the low word, a
// value in the high word.
inline LPARAM MessageParameter(unsigned lowWord, unsigned highWord) {
  return MAKELPARAM(lowWord & 0xFFFF, highWord & 0xFFFF);
}
