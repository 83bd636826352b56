// Where notes from a MIDI file or live MIDI become the engine's key notes. The kit's
// trigger map chooses the key a note plays (velocity layers, round robin, choke groups);
// the gate decides what a note-off means, since a drum controller sends its note-off a
// few milliseconds after the note-on:
// - a note whose keys neither loop nor hold plays its sample to the end; the note-off is
//   not passed on, and a new hit restarts the key (note-off, then note-on);
// - a note whose keys loop stops at its note-off, and a new hit on it also restarts it;
// - a note whose keys hold gets every note-off as it comes, and latches as the engine's
//   hold rule says.
#pragma once

#include "kit/engine_messages.h"
#include "kit/kit_model.h"
#include "kit/trigger_map.h"

#include <set>
#include <vector>

// Once built it allocates nothing but what `out` needs beyond its capacity.
class NoteGate {
public:
  explicit NoteGate(const Kit& kit);

  // Appends what the engine is to receive for a note of `trigger` (a MIDI note number); a
  // velocity of 0 is a note-off. False when no key of the kit answers the note (nothing is
  // appended).
  bool Note(int trigger, int velocity, std::vector<EngineMessage>& out);
  // `value` 0 to 127, 64 in the middle.
  void Bend(int value, std::vector<EngineMessage>& out);
  // Forgets what sounds, after every note has been stopped some other way.
  void Reset() { triggers_.Reset(); }

private:
  TriggerMap triggers_;
  std::set<int> endedByNoteOff_; // triggers with a key that loops or holds
  std::vector<TriggeredNote> notes_;
};
