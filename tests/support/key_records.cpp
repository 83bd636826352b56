#include "key_records.h"

#include <cstring>

KeyRecord NeutralKey(const std::string& file, int32_t keyCode, bool velocitySense) {
  KeyRecord key;
  std::memset(&key, 0, sizeof key);
  std::strncpy(key.SampleName, file.c_str(), sizeof key.SampleName - 1);
  key.KeyCode = keyCode;
  key.Volume = 127;
  key.Pan = 64;
  key.Note = 60;
  key.FineTune = 50;
  key.VelocitySense = velocitySense ? 1 : 0;
  return key;
}

std::vector<KeyRecord> FullKeyMap(std::vector<KeyRecord> keys) {
  while (keys.size() < ZA32_KEYS)
    keys.push_back(NeutralKey("", 60000 + static_cast<int32_t>(keys.size())));
  return keys;
}
