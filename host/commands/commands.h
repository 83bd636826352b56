// The sub-commands of za32. Each returns the exit status; HostError ends a command with
// its message.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

struct DemoOptions {
  std::filesystem::path output = "za32-demo.wav";
  std::optional<std::filesystem::path> kitDirectory; // default: beside the output
  bool live = false;
  bool force = false; // overwrite kit files that differ from the demo's
};
int RunDemo(const DemoOptions& options);

// How a piece is played, beyond what its file says.
struct PieceOptions {
  int channel = -1;           // MIDI files: 0 to 15 plays one channel; -1 all 16
  std::optional<double> tail; // seconds after the end; MIDI default: until silent
  uint32_t rate = 44100;      // output frames a second
};

struct PatternOptions {
  std::filesystem::path kit;
  std::filesystem::path pattern; // a pattern or a MIDI file
  PieceOptions piece;
  std::filesystem::path output;               // render only
  std::string format = "wav16";               // render only: wav16, wav24, float or flac
  std::optional<std::filesystem::path> stems; // render only: one file a key into this folder
  bool nullOutput = false; // play only: pace by the wall clock without a sound card
  std::string audio;       // play only: "sdl", "jack", "null"; empty: ZA32_AUDIO, then sdl
  unsigned period = 0;     // play only: frames a period (0: the output's default)
  std::optional<std::filesystem::path> record; // play only: also write what is played
};
int RunRender(const PatternOptions& options);
int RunPlay(const PatternOptions& options);

struct LiveOptions {
  std::filesystem::path kit;
  std::string midi;    // "alsa" or "jack"; empty: ALSA where its sequencer exists, else JACK
  std::string connect; // a source port to connect to the input, by name
  std::string audio;   // "sdl", "jack", "null"; empty: ZA32_AUDIO, then sdl
  unsigned period = 0; // frames a period on sdl and null (0: the output's default)
  std::optional<std::filesystem::path> record;
};
int RunLive(const LiveOptions& options);

struct AuditionOptions {
  std::string file;
  double seconds = 5;
  std::optional<std::filesystem::path> output; // render the audition instead of playing it
};
int RunAudition(const AuditionOptions& options);

struct RateTestOptions {
  int seconds = 3;
  bool nullOutput = false;
};
int RunRateTest(const RateTestOptions& options);

struct BrowseOptions {
  std::optional<std::string> directory;
  bool cd = false;
};
int RunBrowse(const BrowseOptions& options);

int RunWavInfo(const std::vector<std::string>& files);

struct KeyMapOptions {
  std::filesystem::path input;
  std::optional<std::filesystem::path> output;
  bool toKit = false;     // key map bytes -> kit file
  bool asWritten = false; // keep the kit's sample paths as written
};
int RunKeyMap(const KeyMapOptions& options);

struct ImportOptions {
  std::filesystem::path source; // drumkit folder, drumkit.xml, .h2drumkit or .h2song
  std::filesystem::path output; // the new folder to write
};
int RunImport(const ImportOptions& options);
