#include "kit/kit_model.h"

#include "kit/json_fields.h"
#include "kit/kit_error.h"
#include "kit/windows_1252.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr size_t kMaxSampleName = sizeof(KeyRecord::SampleName) - 1;

KitKey ParseKey(const nlohmann::json& value, const JsonPlace& place) {
  ExpectObject(value, place,
               {"sample", "key", "volume", "pan", "note", "fine_tune", "loop", "bend",
                "velocity_sense", "mute", "hold", "trigger", "velocity", "group", "output",
                "comment"});
  KitKey key;
  if (value.contains("sample"))
    key.sample = ReadString(value["sample"], place.field("sample"));
  if (key.sample.size() > kMaxSampleName)
    place.field("sample").fail("longer than " + std::to_string(kMaxSampleName) + " characters");
  if (key.sample.find('\0') != std::string::npos)
    place.field("sample").fail("contains a zero character");
  if (value.contains("key"))
    key.keyCode = static_cast<int>(ReadInteger(value["key"], place.field("key"), -1, 65535));
  else if (!key.sample.empty())
    place.fail("has a sample but no \"key\" (the key code its notes are played with, 0 to "
               "65535)");
  if (value.contains("volume"))
    key.volume = static_cast<int>(ReadInteger(value["volume"], place.field("volume"), 0, 127));
  if (value.contains("pan"))
    key.pan = static_cast<int>(ReadInteger(value["pan"], place.field("pan"), 0, 127));
  if (value.contains("note"))
    key.note = static_cast<int>(ReadInteger(value["note"], place.field("note"), 0, 143));
  if (value.contains("fine_tune"))
    key.fineTune =
        static_cast<int>(ReadInteger(value["fine_tune"], place.field("fine_tune"), 0, 100));
  if (value.contains("loop"))
    key.loop = ReadFlag(value["loop"], place.field("loop"));
  if (value.contains("bend"))
    key.bend = ReadFlag(value["bend"], place.field("bend"));
  if (value.contains("velocity_sense"))
    key.velocitySense = ReadFlag(value["velocity_sense"], place.field("velocity_sense"));
  if (value.contains("mute"))
    key.mute = ReadFlag(value["mute"], place.field("mute"));
  if (value.contains("hold"))
    key.hold = ReadFlag(value["hold"], place.field("hold"));
  if (value.contains("trigger"))
    key.trigger = static_cast<int>(ReadInteger(value["trigger"], place.field("trigger"), 0, 65535));
  if (value.contains("velocity")) {
    JsonPlace at = place.field("velocity");
    const nlohmann::json& range = value["velocity"];
    if (!range.is_array() || range.size() != 2)
      at.fail("must be a range [lowest, highest] of note velocities, 1 to 127");
    key.velocityLow = static_cast<int>(ReadInteger(range[0], at.item(0), 1, 127));
    key.velocityHigh = static_cast<int>(ReadInteger(range[1], at.item(1), key.velocityLow, 127));
  }
  if (value.contains("group"))
    key.group = ReadString(value["group"], place.field("group"));
  if (value.contains("output"))
    key.output =
        static_cast<int>(ReadInteger(value["output"], place.field("output"), 1, kMaxKitOutputs));
  if (value.contains("comment"))
    ReadString(value["comment"], place.field("comment"));
  return key;
}

} // namespace

Kit ParseKit(const nlohmann::json& document, const std::filesystem::path& directory,
             const std::string& source) {
  JsonPlace top{source, ""};
  ExpectObject(document, top, {"keys", "name", "comment", "round_robin", "seed"});
  if (document.contains("name"))
    ReadString(document["name"], top.field("name"));
  if (document.contains("comment"))
    ReadString(document["comment"], top.field("comment"));
  if (!document.contains("keys"))
    top.fail("has no \"keys\" list");
  JsonPlace keysPlace = top.field("keys");
  const nlohmann::json& keys = document["keys"];
  if (!keys.is_array())
    keysPlace.fail("must be a list [...] of keys");
  if (keys.size() > kMaxKitKeys)
    keysPlace.fail("has " + std::to_string(keys.size()) + " keys; a kit has at most " +
                   std::to_string(kMaxKitKeys));
  Kit kit;
  kit.directory = directory;
  kit.source = source;
  if (document.contains("round_robin")) {
    std::string mode = ReadString(document["round_robin"], top.field("round_robin"));
    if (mode != "cycle" && mode != "random")
      top.field("round_robin").fail("must be \"cycle\" or \"random\" (got \"" + mode + "\")");
    kit.roundRobin = mode == "random" ? RoundRobin::Random : RoundRobin::Cycle;
  }
  if (document.contains("seed"))
    kit.seed =
        static_cast<uint32_t>(ReadInteger(document["seed"], top.field("seed"), 0, UINT32_MAX));
  for (size_t i = 0; i < keys.size(); ++i) {
    kit.keys.push_back(ParseKey(keys[i], keysPlace.item(i)));
    const KitKey& key = kit.keys.back();
    if (key.sample.empty() || key.keyCode < 0)
      continue;
    for (size_t j = 0; j < i; ++j)
      if (kit.keys[j].keyCode == key.keyCode)
        keysPlace.item(i).field("key").fail("key code " + std::to_string(key.keyCode) +
                                            " is already used by keys[" + std::to_string(j) +
                                            "]; only the first key with a code ever sounds");
  }
  return kit;
}

