// Hydrogen's drumkit.xml and .h2song documents, read with pugixml into what import uses.
// Older files (pan_L/pan_R, layers directly under the instrument) are read as well.
#pragma once

#include <string>
#include <vector>

struct DrumLayer {
  std::string filename;
  double min = 0, max = 1; // velocity range, 0..1
  double gain = 1;         // the layer's, times its component's gain and its kit component's volume
  double pitch = 0;        // semitones
};

struct DrumInstrument {
  int id = 0;
  std::string name;
  std::string drumkit; // songs: the kit the samples come from
  double volume = 1, gain = 1;
  double pan = 0; // -1 left .. 1 right
  double pitchOffset = 0;
  int muteGroup = -1;
  int midiNote = -1; // -1: none given
  bool muted = false;
  bool applyVelocity = true;
  std::string selection = "VELOCITY";  // or ROUND_ROBIN, RANDOM
  std::vector<DrumLayer> layers;       // of the first component
  std::vector<std::string> unplayable; // what the instrument uses that keys cannot play
};

struct DrumKitFile {
  std::string name;
  std::vector<DrumInstrument> instruments;
};

struct SongNote {
  int position = 0; // ticks, 48 a beat
  double velocity = 0.8;
  double pan = 0;
  double pitch = 0; // semitones, the note's key included
  int length = -1;  // ticks; -1: the whole sample
  int instrument = 0;
};

struct SongPattern {
  std::string name;
  int size = 192;
  std::vector<SongNote> notes;
};

struct SongFile {
  double bpm = 120;
  double volume = 1; // the master volume, 0..1.5
  std::vector<DrumInstrument> instruments;
  std::vector<SongPattern> patterns;
  std::vector<std::vector<std::string>> sequence; // columns of pattern names
  std::vector<std::string> unplayable;            // swing, humanize, effects, ...
};

constexpr int kSongTicksPerBeat = 48;

// HostError naming `source` when the text is not XML or not a kit (a song).
DrumKitFile ParseDrumKit(const std::string& text, const std::string& source);
SongFile ParseSong(const std::string& text, const std::string& source);
