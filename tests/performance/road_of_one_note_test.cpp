// One note from the host's message queue to the sound that comes out of the device.
#include "keys_fixture.h"

#include "engine/za32.h"

#include <cmath>
#include <vector>

namespace {

struct Measured {
  double frequency; // from the zero crossings
  double leftRms;   // in full-scale units
  double rightRms;
};

Measured Measure(const std::vector<int16_t>& stereo) {
  const size_t frames = stereo.size() / 2;
  size_t crossings = 0;
  double left = 0, right = 0;
  for (size_t i = 0; i < frames; ++i) {
    const double l = stereo[2 * i] / 32768.0;
    const double r = stereo[2 * i + 1] / 32768.0;
    left += l * l;
    right += r * r;
    if (i > 0 && (stereo[2 * (i - 1)] < 0) != (l < 0)) {
      ++crossings;
    }
  }
  return {crossings / 2.0 * 44100.0 / frames, std::sqrt(left / frames), std::sqrt(right / frames)};
}

std::vector<int16_t> Render(size_t frames) {
  std::vector<int16_t> out(2 * frames);
  dsemu::AdvanceFrames(frames, out.data());
  return out;
}

double Gain(LONG hundredthsOfDb) {
  return std::pow(10.0, hundredthsOfDb / 2000.0);
}

class RoadOfOneNote : public KeysTest {};

TEST_F(RoadOfOneNote, APostedNoteSoundsAtTheKeysPitchAndLevelUntilItsNoteOff) {
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

  // Two seconds: the one-second sample has looped.
  const Measured sound = Measure(Render(88200));
  EXPECT_NEAR(sound.frequency, 882.0, 882.0 * 0.01);
  const double expectedRms = 0.5 * Gain(-759) / std::sqrt(2.0);
  EXPECT_NEAR(sound.leftRms, expectedRms, expectedRms * 0.05);
  EXPECT_NEAR(sound.rightRms, expectedRms, expectedRms * 0.05);

  // Panned left by 10 dB: the right side drops by that much.
  PostMessageA(EngineWindow, AM_PAN, 0, MAKELPARAM(0, 32));
  Pump();
  const Measured panned = Measure(Render(44100));
  EXPECT_NEAR(panned.leftRms, expectedRms, expectedRms * 0.05);
  EXPECT_NEAR(panned.leftRms / panned.rightRms, Gain(1000), Gain(1000) * 0.05);

  PostMessageA(EngineWindow, AM_NOTE, 0, MAKELPARAM(36, 0));
  Pump();
  EXPECT_EQ(KeyMap[0].Playing, 0);
  EXPECT_EQ(LiveDuplicates(), 0u);
  const Measured after = Measure(Render(4410));
  EXPECT_EQ(after.leftRms, 0.0);
  EXPECT_EQ(after.rightRms, 0.0);
}

TEST_F(RoadOfOneNote, AOneShotNoteEndsWithItsSampleAndBendShiftsItsPitch) {
  KeyRecord key = Key(Wav("tone.wav", 22050, 11025, 441.0), 36);
  key.PitchBend = 1;
  Install({key});
  PostMessageA(EngineWindow, AM_BEND, 0, MAKELPARAM(0, 96)); // a fifth up: 1.5
  PostMessageA(EngineWindow, AM_NOTE, 0, MAKELPARAM(36, 127));
  Pump();
  ASSERT_EQ(VoiceBuffer(0).frequency, 33075u);
  // Half a second of sample at 1.5 times its rate lasts a third of a second.
  const Measured sound = Measure(Render(11025));
  EXPECT_NEAR(sound.frequency, 661.5, 661.5 * 0.01);
  EXPECT_NEAR(sound.leftRms, 0.5 / std::sqrt(2.0), 0.5 / std::sqrt(2.0) * 0.05);
  Render(11025);
  const Measured after = Measure(Render(4410));
  EXPECT_EQ(after.leftRms, 0.0);
  EXPECT_EQ(KeyMap[0].Playing, 1); // until its note-off
}

} // namespace
