// A kit: the 25 keys (pads) a host installs, read from and written to a JSON file, and
// converted to and from the key records the engine takes.
#pragma once

#include "engine/za32.h"

#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

struct KitKey {
  std::string sample; // as written in the kit; empty: the key has no sample
  int keyCode = -1;   // -1: matches no note message
  int volume = 127;
  int pan = 64;
  int note = 60;
  int fineTune = 50;
  bool loop = false;
  bool bend = false;
  bool velocitySense = true;
  bool mute = false;
  bool hold = false;

  bool operator==(const KitKey&) const = default;
};

struct Kit {
  std::vector<KitKey> keys;        // key index = position; at most ZA32_KEYS
  std::filesystem::path directory; // relative sample paths are taken from here; empty:
                                   // they are passed on as written
  std::string source;              // names the kit in messages
};

using KeyMapBytes = std::array<KeyRecord, ZA32_KEYS>;

// Reads and checks a kit file. Throws HostError naming the file and the field at fault.
Kit LoadKit(const std::filesystem::path& file);
// Checks a kit already parsed from JSON; `source` names it in messages.
Kit ParseKit(const nlohmann::json& document, const std::filesystem::path& directory,
             const std::string& source);
nlohmann::ordered_json KitToJson(const Kit& kit);
void SaveKit(const Kit& kit, const std::filesystem::path& file);

// Throws HostError for the first key whose sample file is missing or not a file.
void CheckKitSamplesExist(const Kit& kit);

// The sample path the engine is to open for a key: relative paths are made absolute
// against the kit's directory, so the engine's current directory does not matter.
std::string ResolvedSamplePath(const Kit& kit, const KitKey& key);

// The key map a host passes to InitialiseKeyMap. Keys beyond the kit are empty and
// match no key code. Throws HostError when a resolved path does not fit a key record.
KeyMapBytes ToKeyRecords(const Kit& kit);
// The other way: every key up to the last one that has a sample.
// Throws HostError, naming `source`, for a record whose values no kit can hold.
Kit FromKeyRecords(const KeyMapBytes& records, const std::string& source);

// Index of the key that sounds for `keyCode` (the first with that code, as the engine
// matches notes), or -1.
int KeyIndexForCode(const Kit& kit, int keyCode);
