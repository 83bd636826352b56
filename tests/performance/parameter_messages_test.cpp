// Parameter messages on sounding and silent keys, seen from the sound device.
#include "keys_fixture.h"

#include "engine/za32.h"

#include <cstring>

namespace {

// Frequency for a key of note 60 on a sample of `rate`, from a factor of the tables.
DWORD Scaled(DWORD rate, float factor) {
  return static_cast<DWORD>(rate * static_cast<double>(factor));
}

class ParameterMessages : public KeysTest {
protected:
  void SetUp() override {
    KeysTest::SetUp();
    rate22050 = Wav("a.wav", 22050);
    rate44100 = Wav("b.wav", 44100);
    KeyRecord bent = Key(rate44100, 37);
    bent.PitchBend = 1;
    Install({Key(rate22050, 36), bent, Key(rate44100, 38)});
  }

  std::string rate22050, rate44100;
};

TEST_F(ParameterMessages, LevelsFollowVelocityAndVolume) {
  struct Row {
    WORD velocity;
    WORD volume;
    LONG level;
  };
  const Row rows[] = {{127, 127, 0},   {126, 127, -15},  {96, 127, -488}, {64, 127, -992},
                      {127, 64, -992}, {100, 100, -759}, {64, 64, -1492}, {32, 127, -1496},
                      {1, 127, -1984}, {1, 1, -1999},    {127, 0, -2000}, {50, 0, -2000}};
  for (const Row& row : rows) {
    Send(AM_VOLUME, 0, row.volume);
    NoteOnMessage(36, row.velocity);
    ASSERT_EQ(KeyMap[0].Playing, 1);
    EXPECT_EQ(VoiceBuffer(0).volume, row.level) << row.velocity << " " << row.volume;
    EXPECT_EQ(KeyVoice(0).Volume, row.level);
    EXPECT_EQ(KeyVoice(0).Velocity, row.velocity);
    NoteOffMessage(36);
  }
}

TEST_F(ParameterMessages, VolumeMinusOneInTheKeyIsFullVolume) {
  KeyRecord key = Key(rate22050, 36);
  key.Volume = -1;
  Install({key});
  NoteOnMessage(36, 127);
  EXPECT_EQ(VoiceBuffer(0).volume, 0);
}

TEST_F(ParameterMessages, VolumeOnASoundingKeyChangesItsLevel) {
  NoteOnMessage(36, 127);
  Send(AM_VOLUME, 0, 0);
  EXPECT_EQ(VoiceBuffer(0).volume, -2000); // the key's quietest, not silence
  Send(AM_VOLUME, 0, 127);
  EXPECT_EQ(VoiceBuffer(0).volume, 0);
  Send(AM_VOLUME, 0, 64);
  EXPECT_EQ(VoiceBuffer(0).volume, -992);
  EXPECT_EQ(KeyMap[0].Volume, 64);
}

TEST_F(ParameterMessages, MuteSilencesAndUnmuteRestoresTheLevelSetMeanwhile) {
  NoteOnMessage(36, 127);
  Send(AM_VOLUME, 0, 100);
  ASSERT_EQ(VoiceBuffer(0).volume, -425);
  Send(AM_MUTE, 0, 1);
  EXPECT_EQ(VoiceBuffer(0).volume, -10000);
  Send(AM_MUTE, 0, 0);
  EXPECT_EQ(VoiceBuffer(0).volume, -425);

  Send(AM_MUTE, 0, 1);
  Send(AM_VOLUME, 0, 64); // nothing audible while muted...
  EXPECT_EQ(VoiceBuffer(0).volume, -10000);
  EXPECT_EQ(KeyVoice(0).Volume, -992);
  Send(AM_MUTE, 0, 0); // ...until the unmute applies it
  EXPECT_EQ(VoiceBuffer(0).volume, -992);
}

TEST_F(ParameterMessages, AMutedKeyStartsSilentAndKeepsItsLevelForTheUnmute) {
  Send(AM_MUTE, 0, 1);
  NoteOnMessage(36, 64);
  EXPECT_EQ(VoiceBuffer(0).volume, -10000);
  EXPECT_EQ(KeyVoice(0).Volume, -992);
  Send(AM_MUTE, 0, 0);
  EXPECT_EQ(VoiceBuffer(0).volume, -992);
}

TEST_F(ParameterMessages, PansFollowTheTableAtNoteOnAndWhileSounding) {
  const LONG pans[][2] = {{0, -10000}, {1, -1968},   {2, -1937},   {32, -1000},   {63, -31},
                          {64, 0},     {65, 31},     {96, 1000},   {97, 1062},    {98, 1093},
                          {126, 1968}, {127, 10000}, {128, 10000}, {65535, 10000}};
  NoteOnMessage(37, 127);
  for (const auto& p : pans) {
    Send(AM_PAN, 1, static_cast<WORD>(p[0]));
    EXPECT_EQ(VoiceBuffer(1).pan, p[1]) << "pan " << p[0];
    EXPECT_EQ(KeyMap[1].Pan, p[0]);
  }
  NoteOffMessage(37);
  for (const auto& p : pans) {
    Send(AM_PAN, 0, static_cast<WORD>(p[0]));
    NoteOnMessage(36, 127);
    EXPECT_EQ(VoiceBuffer(0).pan, p[1]) << "pan " << p[0];
    NoteOffMessage(36);
  }
}

TEST_F(ParameterMessages, BendRetunesSoundingKeysThatFollowIt) {
  NoteOnMessage(36, 127); // bend off
  NoteOnMessage(37, 127); // bend on
  const struct {
    WORD bend;
    float factor;
  } bends[] = {{0, 0.5f},   {1, 0.50393701f}, {32, 0.66666669f}, {63, 0.98461539f},
               {64, 1.0f},  {65, 1.015625f},  {96, 1.5f},        {126, 1.96875f},
               {127, 2.0f}, {128, 2.0f}};
  for (const auto& b : bends) {
    dsemu::ResetCallCounts();
    Send(AM_BEND, 0xFFFF, b.bend); // the low word is no key
    EXPECT_EQ(BendValue, b.bend);
    EXPECT_EQ(VoiceBuffer(1).frequency, Scaled(44100, b.factor)) << "bend " << b.bend;
    EXPECT_EQ(VoiceBuffer(0).frequency, 22050u);
    // Both sounding keys are re-tuned, the one without bend to what it had.
    EXPECT_EQ(dsemu::CallCount(dsemu::Call::SetFrequency), 2u);
  }
}

TEST_F(ParameterMessages, BendReachesSilentKeysAtTheirNextNoteOn) {
  Send(AM_BEND, 0, 96);
  EXPECT_EQ(LiveDuplicates(), 0u);
  NoteOnMessage(37, 127);
  EXPECT_EQ(VoiceBuffer(1).frequency, 66150u);
  NoteOnMessage(38, 127); // bend off: its own rate
  EXPECT_EQ(VoiceBuffer(2).frequency, 44100u);
}

TEST_F(ParameterMessages, BendEnableSwitchesASoundingKeyBetweenBentAndUnbent) {
  Send(AM_BEND, 0, 127);
  NoteOnMessage(38, 127);
  ASSERT_EQ(VoiceBuffer(2).frequency, 44100u);
  Send(AM_BENDENABLE, 2, 1);
  EXPECT_EQ(VoiceBuffer(2).frequency, 88200u);
  Send(AM_BENDENABLE, 2, 0);
  EXPECT_EQ(VoiceBuffer(2).frequency, 44100u);
  EXPECT_EQ(KeyMap[2].PitchBend, 0);
}

TEST_F(ParameterMessages, FineTuneFactorsFollowTheTable) {
  const struct {
    WORD fineTune;
    float factor;
  } tunes[] = {{0, 0.97916669f},  {25, 0.98611110f}, {49, 0.99918300f}, {50, 1.0f},
               {51, 1.00083327f}, {75, 1.02083337f}, {100, 1.04166663f}};
  NoteOnMessage(38, 127);
  for (const auto& t : tunes) {
    Send(AM_FINETUNE, 2, t.fineTune);
    EXPECT_EQ(VoiceBuffer(2).frequency, Scaled(44100, t.factor)) << "fine tune " << t.fineTune;
  }
}

TEST_F(ParameterMessages, NotePitchRetunesASoundingKey) {
  NoteOnMessage(36, 127);
  ASSERT_EQ(VoiceBuffer(0).frequency, 22050u);
  Send(AM_NOTEPITCH, 0, 72);
  EXPECT_EQ(VoiceBuffer(0).frequency, 44100u);
  Send(AM_NOTEPITCH, 0, 48);
  EXPECT_EQ(VoiceBuffer(0).frequency, 11025u);
  Send(AM_NOTEPITCH, 0, 67);
  EXPECT_EQ(VoiceBuffer(0).frequency, Scaled(22050, 1.5f));
  Send(AM_NOTEPITCH, 0, 60);
  EXPECT_EQ(VoiceBuffer(0).frequency, 22050u);
}

TEST_F(ParameterMessages, TheTopNoteUsesTheOctaveFactor48) {
  // 2000 Hz keeps note 143 within what the device plays.
  KeyRecord key = Key(Wav("low.wav", 2000), 40);
  key.Note = 143;
  Install({key});
  NoteOnMessage(40, 127);
  const DWORD semitone = static_cast<DWORD>(2000 * static_cast<double>(1.89844f));
  EXPECT_EQ(VoiceBuffer(0).frequency, semitone * 48);
}

TEST_F(ParameterMessages, WorkedFrequencyRows) {
  const std::string rate11025 = Wav("c.wav", 11025);
  struct Row {
    const std::string& file;
    int32_t note, fineTune, pitchBend;
    WORD bend;
    DWORD frequency;
  };
  const Row rows[] = {{rate22050, 72, 50, 0, 64, 44100},
                      {rate22050, 72, 50, 1, 64, 44100},
                      {rate22050, 67, 50, 1, 0, 16537},
                      {rate11025, 48, 50, 1, 127, 11024},
                      {rate22050, 61, 75, 1, 96, 36054}};
  for (const Row& row : rows) {
    KeyRecord key = Key(row.file, 50);
    key.Note = row.note;
    key.FineTune = row.fineTune;
    key.PitchBend = row.pitchBend;
    Install({key});
    Send(AM_BEND, 0, row.bend);
    NoteOnMessage(50, 127);
    EXPECT_EQ(VoiceBuffer(0).frequency, row.frequency) << "note " << row.note;
    NoteOffMessage(50);
  }
}

TEST_F(ParameterMessages, LoopChangesASoundingVoiceWithoutRestartingIt) {
  NoteOnMessage(36, 127);
  ASSERT_FALSE(VoiceBuffer(0).looping);
  dsemu::AdvanceFrames(441, nullptr);
  const DWORD position = VoiceBuffer(0).position;
  Send(AM_LOOP, 0, 1);
  EXPECT_TRUE(VoiceBuffer(0).looping);
  EXPECT_TRUE(VoiceBuffer(0).playing);
  EXPECT_EQ(VoiceBuffer(0).position, position);
  Send(AM_LOOP, 0, 0);
  EXPECT_FALSE(VoiceBuffer(0).looping);
  EXPECT_EQ(KeyMap[0].Loop, 0);
}

TEST_F(ParameterMessages, SilentKeysOnlyKeepTheValueForTheirNextNoteOn) {
  dsemu::ResetCallCounts();
  Send(AM_VOLUME, 0, 64);
  Send(AM_PAN, 0, 32);
  Send(AM_NOTEPITCH, 0, 72);
  Send(AM_FINETUNE, 0, 50);
  Send(AM_BENDENABLE, 0, 0);
  Send(AM_MUTE, 0, 0);
  Send(AM_LOOP, 0, 1);
  Send(AM_VELOCITYSENSE, 0, 0);
  EXPECT_EQ(dsemu::CallCount(dsemu::Call::SetVolume), 0u);
  EXPECT_EQ(dsemu::CallCount(dsemu::Call::SetPan), 0u);
  EXPECT_EQ(dsemu::CallCount(dsemu::Call::SetFrequency), 0u);
  EXPECT_EQ(dsemu::CallCount(dsemu::Call::Play), 0u);
  NoteOnMessage(36, 5); // velocity sense now off: 127
  EXPECT_EQ(VoiceBuffer(0).volume, -992);
  EXPECT_EQ(VoiceBuffer(0).pan, -1000);
  EXPECT_EQ(VoiceBuffer(0).frequency, 44100u);
  EXPECT_TRUE(VoiceBuffer(0).looping);
  EXPECT_EQ(KeyVoice(0).Velocity, 127);
}

TEST_F(ParameterMessages, VelocitySenseNeverTouchesASoundingVoice) {
  NoteOnMessage(36, 64);
  dsemu::ResetCallCounts();
  Send(AM_VELOCITYSENSE, 0, 0);
  Send(AM_VOLUME, 0, 127);
  EXPECT_EQ(KeyVoice(0).Velocity, 64); // the voice keeps the velocity it started with
  EXPECT_EQ(VoiceBuffer(0).volume, -992);
  EXPECT_EQ(dsemu::CallCount(dsemu::Call::SetVolume), 1u);
}

TEST_F(ParameterMessages, NotesOutsideThePitchTablesLeaveTheFrequencyAlone) {
  NoteOnMessage(36, 127);
  Send(AM_NOTEPITCH, 0, 72);
  ASSERT_EQ(VoiceBuffer(0).frequency, 44100u);
  for (WORD note : {144, 1000, 65535}) {
    Send(AM_NOTEPITCH, 0, note);
    EXPECT_EQ(KeyMap[0].Note, note);
    EXPECT_EQ(VoiceBuffer(0).frequency, 44100u);
    Send(AM_BEND, 0, 100);
    EXPECT_EQ(VoiceBuffer(0).frequency, 44100u);
  }
  // A note-on of such a key plays the sample at its own rate.
  NoteOffMessage(36);
  NoteOnMessage(36, 127);
  EXPECT_EQ(VoiceBuffer(0).frequency, 22050u);
  EXPECT_TRUE(VoiceBuffer(0).playing);
}

TEST_F(ParameterMessages, KeyIndexesOutsideTheKeyMapAreIgnored) {
  NoteOnMessage(36, 127);
  KeyRecord keys[ZA32_KEYS];
  VoiceRecord voices[ZA32_VOICES];
  std::memcpy(keys, KeyMap, sizeof keys);
  std::memcpy(voices, VoiceTable, sizeof voices);
  const int32_t bend = BendValue;
  dsemu::ResetCallCounts();
  for (WORD key : {25, 26, 100, 0x7FFF, 0xFFFF}) {
    for (UINT message : {AM_LOOP, AM_BENDENABLE, AM_VELOCITYSENSE, AM_MUTE, AM_HOLD, AM_NOTEPITCH,
                         AM_FINETUNE, AM_VOLUME, AM_PAN}) {
      Send(message, key, 1);
    }
  }
  EXPECT_EQ(std::memcmp(keys, KeyMap, sizeof keys), 0);
  EXPECT_EQ(std::memcmp(voices, VoiceTable, sizeof voices), 0);
  EXPECT_EQ(BendValue, bend);
  for (int c = 0; c < static_cast<int>(dsemu::Call::Count_); ++c) {
    EXPECT_EQ(dsemu::CallCount(static_cast<dsemu::Call>(c)), 0u) << c;
  }
}

} // namespace
