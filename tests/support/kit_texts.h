// Kits as JSON text, read the way the kit model reads a file in /kits.
#pragma once

#include "kit/kit_model.h"

#include <nlohmann/json.hpp>

#include <string>

// Two keys: one with every default, one with every setting changed.
inline constexpr const char* kTwoKeysKit = R"({"keys": [
  {"sample": "a.wav", "key": 36},
  {"sample": "sub/b.wav", "key": 38, "volume": 90, "pan": 10, "note": 72, "fine_tune": 75,
   "loop": true, "bend": 1, "velocity_sense": false, "mute": true, "hold": true}]})";

inline Kit KitOf(const std::string& text) {
  return ParseKit(nlohmann::json::parse(text), "/kits", "kit.json");
}
