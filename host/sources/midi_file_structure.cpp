#include "host/sources/midi_file_structure.h"

#include "host/host_error.h"

#include <cstdint>
#include <limits>

namespace {

class Reader {
public:
  Reader(unsigned char* bytes, size_t size, std::string where)
      : p_(bytes), end_(bytes + size), where_(std::move(where)) {}

  bool AtEnd() const { return p_ == end_; }
  size_t Left() const { return size_t(end_ - p_); }
  unsigned char Byte(const char* what) {
    if (p_ == end_)
      Fail(std::string("ends in the middle of ") + what + " (truncated file?)");
    return *p_++;
  }
  uint32_t VariableLength(const char* what) {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
      unsigned char b = Byte(what);
      value = (value << 7) | (b & 0x7F);
      if (!(b & 0x80))
        return value;
    }
    Fail(std::string(what) + " is longer than four bytes");
  }
  void Skip(uint32_t count, const char* what) {
    if (count > Left())
      Fail(std::string("ends in the middle of ") + what + " (truncated file?)");
    p_ += count;
  }
  unsigned char* Here() const { return p_; }
  [[noreturn]] void Fail(const std::string& why) const { throw HostError(where_ + why); }

private:
  unsigned char* p_;
  unsigned char* end_;
  std::string where_;
};

uint32_t BigEndian(const unsigned char* p, int bytes) {
  uint32_t value = 0;
  for (int i = 0; i < bytes; ++i)
    value = (value << 8) | p[i];
  return value;
}

// Writes `value` as a variable-length quantity of exactly `width` bytes: leading 0x80
// bytes where fewer would do, which readers take for the same number.
void WriteVariableLength(unsigned char* at, uint32_t value, int width) {
  for (int i = width - 1; i >= 0; --i, value >>= 7)
    at[i] = static_cast<unsigned char>((value & 0x7F) | (i == width - 1 ? 0 : 0x80));
}

// Rewrites the meta event at `start` (type, then a length of `width` bytes, then
// `length` bytes) as a system exclusive event of the same size: its data is the meta
// event's data, with the type byte in front where the length needs the room.
void MetaAsSystemExclusive(unsigned char* start, uint32_t length, int width) {
  if (width < 4) {
    start[0] = 0xF0;
    WriteVariableLength(start + 1, length, width + 1);
    return;
  }
  unsigned char type = start[1];
  start[0] = 0xF0;
  WriteVariableLength(start + 1, length + 1, 4);
  start[5] = type;
}

void PrepareTrack(Reader track) {
  uint64_t pulses = 0;
  unsigned char running = 0;
  for (;;) {
    if (track.AtEnd())
      track.Fail("has no end-of-track event (truncated file?)");
    pulses += track.VariableLength("a delta time");
    if (pulses > uint64_t(std::numeric_limits<int32_t>::max()))
      track.Fail("runs past 2^31 pulses");
    unsigned char* start = track.Here();
    unsigned char status = track.Byte("an event");
    if (status < 0x80) {
      if (!running)
        track.Fail("has a data byte where an event must start");
      status = running; // the byte read was the first data byte
    } else if (status < 0xF0) {
      running = status;
      if (track.Byte("an event") >= 0x80)
        track.Fail("has a status byte where a data byte must be");
    } else if (status == 0xFF) {
      running = 0; // meta and system exclusive events end running status
      unsigned char type = track.Byte("a meta event");
      unsigned char* lengthAt = track.Here();
      uint32_t length = track.VariableLength("a meta event");
      int width = int(track.Here() - lengthAt);
      track.Skip(length, "a meta event");
      if ((type == 0x51 || type == 0x2F) && width != 1)
        track.Fail(std::string("has ") +
                   (type == 0x51 ? "a tempo change" : "an end-of-track event") +
                   " whose length is written in " + std::to_string(width) + " bytes, not one");
      if (type == 0x51 && length != 3)
        track.Fail("has a tempo change of " + std::to_string(length) + " bytes; it must have 3");
      if (type == 0x2F)
        return;
      if (width > 1) {
        if (width == 4 && length + 1 >= (1u << 28))
          track.Fail("has a meta event of " + std::to_string(length) + " bytes");
        MetaAsSystemExclusive(start, length, width);
      }
      continue;
    } else if (status == 0xF0 || status == 0xF7) {
      running = 0;
      // An escaped event carries bytes to send as they are; the player has no use for
      // them, and libsmf can read them only as system exclusive.
      *start = 0xF0;
      track.Skip(track.VariableLength("a system exclusive event"), "a system exclusive event");
      continue;
    } else {
      track.Fail("has an event of unknown kind (status byte " + std::to_string(status) + ")");
    }
    // Program change and channel pressure have one data byte, the others two; a data
    // byte never has its top bit set.
    unsigned char kind = status & 0xF0;
    if (kind != 0xC0 && kind != 0xD0 && track.Byte("an event") >= 0x80)
      track.Fail("has a status byte where a data byte must be");
  }
}

} // namespace

std::string PrepareMidiForLibrary(const unsigned char* original, size_t size,
                                  const std::string& source) {
  std::string copy(reinterpret_cast<const char*>(original), size);
  unsigned char* bytes = reinterpret_cast<unsigned char*>(copy.data());
  // The header as libsmf accepts it (it leaks what it made for any other).
  if (size < 14 || std::string(reinterpret_cast<const char*>(bytes), 4) != "MThd")
    throw HostError(source + ": not a MIDI file (it does not start with an \"MThd\" header)");
  if (BigEndian(bytes + 4, 4) != 6)
    throw HostError(source + ": the MIDI header is " + std::to_string(BigEndian(bytes + 4, 4)) +
                    " bytes long; it must be 6");
  uint32_t format = BigEndian(bytes + 8, 2), tracks = BigEndian(bytes + 10, 2);
  if (format > 1)
    throw HostError(source + ": MIDI files of format " + std::to_string(format) +
                    " cannot be played; formats 0 and 1 can");
  if (tracks == 0 || (format == 0 && tracks > 1))
    throw HostError(source + ": a MIDI file of format " + std::to_string(format) + " cannot have " +
                    std::to_string(tracks) + " tracks");
  if (bytes[12] & 0x80)
    throw HostError(source + ": it counts time in SMPTE frames; only MIDI files timed in " +
                    "beats can be played");
  if (BigEndian(bytes + 12, 2) == 0)
    throw HostError(source + ": the MIDI header gives 0 pulses a quarter note");
  size_t at = 0;
  int chunk = 0, track = 0;
  while (at < size) {
    std::string where = source + ": chunk " + std::to_string(chunk + 1) + " ";
    if (size - at < 8)
      throw HostError(where + "is cut short (truncated file?)");
    uint32_t length = BigEndian(bytes + at + 4, 4);
    if (length > size - at - 8)
      throw HostError(where + "declares " + std::to_string(length) + " bytes, but the file " +
                      "ends after " + std::to_string(size - at - 8) + " (truncated file?)");
    if (std::string(reinterpret_cast<const char*>(bytes + at), 4) == "MTrk")
      PrepareTrack(
          Reader(bytes + at + 8, length, source + ": track " + std::to_string(++track) + " "));
    at += 8 + length;
    ++chunk;
  }
  return copy;
}
