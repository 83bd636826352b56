// A kit: the keys (pads) a host installs, parsed from and written to JSON, and converted
// to and from the key records the engine takes. An engine has 25 keys; a kit may have up
// to kMaxKitKeys, which a player spreads over several engine instances, 25 keys each.
#pragma once

#include "engine/za32.h"

#include <array>
#include <cstdint>
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
  // What the host adds over the engine's keys (see trigger_map.h): the note that plays
  // the key (-1: its own key code), the velocities it answers, and its choke group.
  int trigger = -1;
  int velocityLow = 1;
  int velocityHigh = 127;
  std::string group; // empty: in no group
  int output = 1;    // the stereo output (bus) it plays into, 1 to kMaxKitOutputs

  bool operator==(const KitKey&) const = default;
};

// How keys sharing a trigger and a velocity are chosen.
enum class RoundRobin { Cycle, Random };

inline constexpr size_t kMaxKitKeys = 400;
inline constexpr int kMaxKitOutputs = 16;

struct Kit {
  std::vector<KitKey> keys;        // key index = position; at most kMaxKitKeys
  std::filesystem::path directory; // relative sample paths are taken from here; empty:
                                   // they are passed on as written
  std::string source;              // names the kit in messages
  RoundRobin roundRobin = RoundRobin::Cycle;
  uint32_t seed = 1; // of the random choice
};

using KeyMapBytes = std::array<KeyRecord, ZA32_KEYS>;

// Checks a kit parsed from JSON; `source` names it in messages. KitError naming the file
// and the field at fault.
Kit ParseKit(const nlohmann::json& document, const std::filesystem::path& directory,
             const std::string& source);
nlohmann::ordered_json KitToJson(const Kit& kit);

// The sample path the engine is to open for a key: relative paths are made absolute
// against the kit's directory, so the engine's current directory does not matter.
std::string ResolvedSamplePath(const Kit& kit, const KitKey& key);

// How sample names are written into key records: as they are, for the engine on this
// system, or in Windows-1252, the names of a key map file.
enum class SampleNames { Native, Windows1252 };

// The key map a host passes to InitialiseKeyMap: the kit's keys `firstKey` to
// `firstKey` + 24 (one engine's share). Keys beyond the kit are empty and match no key
// code. KitError when a resolved path does not fit a key record, or, for Windows-1252
// names, holds a character Windows-1252 has not.
KeyMapBytes ToKeyRecords(const Kit& kit, SampleNames names = SampleNames::Native,
                         size_t firstKey = 0);
// The other way, from a key map file (Windows-1252 names, made UTF-8): every key up to
// the last one that has a sample.
// KitError, naming `source`, for a record whose values no kit can hold.
Kit FromKeyRecords(const KeyMapBytes& records, const std::string& source);

// Index of the key that sounds for `keyCode` (the first with that code, as the engine
// matches notes), or -1.
int KeyIndexForCode(const Kit& kit, int keyCode);
