// The kit model: kits to the key records the engine takes and back, and the messages for
// kits a user gets wrong.
#include "kit/kit_error.h"
#include "kit/kit_model.h"
#include "kit/windows_1252.h"

#include "tests/support/kit_texts.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstring>

namespace {

using nlohmann::json;

std::string KitRefusal(const std::string& text) {
  try {
    KitOf(text);
  } catch (const KitError& e) {
    return e.what();
  }
  return "(accepted)";
}

} // namespace

TEST(KitFile, KeysBecomeTheRecordsTheEngineTakes) {
  Kit kit = KitOf(kTwoKeysKit);
  KeyMapBytes records = ToKeyRecords(kit);
  EXPECT_STREQ(records[0].SampleName, "/kits/a.wav");
  EXPECT_STREQ(records[1].SampleName, "/kits/sub/b.wav");
  EXPECT_EQ(records[0].KeyCode, 36);
  // Defaults a pad starts with: full volume, centre, own pitch, velocity on.
  EXPECT_EQ(records[0].Volume, 127);
  EXPECT_EQ(records[0].Pan, 64);
  EXPECT_EQ(records[0].Note, 60);
  EXPECT_EQ(records[0].FineTune, 50);
  EXPECT_EQ(records[0].VelocitySense, 1);
  EXPECT_EQ(records[0].Loop | records[0].PitchBend | records[0].Mute | records[0].Hold, 0);
  const KeyRecord& b = records[1];
  EXPECT_EQ(std::vector<int>({b.KeyCode, b.Volume, b.Pan, b.Note, b.FineTune, b.Loop, b.PitchBend,
                              b.VelocitySense, b.Mute, b.Hold}),
            std::vector<int>({38, 90, 10, 72, 75, 1, 1, 0, 1, 1}));
  // The engine's own fields go in as a host passes them.
  EXPECT_EQ(b.SampleNumber, -1);
  EXPECT_EQ(b.Playing, 0);
  EXPECT_EQ(b.Released, 0);
  // Keys the kit does not fill have no sample and answer to no note.
  for (size_t i = 2; i < records.size(); ++i) {
    EXPECT_EQ(records[i].SampleName[0], '\0');
    EXPECT_EQ(records[i].KeyCode, -1);
  }
}

TEST(KitFile, KeyMapBytesComeBackAsTheSameKit) {
  Kit kit = KitOf(kTwoKeysKit);
  kit.directory.clear(); // names as written
  KeyMapBytes records = ToKeyRecords(kit);
  Kit back = FromKeyRecords(records, "map.bin");
  ASSERT_EQ(back.keys.size(), 2u);
  EXPECT_EQ(back.keys, kit.keys);
  // Through JSON as well.
  Kit again = ParseKit(json::parse(KitToJson(back).dump()), "", "again.json");
  EXPECT_EQ(again.keys, kit.keys);
}

TEST(KitFile, KeyMapBytesFromAnotherHostAreReadAsTheEngineReadsThem) {
  KeyMapBytes records{};
  std::strcpy(records[3].SampleName, "C:\\SAMPLES\\KICK.WAV");
  records[3].KeyCode = 70000; // never matches a note: read as no key code
  records[3].Volume = -1;     // read as 127
  records[3].Pan = 64;
  records[3].Note = 60;
  records[3].FineTune = 50;
  records[3].Loop = 5; // any non-zero flag is on
  Kit kit = FromKeyRecords(records, "map.bin");
  ASSERT_EQ(kit.keys.size(), 4u);
  EXPECT_EQ(kit.keys[3].sample, "C:\\SAMPLES\\KICK.WAV");
  EXPECT_EQ(kit.keys[3].keyCode, -1);
  EXPECT_EQ(kit.keys[3].volume, 127);
  EXPECT_TRUE(kit.keys[3].loop);
  // Empty keys before it keep their places; they come back as all-zero records.
  EXPECT_EQ(kit.keys[0].sample, "");

  records[5].Note = 200;
  try {
    FromKeyRecords(records, "map.bin");
    FAIL() << "a note outside the pitch tables was accepted";
  } catch (const KitError& e) {
    EXPECT_STREQ(e.what(), "map.bin: key 5: note 200 is outside 0 to 143");
  }
  records[5].Note = 60;
  std::memset(records[7].SampleName, 'x', sizeof records[7].SampleName);
  EXPECT_THROW(FromKeyRecords(records, "map.bin"), KitError);
}

