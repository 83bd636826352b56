// One note from the host's message queue to the sound that comes out of the device.
#include "keys_fixture.h"

#include "engine/za32.h"

namespace {

class RoadOfOneNoteTest : public KeysTest {};

TEST_F(RoadOfOneNoteTest, APostedNotePlaysTheKeysDuplicateUntilItsNoteOff) {
  // A 441 Hz tone at half of full scale, sampled at 22050 Hz, one second long.
  KeyRecord key = Key(Wav("tone.wav", 22050, 22050, 441.0), 36);
  key.Volume = 100;
  key.Note = 72; // one octave up: 44100 Hz, so 882 Hz comes out
  key.Loop = 1;
  Install({key});
  ASSERT_NE(EngineWindow, nullptr);
  ASSERT_EQ(GetSampleNumber(0), 0);
  ASSERT_TRUE(boxes.calls().empty());

  ASSERT_TRUE(PostMessageA(EngineWindow, AM_NOTE, 0, MAKELPARAM(36, 100)));
  EXPECT_EQ(KeyMap[0].Playing, 0); // nothing before the message loop runs
  EXPECT_GE(Pump(), 1u);
  ASSERT_EQ(KeyMap[0].Playing, 1);
  const dsemu::BufferState voice = VoiceBuffer(0);
  EXPECT_EQ(voice.duplicateOf, SampleList.Next->Buffer);
  EXPECT_EQ(voice.frequency, 44100u);
  EXPECT_EQ(voice.volume, -759);
  EXPECT_EQ(voice.pan, 0);
  EXPECT_TRUE(voice.playing);
  EXPECT_TRUE(voice.looping);

  PostMessageA(EngineWindow, AM_NOTE, 0, MAKELPARAM(36, 0));
  Pump();
  EXPECT_EQ(KeyMap[0].Playing, 0);
  EXPECT_EQ(LiveDuplicates(), 0u);
}

} // namespace
