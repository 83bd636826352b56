// Pattern files and the timeline a host posts: what reaches the engine, in which order,
// and the messages for files a user gets wrong.
#include "host/host_error.h"
#include "host/sources/pattern.h"
#include "host/sources/timeline.h"
#include "kit/kit_error.h"
#include "kit/kit_model.h"

#include "tests/support/kit_texts.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstring>

namespace {

using nlohmann::json;

Pattern PatternOf(const std::string& text) {
  return ParsePattern(json::parse(text), "p.json");
}

std::string PatternError(const std::string& text) {
  try {
    PatternOf(text);
  } catch (const KitError& e) {
    return e.what();
  }
  return "(accepted)";
}

struct Posted {
  uint64_t frame;
  UINT message;
  unsigned low;
  unsigned high;
  bool operator==(const Posted&) const = default;
};

std::vector<Posted> Messages(const Timeline& timeline) {
  std::vector<Posted> out;
  for (const TimedMessage& m : timeline.messages)
    out.push_back({m.frame, m.message, LOWORD(m.lParam), HIWORD(m.lParam)});
  return out;
}

} // namespace

TEST(PatternFile, StepStringsAndHitLists) {
  Pattern p = PatternOf(R"({"tempo": 120, "steps": 8,
    "tracks": {"36": "X.x-|1 9..", "38": [{"step": 6, "velocity": 5, "length": 0.5}, 2]}})");
  ASSERT_EQ(p.tracks.at(36).size(), 4u);
  EXPECT_EQ(p.tracks.at(36)[0].step, 0);
  EXPECT_EQ(p.tracks.at(36)[0].velocity, 127);
  EXPECT_EQ(p.tracks.at(36)[1].step, 2);
  EXPECT_EQ(p.tracks.at(36)[1].velocity, 100);
  EXPECT_EQ(p.tracks.at(36)[2].velocity, 14); // '1' of nine levels
  EXPECT_EQ(p.tracks.at(36)[3].step, 5);
  EXPECT_EQ(p.tracks.at(36)[3].velocity, 127);
  // Hits are taken in step order whatever order they were written in.
  ASSERT_EQ(p.tracks.at(38).size(), 2u);
  EXPECT_EQ(p.tracks.at(38)[0].step, 2);
  EXPECT_EQ(p.tracks.at(38)[1].step, 6);
  EXPECT_EQ(p.tracks.at(38)[1].length, 0.5);
}

TEST(PatternFile, MistakesAreNamedByFileAndField) {
  EXPECT_EQ(PatternError(R"({"steps": 4})"), "p.json: has no \"tempo\" (beats per minute)");
  EXPECT_EQ(PatternError(R"({"tempo": 0, "steps": 4})"),
            "p.json: tempo: must be a number from 1 to 1000 (got 0)");
  EXPECT_EQ(PatternError(R"({"tempo": 90, "steps": 4, "tracks": {"36": "x..x."}})"),
            "p.json: tracks.36: has more than the pattern's 4 steps");
  EXPECT_EQ(PatternError(R"({"tempo": 90, "steps": 4, "tracks": {"36": "x.o."}})"),
            "p.json: tracks.36: unknown step character 'o' (use . or - for a rest, x, X or 1 "
            "to 9 for a hit)");
  EXPECT_EQ(PatternError(R"({"tempo": 90, "steps": 4, "tracks": {"kick": "x..."}})"),
            "p.json: tracks.kick: a track is named by its key code, a whole number from 0 to "
            "65535");
  EXPECT_EQ(PatternError(R"({"tempo": 90, "steps": 4, "tracks": {"036": "x..."}})"),
            "p.json: tracks.036: a track is named by its key code, a whole number from 0 to "
            "65535");
  EXPECT_EQ(PatternError(R"({"tempo": 90, "steps": 4, "tracks": {"36": [1, {"step": 1}]}})"),
            "p.json: tracks.36[1]: step 1 is played twice");
  EXPECT_EQ(PatternError(R"({"tempo": 90, "steps": 4, "tracks": {"36": [{"step": 4}]}})"),
            "p.json: tracks.36[0].step: must be a whole number from 0 to 3 (got 4)");
  EXPECT_EQ(PatternError(R"({"tempo": 90, "steps": 4, "tracks": {"36": [{"step": 1,
            "velocity": 0}]}})"),
            "p.json: tracks.36[0].velocity: must be a whole number from 1 to 127 (got 0)");
  EXPECT_EQ(PatternError(R"({"tempo": 90, "steps": 4, "changes": [{"step": 1, "pan": 3}]})"),
            "p.json: changes[0]: changes \"pan\" but names no \"key\" (its key code)");
  EXPECT_EQ(PatternError(R"({"tempo": 90, "steps": 4, "changes": [{"step": 1, "key": 3}]})"),
            "p.json: changes[0]: changes nothing (give one of pitch_bend, loop, bend, "
            "velocity_sense, mute, hold, note, fine_tune, volume, pan)");
  EXPECT_EQ(PatternError(R"({"tempo": 90, "steps": 4, "changes": [{"step": 1,
            "pitch_bend": 128}]})"),
            "p.json: changes[0].pitch_bend: must be a whole number from 0 to 127 (got 128)");
  EXPECT_EQ(PatternError(R"({"tempo": 1, "steps": 100000, "repeat": 10000})"),
            "p.json: lasts 15000000000 seconds; at most 6 hours can be played");
}