TEST(KitFile, EveryWindows1252ByteComesBackTheSame) {
  // The five unassigned bytes included: a key map written back must match byte for byte.
  std::string all;
  for (int b = 1; b < 256; ++b)
    all += static_cast<char>(b);
  std::optional<std::string> back = Utf8ToWindows1252(Windows1252ToUtf8(all), nullptr);
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, all);
  EXPECT_EQ(Windows1252ToUtf8("\x80\x9F"), "\xE2\x82\xAC\xC5\xB8"); // the euro sign, Y diaeresis
}

TEST(KitFile, MistakesAreNamedByFileAndField) {
  EXPECT_EQ(KitRefusal(R"({"keys": [{"sample": "a.wav", "key": 36, "volume": 300}]})"),
            "kit.json: keys[0].volume: must be a whole number from 0 to 127 (got 300)");
  EXPECT_EQ(KitRefusal(R"({"keys": [{"sample": "a.wav", "key": 36}, {"sample": "a.wav",
            "key": 36, "vol": 3}]})"),
            "kit.json: keys[1].vol: unknown field (known fields: sample, key, volume, pan, "
            "note, fine_tune, loop, bend, velocity_sense, mute, hold, trigger, velocity, group, "
            "output, comment)");
  EXPECT_EQ(KitRefusal(R"({"keys": [{"sample": "a.wav", "key": 36, "velocity": [90, 20]}]})"),
            "kit.json: keys[0].velocity[1]: must be a whole number from 90 to 127 (got 20)");
  EXPECT_EQ(KitRefusal(R"({"round_robin": "shuffle", "keys": []})"),
            "kit.json: round_robin: must be \"cycle\" or \"random\" (got \"shuffle\")");
  EXPECT_EQ(KitRefusal(R"({"keys": [{"sample": "a.wav"}]})"),
            "kit.json: keys[0]: has a sample but no \"key\" (the key code its notes are played "
            "with, 0 to 65535)");
  EXPECT_EQ(KitRefusal(R"({"keys": [{"sample": "a.wav", "key": 36, "note": 144}]})"),
            "kit.json: keys[0].note: must be a whole number from 0 to 143 (got 144)");
  EXPECT_EQ(KitRefusal(R"({"keys": [{"sample": "a.wav", "key": 36, "loop": "yes"}]})"),
            "kit.json: keys[0].loop: must be true or false (got \"yes\")");
  EXPECT_EQ(KitRefusal(R"({"keys": [{"sample": "a.wav", "key": 36.5}]})"),
            "kit.json: keys[0].key: must be a whole number from -1 to 65535 (got 36.5)");
  EXPECT_EQ(KitRefusal(R"({"keys": [{"sample": 5, "key": 1}]})"),
            "kit.json: keys[0].sample: must be a string \"...\" (got 5)");
  EXPECT_EQ(KitRefusal(R"({"keys": {}})"), "kit.json: keys: must be a list [...] of keys");
  EXPECT_EQ(KitRefusal(R"([1, 2])"), "kit.json: must be an object {...} (got a list of 2)");
  EXPECT_EQ(KitRefusal(R"({"pads": []})"),
            "kit.json: pads: unknown field (known fields: keys, name, comment, round_robin, seed)");
  // Only the first key with a code can ever sound.
  EXPECT_EQ(KitRefusal(R"({"keys": [{"key": 36}, {"sample": "a.wav", "key": 36}]})"),
            "kit.json: keys[1].key: key code 36 is already used by keys[0]; only the first "
            "key with a code ever sounds");

  std::string many = R"({"keys": [)";
  for (int i = 0; i < 401; ++i)
    many += std::string(i ? "," : "") + "{}";
  EXPECT_EQ(KitRefusal(many + "]}"), "kit.json: keys: has 401 keys; a kit has at most 400");
  EXPECT_EQ(KitRefusal(R"({"keys": [{"sample": "a.wav", "key": 36, "output": 17}]})"),
            "kit.json: keys[0].output: must be a whole number from 1 to 16 (got 17)");

  std::string longName(256, 'n');
  EXPECT_EQ(KitRefusal(R"({"keys": [{"sample": ")" + longName + R"(", "key": 1}]})"),
            "kit.json: keys[0].sample: longer than 255 characters");
  // A relative name that only grows too long once resolved is caught when the records
  // are made.
  Kit kit = ParseKit(
      json::parse(R"({"keys": [{"sample": ")" + std::string(250, 'n') + R"(", "key": 1}]})"),
      "/some/kit/dir", "kit.json");
  EXPECT_THROW(ToKeyRecords(kit), KitError);
}
