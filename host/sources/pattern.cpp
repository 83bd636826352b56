#include "host/sources/pattern.h"

#include "host/files/json_file.h"

#include "kit/json_fields.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <utility>

namespace {

struct SettingInfo {
  Setting setting;
  const char* name;
  int lowest;
  int highest;
  bool flag;
};

// Flags are sent as 0 or 1; every range is what the key records hold.
constexpr SettingInfo kSettings[] = {
    {Setting::PitchBend, "pitch_bend", 0, 127, false},
    {Setting::Loop, "loop", 0, 1, true},
    {Setting::Bend, "bend", 0, 1, true},
    {Setting::VelocitySense, "velocity_sense", 0, 1, true},
    {Setting::Mute, "mute", 0, 1, true},
    {Setting::Hold, "hold", 0, 1, true},
    {Setting::Note, "note", 0, 143, false},
    {Setting::FineTune, "fine_tune", 0, 100, false},
    {Setting::Volume, "volume", 0, 127, false},
    {Setting::Pan, "pan", 0, 127, false},
};

int StringVelocity(char c) {
  if (c == 'x')
    return 100;
  if (c == 'X')
    return 127;
  if (c >= '1' && c <= '9')
    return static_cast<int>(std::lround((c - '0') * 127.0 / 9.0));
  return 0;
}

std::vector<Hit> ParseStepString(const std::string& text, const JsonPlace& place, int steps) {
  std::vector<Hit> hits;
  int step = 0;
  for (char c : text) {
    if (c == ' ' || c == '|')
      continue;
    if (c != '.' && c != '-' && StringVelocity(c) == 0)
      place.fail(std::string("unknown step character '") + c +
                 "' (use . or - for a rest, x, X or 1 to 9 for a hit)");
    if (step >= steps)
      place.fail("has more than the pattern's " + std::to_string(steps) + " steps");
    if (c != '.' && c != '-')
      hits.push_back({step, StringVelocity(c), std::nullopt});
    ++step;
  }
  return hits;
}

std::vector<Hit> ParseHitList(const nlohmann::json& list, const JsonPlace& place, int steps) {
  std::vector<Hit> hits;
  std::set<int> played;
  for (size_t i = 0; i < list.size(); ++i) {
    JsonPlace at = place.item(i);
    const nlohmann::json& entry = list[i];
    Hit hit;
    if (entry.is_number()) {
      hit.step = static_cast<int>(ReadInteger(entry, at, 0, steps - 1));
    } else {
      ExpectObject(entry, at, {"step", "velocity", "length"});
      if (!entry.contains("step"))
        at.fail("has no \"step\"");
      hit.step = static_cast<int>(ReadInteger(entry["step"], at.field("step"), 0, steps - 1));
      if (entry.contains("velocity"))
        hit.velocity =
            static_cast<int>(ReadInteger(entry["velocity"], at.field("velocity"), 1, 127));
      if (entry.contains("length")) {
        hit.length = ReadNumber(entry["length"], at.field("length"), 0, 1e6);
        if (*hit.length <= 0)
          at.field("length").fail("must be more than 0 steps");
      }
    }
    if (!played.insert(hit.step).second)
      at.fail("step " + std::to_string(hit.step) + " is played twice");
    hits.push_back(hit);
  }
  std::stable_sort(hits.begin(), hits.end(),
                   [](const Hit& a, const Hit& b) { return a.step < b.step; });
  return hits;
}

void ParseChange(const nlohmann::json& entry, const JsonPlace& at, const Pattern& pattern,
                 std::vector<Change>& changes) {
  ExpectObject(entry, at,
               {"step", "key", "pitch_bend", "loop", "bend", "velocity_sense", "mute", "hold",
                "note", "fine_tune", "volume", "pan"});
  if (!entry.contains("step"))
    at.fail("has no \"step\"");
  double step = ReadNumber(entry["step"], at.field("step"), 0, pattern.steps);
  int keyCode = -1;
  if (entry.contains("key"))
    keyCode = static_cast<int>(ReadInteger(entry["key"], at.field("key"), 0, 65535));
  bool any = false;
  for (const SettingInfo& info : kSettings) {
    if (!entry.contains(info.name))
      continue;
    any = true;
    JsonPlace field = at.field(info.name);
    int value =
        info.flag
            ? ReadFlag(entry[info.name], field)
            : static_cast<int>(ReadInteger(entry[info.name], field, info.lowest, info.highest));
    if (info.setting != Setting::PitchBend && keyCode < 0)
      at.fail(std::string("changes \"") + info.name + "\" but names no \"key\" (its key code)");
    changes.push_back({step, keyCode, info.setting, value});
  }
  if (!any)
    at.fail("changes nothing (give one of pitch_bend, loop, bend, velocity_sense, mute, hold, "
            "note, fine_tune, volume, pan)");
}

} // namespace

