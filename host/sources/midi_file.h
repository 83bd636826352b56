// Standard MIDI files (format 0 and 1), read with libsmf: the channel messages of every
// track in time order, each at the output frame the file's tempo map puts it on.
#pragma once

#include "host/sources/timeline.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

struct MidiMessage {
  uint64_t frame; // output frame (at the rate the file was read for) from the song's start
  uint8_t status; // 0x80 to 0xEF: a channel message
  uint8_t data1;
  uint8_t data2;
};

struct MidiSong {
  int format = 0;
  int tracks = 0;
  std::vector<MidiMessage> messages; // in time order, as the tracks interleave
  uint64_t lastFrame = 0;            // frame of the last event of any kind
  std::string source;
};

// True when the file starts as a standard MIDI file does ("MThd"), whatever its name.
bool IsMidiFile(const std::filesystem::path& file);

// Throws HostError naming `source` and what is wrong with the file.
// Frames are counted at `rate` a second.
MidiSong LoadMidiFile(const std::filesystem::path& file, uint32_t rate = kOutputRate);
MidiSong ParseMidiFile(const void* bytes, size_t size, const std::string& source,
                       uint32_t rate = kOutputRate);
