// A kit and a pattern turned into the messages a host posts to the engine window, each
// at the output frame where it is due, at the rate the timeline was built for.
#pragma once

#include "host/sources/pattern.h"
#include "kit/engine_messages.h"
#include "kit/kit_model.h"

#include <cstdint>
#include <vector>

// The output rate when none is asked for: the engine's own.
constexpr uint32_t kOutputRate = 44100;

struct TimedMessage {
  uint64_t frame;
  UINT message;
  LPARAM lParam;
};

struct Timeline {
  std::vector<TimedMessage> messages; // in the order they are posted
  uint32_t rate = kOutputRate;        // frames a second
  uint64_t frames = 0;                // length of the whole piece, tail included
  uint64_t notes = 0;                 // note-ons
  uint64_t notesWithoutKey = 0;       // note-ons of codes no key of the kit sounds for
  bool endWhenSilent = false;         // stop before `frames` once the last message is
                                      // posted and no voice sounds any more
};

// The frame of a position counted in steps from the start of the first pass.
uint64_t StepFrame(const Pattern& pattern, double step, uint32_t rate = kOutputRate);

// Throws HostError when the pattern plays or changes a key code the kit does not have.
Timeline BuildTimeline(const Kit& kit, const Pattern& pattern, uint32_t rate = kOutputRate);