const char* SettingName(Setting setting) {
  for (const SettingInfo& info : kSettings)
    if (info.setting == setting)
      return info.name;
  return "?";
}

Pattern ParsePattern(const nlohmann::json& document, const std::string& source) {
  JsonPlace top{source, ""};
  ExpectObject(document, top,
               {"tempo", "steps_per_beat", "steps", "repeat", "tail", "tracks", "changes", "name",
                "comment"});
  Pattern pattern;
  pattern.source = source;
  if (document.contains("name"))
    ReadString(document["name"], top.field("name"));
  if (document.contains("comment"))
    ReadString(document["comment"], top.field("comment"));
  if (!document.contains("tempo"))
    top.fail("has no \"tempo\" (beats per minute)");
  pattern.tempo = ReadNumber(document["tempo"], top.field("tempo"), 1, 1000);
  if (document.contains("steps_per_beat"))
    pattern.stepsPerBeat = static_cast<int>(
        ReadInteger(document["steps_per_beat"], top.field("steps_per_beat"), 1, 96));
  if (!document.contains("steps"))
    top.fail("has no \"steps\" (the length of the pattern in steps)");
  pattern.steps = static_cast<int>(ReadInteger(document["steps"], top.field("steps"), 1, 100000));
  if (document.contains("repeat"))
    pattern.repeat =
        static_cast<int>(ReadInteger(document["repeat"], top.field("repeat"), 1, 10000));
  if (document.contains("tail"))
    pattern.tail = ReadNumber(document["tail"], top.field("tail"), 0, 60);
  // Keep renders to what fits a WAV file and a reasonable time: at most 6 hours.
  double seconds =
      pattern.steps * double(pattern.repeat) * 60.0 / (pattern.tempo * pattern.stepsPerBeat) +
      pattern.tail;
  if (seconds > 6 * 3600)
    top.fail("lasts " + std::to_string(static_cast<long long>(seconds)) +
             " seconds; at most 6 hours can be played");

  if (document.contains("tracks")) {
    JsonPlace tracksPlace = top.field("tracks");
    const nlohmann::json& tracks = document["tracks"];
    if (!tracks.is_object())
      tracksPlace.fail("must be an object {\"<key code>\": steps, ...}");
    for (const auto& [name, value] : tracks.items()) {
      JsonPlace at = tracksPlace.field(name);
      size_t used = 0;
      long code = -1;
      try {
        code = std::stol(name, &used);
      } catch (...) {
        used = 0;
      }
      if (used == 0 || used != name.size() || code < 0 || code > 65535 ||
          std::to_string(code) != name)
        at.fail("a track is named by its key code, a whole number from 0 to 65535");
      std::vector<Hit> hits;
      if (value.is_string())
        hits = ParseStepString(value.get<std::string>(), at, pattern.steps);
      else if (value.is_array())
        hits = ParseHitList(value, at, pattern.steps);
      else
        at.fail("must be a step string such as \"x...x...\" or a list of hits");
      pattern.tracks[static_cast<int>(code)] = std::move(hits);
    }
  }

  if (document.contains("changes")) {
    JsonPlace changesPlace = top.field("changes");
    const nlohmann::json& changes = document["changes"];
    if (!changes.is_array())
      changesPlace.fail("must be a list [...] of changes");
    for (size_t i = 0; i < changes.size(); ++i)
      ParseChange(changes[i], changesPlace.item(i), pattern, pattern.changes);
  }
  return pattern;
}

Pattern LoadPattern(const std::filesystem::path& file) {
  return ParsePattern(ReadJsonFile(file, "pattern"), file.string());
}
