// A MIDI file played on a kit: the timeline of the engine's messages.
#pragma once

#include "host/sources/midi_file.h"
#include "host/sources/timeline.h"

#include <optional>

struct MidiPlayOptions {
  int channel = -1;            // 0 to 15; -1: all channels
  std::optional<double> tail;  // seconds after the last event; none: until silent
  uint32_t rate = kOutputRate; // the rate the song's frames were read at
};

// Longest ring-out after the last event when the render waits for silence.
constexpr double kMaxRingOutSeconds = 10;

Timeline BuildMidiTimeline(const Kit& kit, const MidiSong& song, const MidiPlayOptions& options);