nlohmann::ordered_json KitToJson(const Kit& kit) {
  nlohmann::ordered_json keys = nlohmann::ordered_json::array();
  for (const KitKey& key : kit.keys) {
    nlohmann::ordered_json out;
    out["sample"] = key.sample;
    out["key"] = key.keyCode;
    out["volume"] = key.volume;
    out["pan"] = key.pan;
    out["note"] = key.note;
    out["fine_tune"] = key.fineTune;
    out["loop"] = key.loop;
    out["bend"] = key.bend;
    out["velocity_sense"] = key.velocitySense;
    out["mute"] = key.mute;
    out["hold"] = key.hold;
    if (key.trigger >= 0)
      out["trigger"] = key.trigger;
    if (key.velocityLow != 1 || key.velocityHigh != 127)
      out["velocity"] = {key.velocityLow, key.velocityHigh};
    if (!key.group.empty())
      out["group"] = key.group;
    if (key.output != 1)
      out["output"] = key.output;
    keys.push_back(out);
  }
  nlohmann::ordered_json document;
  if (kit.roundRobin == RoundRobin::Random) {
    document["round_robin"] = "random";
    document["seed"] = kit.seed;
  }
  document["keys"] = keys;
  return document;
}

std::string ResolvedSamplePath(const Kit& kit, const KitKey& key) {
  std::filesystem::path sample(key.sample);
  if (key.sample.empty() || sample.is_absolute() || kit.directory.empty())
    return key.sample;
  std::error_code error;
  std::filesystem::path base = std::filesystem::absolute(kit.directory, error);
  if (error)
    base = kit.directory;
  return (base / sample).lexically_normal().string();
}

KeyMapBytes ToKeyRecords(const Kit& kit, SampleNames names, size_t firstKey) {
  KeyMapBytes records{};
  for (size_t k = 0; k < records.size(); ++k) {
    KeyRecord& record = records[k];
    std::memset(&record, 0, sizeof record);
    const size_t i = firstKey + k;
    KitKey key = i < kit.keys.size() ? kit.keys[i] : KitKey{};
    std::string path = ResolvedSamplePath(kit, key);
    char32_t unmappable = 0;
    std::optional<std::string> ansi = Utf8ToWindows1252(path, &unmappable);
    if (names == SampleNames::Windows1252 && !ansi) {
      char code[16];
      std::snprintf(code, sizeof code, "U+%04X", unsigned(unmappable));
      throw KitError(kit.source + ": keys[" + std::to_string(i) + "].sample: the name " + path +
                     " has a character (" + code +
                     ") that a Windows key map cannot hold; key maps name samples in "
                     "Windows-1252");
    }
    if (names == SampleNames::Windows1252)
      path = *ansi;
    if (path.size() > kMaxSampleName)
      throw KitError(kit.source + ": keys[" + std::to_string(i) + "].sample: the path " + path +
                     " is longer than the engine's " + std::to_string(kMaxSampleName) +
                     " characters");
    std::memcpy(record.SampleName, path.data(), path.size());
    record.Voice = 0;
    record.SampleNumber = -1;
    record.KeyCode = key.keyCode;
    record.Volume = key.volume;
    record.Pan = key.pan;
    record.Note = key.note;
    record.FineTune = key.fineTune;
    record.Loop = key.loop;
    record.PitchBend = key.bend;
    record.VelocitySense = key.velocitySense;
    record.Mute = key.mute;
    record.Hold = key.hold;
    record.Playing = 0;
    record.Released = 0;
  }
  return records;
}

Kit FromKeyRecords(const KeyMapBytes& records, const std::string& source) {
  Kit kit;
  kit.directory = ".";
  kit.source = source;
  for (size_t i = 0; i < records.size(); ++i) {
    const KeyRecord& record = records[i];
    std::string where = source + ": key " + std::to_string(i) + ": ";
    const void* end = std::memchr(record.SampleName, 0, sizeof record.SampleName);
    if (!end)
      throw KitError(where + "the sample name has no terminating zero byte");
    auto check = [&](const char* field, int32_t value, int32_t lowest, int32_t highest) {
      if (value < lowest || value > highest)
        throw KitError(where + field + " " + std::to_string(value) + " is outside " +
                       std::to_string(lowest) + " to " + std::to_string(highest));
      return static_cast<int>(value);
    };
    KitKey key;
    key.sample = Windows1252ToUtf8(record.SampleName);
    // Codes outside a note message's low word never match, like -1.
    key.keyCode = record.KeyCode >= 0 && record.KeyCode <= 65535 ? record.KeyCode : -1;
    key.volume = record.Volume == -1 ? 127 : check("volume", record.Volume, 0, 127);
    key.pan = check("pan", record.Pan, 0, 127);
    key.note = check("note", record.Note, 0, 143);
    key.fineTune = check("fine tune", record.FineTune, 0, 100);
    key.loop = record.Loop != 0;
    key.bend = record.PitchBend != 0;
    key.velocitySense = record.VelocitySense != 0;
    key.mute = record.Mute != 0;
    key.hold = record.Hold != 0;
    kit.keys.push_back(key);
  }
  // Keys without a sample after the last one that has one change nothing: no note
  // sounds on them and they come after every key they could shadow.
  while (!kit.keys.empty() && kit.keys.back().sample.empty())
    kit.keys.pop_back();
  return kit;
}

int KeyIndexForCode(const Kit& kit, int keyCode) {
  for (size_t i = 0; i < kit.keys.size(); ++i)
    if (kit.keys[i].keyCode == keyCode)
      return static_cast<int>(i);
  return -1;
}
