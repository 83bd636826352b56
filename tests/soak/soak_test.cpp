// Long runs of what a host does most: notes and key updates. Whatever the engine takes
// for a note or an update it must give back, so the device's live buffers, the global
// blocks and the process's memory stay flat however long it runs. Labelled "soak": run
// by scripts/soak, not by the normal suite.
#include "engine/za32.h"
#include "platform/emul/control.h"
#include "samples/samples.h"
#include "tests/support/engine_fixture.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wav_files.h"

#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

// Resident memory of the process in bytes.
size_t ResidentBytes() {
  long pages = 0, resident = 0;
  std::FILE* statm = std::fopen("/proc/self/statm", "r");
  if (!statm)
    return 0;
  if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
    resident = 0;
  std::fclose(statm);
  return static_cast<size_t>(resident) * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

class Soak : public EngineTest {
protected:
  void SetUp() override {
    EngineTest::SetUp();
    ASSERT_NE(StartEngine(), nullptr);
    std::vector<KeyRecord> keys(ZA32_KEYS);
    for (int k = 0; k < ZA32_KEYS; ++k) {
      wavfile::Format format;
      format.rate = 11025 + 1000 * k;
      format.channels = k % 2 ? 2 : 1;
      KeyRecord& key = keys[k];
      std::memset(&key, 0, sizeof key);
      const std::string file = wavfile::WriteFile(dir.file("key" + std::to_string(k) + ".wav"),
                                                  wavfile::Wav(format, 500));
      std::strncpy(key.SampleName, file.c_str(), sizeof key.SampleName - 1);
      key.KeyCode = 36 + k;
      key.Volume = 100;
      key.Pan = 10 + 4 * k;
      key.Note = 48 + k;
      key.FineTune = 50;
      key.Loop = k % 3 == 0;
      key.PitchBend = 1;
      key.VelocitySense = 1;
      key.Hold = k == 24;
    }
    InitialiseKeyMap(keys.data());
    ASSERT_EQ(CountSamples(&SampleList), ZA32_KEYS);
    other = wavfile::WriteFile(dir.file("other.wav"), wavfile::Wav(wavfile::Format{}, 700));
  }

  void TearDown() override {
    AllNotesOff(0);
    EngineTest::TearDown();
  }

  void Note(int key, WORD velocity) {
    SendMessageA(EngineWindow, AM_NOTE, 0, MAKELPARAM(36 + key, velocity));
  }

  // What the engine holds between two checkpoints must be what it held at the first.
  struct Level {
    size_t buffers;
    size_t blocks;
    size_t resident;
  };
  static Level Take() {
    return Level{dsemu::LiveBufferCount(), emul::LiveGlobalBlocks(), ResidentBytes()};
  }
  static void ExpectFlat(const Level& start, const char* what, long round) {
    const Level now = Take();
    EXPECT_EQ(now.buffers, start.buffers) << what << " " << round;
    EXPECT_EQ(now.blocks, start.blocks) << what << " " << round;
    // Allocators keep some memory back; a leak of even a few bytes a round would grow
    // far beyond this over the run.
    EXPECT_LT(now.resident, start.resident + (16u << 20)) << what << " " << round;
  }

  TempDir dir;
  std::string other;
};

TEST_F(Soak, AMillionNotePairsLeaveNothingBehind) {
  // One pair first, so that whatever the first note makes once is already made.
  Note(0, 100);
  Note(0, 0);
  const Level start = Take();
  constexpr long kPairs = 1000000;
  for (long pair = 1; pair <= kPairs; ++pair) {
    const int key = static_cast<int>(pair % ZA32_KEYS);
    Note(key, static_cast<WORD>(1 + pair % 127));
    // Now and then the clock moves, so that one-shot voices run to their end.
    if (pair % 1000 == 0)
      dsemu::AdvanceFrames(64, nullptr);
    Note(key, 0);
    if (key == 24)
      Note(key, 100); // the held key stops at its next press
    if (pair % 100000 == 0) {
      EXPECT_EQ(KeyMap[key].Playing, 0);
      ExpectFlat(start, "pair", pair);
    }
  }
  ExpectFlat(start, "pair", kPairs);
  EXPECT_TRUE(boxes.calls().empty());
}

TEST_F(Soak, TenThousandKeyUpdatesLeaveNothingBehind) {
  KeyRecord original = KeyMap[3];
  KeyRecord replacement = original;
  std::strncpy(replacement.SampleName, other.c_str(), sizeof replacement.SampleName - 1);
  EXPECT_EQ(UpdateKey(&replacement, 3), 1);
  EXPECT_EQ(UpdateKey(&original, 3), 1);
  const Level start = Take();
  for (long round = 1; round <= 10000; ++round) {
    // The key sounds when it is replaced: its voice goes with its sample.
    Note(3, 100);
    ASSERT_EQ(UpdateKey(&replacement, 3), 1) << round;
    Note(3, 90);
    ASSERT_EQ(UpdateKey(&original, 3), 1) << round;
    if (round % 1000 == 0) {
      EXPECT_EQ(GetSampleNumber(3), ZA32_KEYS - 1);
      ExpectFlat(start, "round", round);
    }
  }
  ExpectFlat(start, "round", 10000);
  EXPECT_TRUE(boxes.calls().empty());
}

} // namespace
