// Buffer commands stamped with the output frame they take effect at, so that a note
// starts at the frame it was due plus one constant latency, not at a period boundary.
#pragma once

#include "objects.h"

namespace dsemu {

// Makes a command of `buffer` take effect: at once on the manual clock, else queued for
// the frame CommandFrameLocked gives. DSERR_OUTOFMEMORY when it cannot be queued.
// StateLock() held.
HRESULT IssueCommand(Buffer& buffer, CommandKind kind, DWORD value);

// What the caller sees of a buffer: the mixer's state with every queued command applied.
struct ShownState {
  bool playing;
  bool looping;
  Cursor cursor;
  DWORD frequency;
  LONG volume;
  LONG pan;
};
ShownState Shown(const Buffer& buffer);

// The mixer's side: applies the commands of `buffer` due at or before `frame`, and tells
// the next frame a command is due at, or UINT64_MAX. StateLock() held.
uint64_t ApplyCommandsDue(Buffer& buffer, uint64_t frame);

} // namespace dsemu
