// The engine window's procedure: the host's messages reach their handlers with the
// whole long parameter; everything else gets the default processing.
#include "engine/za32.h"
#include "test_sample.h"
#include "tests/support/engine_fixture.h"

#include <cstring>

namespace {

struct KeyField {
  UINT message;
  int32_t KeyRecord::*field;
  const char* name;
};

const KeyField KeyFields[] = {
    {AM_LOOP, &KeyRecord::Loop, "Loop"},
    {AM_BENDENABLE, &KeyRecord::PitchBend, "PitchBend"},
    {AM_VELOCITYSENSE, &KeyRecord::VelocitySense, "VelocitySense"},
    {AM_MUTE, &KeyRecord::Mute, "Mute"},
    {AM_HOLD, &KeyRecord::Hold, "Hold"},
    {AM_NOTEPITCH, &KeyRecord::Note, "Note"},
    {AM_FINETUNE, &KeyRecord::FineTune, "FineTune"},
    {AM_VOLUME, &KeyRecord::Volume, "Volume"},
    {AM_PAN, &KeyRecord::Pan, "Pan"},
};

// Everything a message could change, to prove that one changed nothing.
struct EngineSnapshot {
  KeyRecord keys[ZA32_KEYS];
  VoiceRecord voices[ZA32_VOICES];
  int32_t bend;

  static EngineSnapshot Take() {
    EngineSnapshot s;
    std::memcpy(s.keys, KeyMap, sizeof KeyMap);
    std::memcpy(s.voices, VoiceTable, sizeof VoiceTable);
    s.bend = BendValue;
    return s;
  }
  bool operator==(const EngineSnapshot& o) const {
    return !std::memcmp(keys, o.keys, sizeof keys) &&
           !std::memcmp(voices, o.voices, sizeof voices) && bend == o.bend;
  }
};

} // namespace

class Dispatch : public EngineTest {
protected:
  void SetUp() override {
    EngineTest::SetUp();
    engine = StartEngine();
    ASSERT_NE(engine, nullptr);
  }
  // Posted as the host posts, then dispatched by the thread's message loop.
  void Post(UINT message, LPARAM lParam, WPARAM wParam = 0) {
    ASSERT_TRUE(PostMessageA(engine, message, wParam, lParam));
    emul::PumpMessages();
  }
  HWND engine = nullptr;
};

TEST_F(Dispatch, ParameterMessagesStoreTheHighWordInTheKeyOfTheLowWord) {
  for (const KeyField& f : KeyFields) {
    SCOPED_TRACE(f.name);
    std::memset(KeyMap, 0, sizeof KeyMap);
    // The word parameter is ignored; both words of the long parameter are unsigned.
    Post(f.message, MAKELPARAM(7, 0xBEEF), 0xFFFF);
    for (int key = 0; key < ZA32_KEYS; ++key)
      EXPECT_EQ(KeyMap[key].*f.field, key == 7 ? 0xBEEF : 0) << "key " << key;
  }
}

TEST_F(Dispatch, BendTakesTheHighWordAndIgnoresTheLowWord) {
  Post(AM_BEND, MAKELPARAM(0xFFFF, 100));
  EXPECT_EQ(BendValue, 100);
  Post(AM_BEND, MAKELPARAM(3, 0));
  EXPECT_EQ(BendValue, 0);
}

TEST_F(Dispatch, NoteStartsTheKeyOfTheLowWordWithTheVelocityOfTheHighWord) {
  AddTestSample("one.wav");
  AssignTestKey(2, 0x0124);
  Post(AM_NOTE, MAKELPARAM(0x0124, 100), 7);
  EXPECT_TRUE(KeyMap[2].Playing);
  EXPECT_TRUE(VoiceTable[0].Active);
  EXPECT_EQ(VoiceTable[0].Velocity, 100);
  EXPECT_EQ(dsemu::LiveBufferCount(), 3u); // primary, sample, the voice's duplicate
  Post(AM_NOTE, MAKELPARAM(0x0124, 0));
  EXPECT_FALSE(KeyMap[2].Playing);
  EXPECT_FALSE(VoiceTable[0].Active);
  EXPECT_EQ(dsemu::LiveBufferCount(), 2u);
}

TEST_F(Dispatch, UnknownMessagesGetTheDefaultProcessing) {
  AddTestSample("one.wav");
  AssignTestKey(2, 36);
  const EngineSnapshot before = EngineSnapshot::Take();
  // Neighbours of the table, and messages the window never expects, carrying a long
  // parameter that would start a note or change a key.
  for (UINT message : {0x421u, 0x422u, 0x41Fu, 0x42Du, static_cast<UINT>(WM_USER), 0x7FFFu}) {
    SCOPED_TRACE(message);
    EXPECT_EQ(SendMessageA(engine, message, 1, MAKELPARAM(36, 100)),
              DefWindowProcA(engine, message, 1, MAKELPARAM(36, 100)));
    Post(message, MAKELPARAM(2, 100));
    EXPECT_TRUE(EngineSnapshot::Take() == before);
  }
  EXPECT_EQ(AudioDLLWndProc(engine, WM_NCCREATE, 0, 0), TRUE);
  EXPECT_EQ(SendMessageA(engine, WM_PAINT, 0, 0), 0);
  EXPECT_TRUE(boxes.calls().empty());
  // WM_CLOSE's default processing destroys the window, which closes the device.
  EXPECT_EQ(SendMessageA(engine, WM_CLOSE, 0, 0), 0);
  EXPECT_FALSE(IsWindow(engine));
  EXPECT_TRUE(QuitPosted());
  EXPECT_EQ(SoundDevice, nullptr);
}

// After AudioTerm the voices' buffers have gone with the device.
TEST_F(Dispatch, WithoutADeviceTheHostsMessagesDoNothing) {
  KeyMap[2].KeyCode = 36;
  EXPECT_EQ(AudioTerm(0), 0);
  const EngineSnapshot before = EngineSnapshot::Take();
  for (UINT message = AM_NOTE; message <= AM_PAN; ++message)
    Post(message, MAKELPARAM(2, 100));
  Post(AM_NOTE, MAKELPARAM(36, 100));
  EXPECT_TRUE(EngineSnapshot::Take() == before);
  EXPECT_TRUE(boxes.calls().empty());
}
