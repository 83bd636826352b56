// The key map before the host installs one: no key stands for a sample, so no note can
// start a voice on a sample that no key names (and that could be unloaded under it).
#include "session.h"

#include "samples/samples.h"
#include "tests/support/engine_reset.h"

namespace {

class KeyMapAtLoad : public SessionTest {};

TEST_F(KeyMapAtLoad, NoKeyHasASampleBeforeTheKeyMap) {
  for (LONG key = 0; key < ZA32_KEYS; ++key)
    EXPECT_EQ(GetSampleNumber(key), -1) << "key " << key;
  ResetEngineState();
  for (LONG key = 0; key < ZA32_KEYS; ++key)
    EXPECT_EQ(GetSampleNumber(key), -1) << "key " << key << " after a reset";
}

TEST_F(KeyMapAtLoad, ANoteForKeyCodeZeroPlaysNoLoadedSample) {
  ASSERT_NE(StartEngine(), nullptr);
  // A sample loaded without a key, as an audition loads one.
  ASSERT_EQ(LoadSample(Wav("a.wav").c_str()), 1);
  NoteOnMessage(0, 100);
  EXPECT_EQ(ActiveVoices(), 0u);
  EXPECT_EQ(KeyMap[0].Playing, 0);
  EXPECT_TRUE(boxes.calls().empty());
  ExpectEverythingAccountedFor();
}

} // namespace
