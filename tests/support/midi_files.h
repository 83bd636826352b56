// Standard MIDI files built byte by byte, so that tests and fuzz seeds control every
// detail (running status, chunk lengths) that a writing library would decide for them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace midifile {

struct Event {
  uint32_t delta;    // pulses since the track's previous event
  std::string bytes; // as stored: a status byte may be left out (running status)
};

std::string VariableLength(uint32_t value);
// An "MTrk" chunk of the events, closed by an end-of-track event.
std::string Track(const std::vector<Event>& events);
// An "MThd" chunk and the tracks.
std::string File(int format, int pulsesPerQuarter, const std::vector<std::string>& tracks);
// The meta event that sets the tempo.
std::string Tempo(uint32_t microsecondsPerQuarter);

} // namespace midifile
