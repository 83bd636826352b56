#include "kit/note_gate.h"

NoteGate::NoteGate(const Kit& kit) : triggers_(kit) {
  // A hit stops at most every key of its group and itself, and starts one.
  notes_.reserve(kit.keys.size() + 1);
  for (const KitKey& key : kit.keys)
    if (!key.sample.empty() && key.keyCode >= 0 && (key.loop || key.hold))
      endedByNoteOff_.insert(key.trigger >= 0 ? key.trigger : key.keyCode);
}

bool NoteGate::Note(int trigger, int velocity, std::vector<EngineMessage>& out) {
  if (!triggers_.Plays(trigger))
    return false;
  // A one-shot note's end is not passed on, so the trigger map still counts its key as
  // sounding and restarts it at the next hit, as the engine needs.
  if (velocity == 0 && !endedByNoteOff_.count(trigger))
    return true;
  notes_.clear();
  if (velocity > 0)
    triggers_.NoteOn(trigger, velocity, notes_);
  else
    triggers_.NoteOff(trigger, notes_);
  for (const TriggeredNote& note : notes_)
    out.push_back({AM_NOTE, MessageParameter(note.keyCode, note.velocity)});
  return true;
}

void NoteGate::Bend(int value, std::vector<EngineMessage>& out) {
  out.push_back({AM_BEND, MessageParameter(0, value)});
}