TEST(Timeline, NotesAreGatedSoThatEveryHitSounds) {
  // 120 beats a minute, 4 steps a beat: 5512.5 frames a step.
  Kit kit = KitOf(kTwoKeysKit);
  Pattern p = PatternOf(R"({"tempo": 120, "steps": 4,
    "tracks": {"36": "XX..", "38": [{"step": 0, "velocity": 9, "length": 3},
                                    {"step": 2, "length": 1}]}})");
  Timeline t = BuildTimeline(kit, p);
  EXPECT_EQ(t.frames, 22050u);
  EXPECT_EQ(t.notes, 4u);
  // A key that is playing ignores a further note-on, so the host lets go of it first;
  // a hit that would still be sounding is cut where the key's next hit starts.
  std::vector<Posted> expected = {{0, AM_NOTE, 36, 127},   {0, AM_NOTE, 38, 9},
                                  {5513, AM_NOTE, 36, 0},  {5513, AM_NOTE, 36, 127},
                                  {11025, AM_NOTE, 38, 0}, {11025, AM_NOTE, 38, 100},
                                  {16538, AM_NOTE, 38, 0}};
  EXPECT_EQ(Messages(t), expected);
}

TEST(Timeline, ChangesComeBeforeNotesOfTheSameStepAndNameKeysByIndex) {
  Kit kit = KitOf(kTwoKeysKit);
  Pattern p = PatternOf(R"({"tempo": 60, "steps_per_beat": 1, "steps": 2, "repeat": 2,
    "tail": 0.5, "tracks": {"38": "x."},
    "changes": [{"step": 0, "key": 38, "note": 67, "pan": 0},
                {"step": 1.5, "pitch_bend": 100}, {"step": 1, "key": 36, "hold": false}]})");
  Timeline t = BuildTimeline(kit, p);
  EXPECT_EQ(t.frames, 4 * 44100u + 22050u);
  // Parameter messages carry the key index (38 is key 1), the bend carries no key.
  std::vector<Posted> expected = {
      {0, AM_NOTEPITCH, 1, 67}, {0, AM_PAN, 1, 0},        {0, AM_NOTE, 38, 100},
      {44100, AM_HOLD, 0, 0},   {66150, AM_BEND, 0, 100}, {88200, AM_NOTEPITCH, 1, 67},
      {88200, AM_PAN, 1, 0},    {88200, AM_NOTE, 38, 0},  {88200, AM_NOTE, 38, 100},
      {132300, AM_HOLD, 0, 0},  {154350, AM_BEND, 0, 100}};
  EXPECT_EQ(Messages(t), expected);
}

TEST(Timeline, APatternTooBigToHoldIsRefused) {
  Kit kit = KitOf(kTwoKeysKit);
  // Six hours at 1000 beats a minute, 96 steps a beat, every step a hit.
  Pattern p = PatternOf(R"({"tempo": 1000, "steps_per_beat": 96, "steps": 96000,
    "repeat": 360, "tracks": {"36": [0]}})");
  p.tracks[36].clear();
  for (int step = 0; step < p.steps; ++step)
    p.tracks[36].push_back({step, 100, std::nullopt});
  try {
    BuildTimeline(kit, p);
    FAIL() << "accepted";
  } catch (const KitError& e) {
    EXPECT_STREQ(e.what(), "p.json: plays 34560000 notes and 0 changes, 69120000 messages with "
                           "the note-offs; at most 20000000 messages can be played");
  }
}

TEST(Timeline, UnknownKeyCodesAreRefused) {
  Kit kit = KitOf(R"({"keys": [{"sample": "a.wav", "key": 36}, {"key": 40}]})");
  auto error = [&](const std::string& pattern) -> std::string {
    try {
      BuildTimeline(kit, PatternOf(pattern));
    } catch (const KitError& e) {
      return e.what();
    }
    return "(accepted)";
  };
  EXPECT_EQ(error(R"({"tempo": 90, "steps": 4, "tracks": {"37": "x..."}})"),
            "p.json: tracks.37: key code 37 is not in the kit kit.json");
  EXPECT_EQ(error(R"({"tempo": 90, "steps": 4, "tracks": {"40": "x..."}})"),
            "p.json: tracks.40: key code 40 belongs to keys[1] of kit.json, which has no "
            "sample");
  EXPECT_EQ(error(R"({"tempo": 90, "steps": 4, "changes": [{"step": 0, "key": 99,
            "mute": true}]})"),
            "p.json: changes[0]: key code 99 is not in the kit kit.json");
}
