// The host's layer between the notes a source plays (pattern, MIDI file, live input) and
// the engine's keys. The engine plays one sample a key and the first key with a key code
// wins; here several keys can share a trigger note and the map chooses which sounds:
// velocity layers (the key whose velocity range holds the note's velocity), round robin
// (keys answering the same trigger and velocity taken in turn, or at random from a
// seed), and choke groups (a hit stops every other sounding key of its group).
// Once built, a map allocates nothing (the audio thread plays through it): NoteOn and
// NoteOff append to the caller's list, which the caller reserves.
#pragma once

#include "kit/kit_model.h"

#include <map>
#include <random>
#include <vector>

// A note message for the engine: the key's code and the velocity, 0 for a note-off.
struct TriggeredNote {
  int keyCode;
  int velocity;
};

class TriggerMap {
public:
  // Keys without a sample or without a key code take no part.
  explicit TriggerMap(const Kit& kit);

  // Whether any key answers `trigger`.
  bool Plays(int trigger) const;

  // A hit of `trigger` at `velocity` (1..127): note-offs to the keys of its choke group
  // that sound, and to the chosen key if it still sounds (a sounding key ignores a
  // note-on), then the chosen key's note-on. Nothing when no key's range holds the
  // velocity.
  void NoteOn(int trigger, int velocity, std::vector<TriggeredNote>& out);

  // The end of the last hit of `trigger`: a note-off to the key it started, if that key
  // still sounds.
  void NoteOff(int trigger, std::vector<TriggeredNote>& out);

  // Forgets what sounds, after every note has been stopped some other way.
  void Reset();

private:
  struct Member {
    int keyCode;
    int velocityLow;
    int velocityHigh;
    int group; // index of its choke group in groups_; -1: none
  };
  struct Trigger {
    std::vector<Member> members;
    unsigned turns = 0; // hits so far, for the cycle
    int lastKey = -1;   // the key its last hit started
  };
  void Stop(int keyCode, std::vector<TriggeredNote>& out);

  std::map<int, Trigger> triggers_;
  std::vector<std::vector<int>> groups_; // each choke group's key codes
  std::vector<bool> sounding_;           // by key code: a note-on not yet ended
  RoundRobin roundRobin_;
  std::mt19937 random_;
};
