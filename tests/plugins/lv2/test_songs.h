// The MIDI the plugin's tests play: events timed in pulses, as a MIDI file for `za32
// render` and as events at frames for a host, at any rate.
#pragma once

#include "lilv_host.h"
#include "test_kits.h"

#include <cstdint>
#include <string>
#include <vector>

// 441 pulses a quarter note at 120 beats a minute: a pulse is 50 frames at 44,100 Hz.
struct TimedMidi {
  uint32_t pulse;
  std::vector<uint8_t> bytes;
};

// The frame a pulse falls on at `rate`, rounded to the nearest, as `za32 render` places it.
uint32_t FrameOf(uint32_t pulse, double rate);
std::string MidiFileOf(const std::vector<TimedMidi>& song);

// Plays `song` through the plugin in blocks of `block` frames for `frames` frames;
// returns the stereo output (pairs summed for the multi plugin) interleaved.
std::vector<float> Play(HostedPlugin& plugin, const std::vector<TimedMidi>& song, double rate,
                        uint32_t frames, uint32_t block);

// A few hits on four keys, note-offs and a velocity-0 note-on among them.
std::vector<TimedMidi> Groove();
std::vector<TestKey> GrooveKeys();
