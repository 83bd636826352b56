#include "midi_files.h"

namespace midifile {

namespace {

std::string BigEndian(uint32_t value, int bytes) {
  std::string out;
  for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8)
    out += static_cast<char>((value >> shift) & 0xFF);
  return out;
}

} // namespace

std::string VariableLength(uint32_t value) {
  std::string out(1, static_cast<char>(value & 0x7F));
  while (value >>= 7)
    out.insert(out.begin(), static_cast<char>(0x80 | (value & 0x7F)));
  return out;
}

std::string Track(const std::vector<Event>& events) {
  std::string data;
  for (const Event& event : events)
    data += VariableLength(event.delta) + event.bytes;
  data += VariableLength(0) + std::string("\xFF\x2F\x00", 3);
  return "MTrk" + BigEndian(static_cast<uint32_t>(data.size()), 4) + data;
}

std::string File(int format, int pulsesPerQuarter, const std::vector<std::string>& tracks) {
  std::string file = "MThd" + BigEndian(6, 4) + BigEndian(format, 2) +
                     BigEndian(static_cast<uint32_t>(tracks.size()), 2) +
                     BigEndian(pulsesPerQuarter, 2);
  for (const std::string& track : tracks)
    file += track;
  return file;
}

std::string Tempo(uint32_t microsecondsPerQuarter) {
  return std::string("\xFF\x51\x03", 3) + BigEndian(microsecondsPerQuarter, 3);
}

} // namespace midifile
