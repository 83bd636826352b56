// A pattern: tempo, steps per beat, per key code the steps it is played on with their
// velocities, and timed changes of key settings and of the pitch bend.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

struct Hit {
  int step = 0;
  int velocity = 100;           // 1..127
  std::optional<double> length; // in steps; none: until the key's next hit
};

// What a change sets: a key's setting (by the message that carries it) or the bend.
enum class Setting {
  PitchBend,
  Loop,
  Bend,
  VelocitySense,
  Mute,
  Hold,
  Note,
  FineTune,
  Volume,
  Pan
};

struct Change {
  double step = 0;  // may fall between steps
  int keyCode = -1; // the key whose setting changes; unused for PitchBend
  Setting setting = Setting::PitchBend;
  int value = 0;
};

struct Pattern {
  double tempo = 120; // beats per minute
  int stepsPerBeat = 4;
  int steps = 16;                         // length of one pass
  int repeat = 1;                         // passes
  double tail = 0;                        // seconds rendered after the last pass
  std::map<int, std::vector<Hit>> tracks; // by key code, hits in step order
  std::vector<Change> changes;            // in file order
  std::string source;
};

Pattern LoadPattern(const std::filesystem::path& file);
Pattern ParsePattern(const nlohmann::json& document, const std::string& source);

// The names of the settings in pattern files, as the kit names the same fields.
const char* SettingName(Setting setting);
