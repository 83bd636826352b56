// The host's layer between the notes a source plays (pattern, MIDI file, live input) and
// the engine's keys. The engine plays one sample a key and the first key with a key code
// wins; here several keys can share a trigger note and the map chooses which sounds:
// velocity layers (the key whose velocity range holds the note's velocity), round robin
// (keys answering the same trigger and velocity taken in turn, or at random from a
// seed), and choke groups (a hit stops every other sounding key of its group).
#pragma once

#include "kit.h"

#include <map>
#include <random>
#include <set>
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
  std::vector<TriggeredNote> NoteOn(int trigger, int velocity);

  // The end of the last hit of `trigger`: a note-off to the key it started, if that key
  // still sounds.
  std::vector<TriggeredNote> NoteOff(int trigger);

  // Forgets what sounds, after every note has been stopped some other way.
  void Reset();

private:
  struct Member {
    int keyCode;
    int velocityLow;
    int velocityHigh;
    std::string group;
  };
  std::map<int, std::vector<Member>> triggers_;
  std::map<std::string, std::vector<int>> groups_; // group -> key codes
  std::map<int, std::string> groupOf_;             // key code -> group
  std::map<int, unsigned> turns_;                  // trigger -> hits so far, for the cycle
  std::map<int, int> lastKey_;                     // trigger -> key its last hit started
  std::set<int> sounding_;                         // key codes with a note-on not yet ended
  RoundRobin roundRobin_;
  std::mt19937 random_;
};
