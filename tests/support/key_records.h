// Key records for tests: neutral keys and whole key maps.
#pragma once

#include "engine/za32.h"

#include <string>
#include <vector>

// A key on `file` with neutral settings: full volume, centre, its sample's own pitch,
// no flags but velocity sense (when asked for).
KeyRecord NeutralKey(const std::string& file, int32_t keyCode, bool velocitySense = true);

// `keys` filled up to the 25 of a key map with empty keys on codes no test sends.
std::vector<KeyRecord> FullKeyMap(std::vector<KeyRecord> keys);
